#include "harness/testutil.h"
#include "support/inifile.h"
#include "support/messages.h"
#include "support/tagini.h"
#include "support/ui/tagwidgets.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tobra;
using tobra::test::writeBytes;

class TestTagIni : public QObject {
    Q_OBJECT
    QTemporaryDir ini_;
    QTemporaryDir data_;
    std::shared_ptr<ScriptedFace> face_ = std::make_shared<ScriptedFace>();

private slots:
    void initTestCase()
    {
        QVERIFY(ini_.isValid() && data_.isValid());
        qputenv("TOBRA_WINDIR", ini_.path().toLocal8Bit());
        Messages::setFace(face_);
        // DATADIR without a trailing separator, APPDIR with one.
        const QByteArray data = data_.path().toLocal8Bit();
        QVERIFY(writeBytes(ini_.filePath("qsn2000.ini"),
                           "[Directories]\r\nDATADIR=" + data + "\r\nAPPDIR=" + data + "/\r\n"));
        QVERIFY(writeBytes(data_.filePath("data.ini"), "[S]\nK=from data folder\n"));
        QVERIFY(writeBytes(ini_.filePath("qof.ini"), "[company name]\ncompany=Acme Realty, Inc.\n[directories]\n"
                                                     "[flags]\nopt0= 0 \noptx=yes\ncheck=2\ncheck1=1abc\n"));
        QVERIFY(writeBytes(ini_.filePath("get.INI"), "[QofFILES]\nFILE1=a.db\nFILE2=sub/b.db\nFILE4=d.db\n"));
        QVERIFY(writeBytes(ini_.filePath("pull.ini"), "[qoffiles]\nfile1=one\nfile2=\nfile3=three\n"));
    }

    void parse_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("list");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("def");
        QTest::newRow("full") << "<WINDIR>CHAT.INI[PREFERENCES]URL|ftp.halvex.com" << false << "<WINDIR>CHAT.INI"
                              << "PREFERENCES" << "URL" << "ftp.halvex.com";
        QTest::newRow("blank in section kept") << "<windir>qof.ini[company name]company|" << false
                                               << "<windir>qof.ini" << "company name" << "company" << "";
        QTest::newRow("default with brackets and bar")
            << "<W>a.ini[S]K|x[1]|y" << false << "<W>a.ini" << "S" << "K" << "x[1]|y";
        QTest::newRow("no bar: empty key and default") << "<WINDIR>a.ini[S]K" << false << "<WINDIR>a.ini" << "S"
                                                      << "" << "";
        QTest::newRow("no bracket: all empty") << "<WINDIR>a.ini S K|d" << false << "" << "" << "" << "";
        QTest::newRow("list tag drops #") << "<WINDIR>get.INI[QofFILES]FILE##|" << true << "<WINDIR>get.INI"
                                          << "QofFILES" << "FILE" << "";
        QTest::newRow("list tag # in default too") << "x.ini[S]K#|d#" << true << "x.ini" << "S" << "K" << "d";
    }
    void parse()
    {
        QFETCH(QString, tag);
        QFETCH(bool, list);
        const TagParts p = parseTag(tag, list);
        QTEST(p.file, "file");
        QTEST(p.section, "section");
        QTEST(p.key, "key");
        QTEST(p.defaultValue, "def");
    }

    void legit_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("ok");
        QTest::newRow("ordinary") << "<WINDIR>CHAT.INI[PREFERENCES]URL|" << true;
        QTest::newRow("lower-case ini") << "<windir>qof.ini[company name]company|" << true;
        QTest::newRow("no ini") << "<WINDIR>CHAT.TXT[P]U|" << false;
        QTest::newRow("no brackets") << "<WINDIR>CHAT.INI P U|" << false;
        QTest::newRow("no macro marks") << "CHAT.INI[P]U|" << false;
        QTest::newRow("empty") << "" << false;
    }
    void legit()
    {
        QFETCH(QString, tag);
        QTEST(TagLegit(tag), "ok");
    }

    void macros_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windir, lower-case macro and file")
            << "<windir>qof.ini[company name]company|" << "Acme Realty, Inc.";
        QTest::newRow("default when key missing") << "<windir>qof.ini[directories]datadir|C:\\qof" << "C:\\qof";
        QTest::newRow("datadir without trailing separator") << "<DATADIR>data.ini[S]K|d" << "from data folder";
        QTest::newRow("appdir with trailing separator") << "<AppDir>data.ini[S]K|d" << "from data folder";
        QTest::newRow("unknown macro gives default") << "<TEMP>data.ini[S]K|dflt" << "dflt";
        QTest::newRow("userdir empty: bare name in windows dir") << "<USERDIR>qof.ini[company name]company|"
                                                                << "Acme Realty, Inc.";
        QTest::newRow("empty tag") << "" << "";
        QTest::newRow("tag without bar") << "<windir>qof.ini[company name]company" << "";
    }
    void macros()
    {
        QFETCH(QString, tag);
        QTEST(tagReadValue(tag), "expected");
    }

    void expandFile()
    {
        QCOMPARE(expandTagFile("plain.ini"), QString("plain.ini"));
        QCOMPARE(expandTagFile("<WINDIR>x.ini"), ini_.path() + "/x.ini");
        QCOMPARE(expandTagFile("<DATADIR>x.ini"), data_.path() + "/x.ini");
        QCOMPARE(expandTagFile("<NOPE>x.ini"), QString());
    }

    void lists()
    {
        QCOMPARE(tagReadList("<WINDIR>get.INI[QofFILES]FILE##|"), (QStringList{"a.db", "sub/b.db"}));
        QCOMPARE(tagReadList("<windir>pull.ini[qoffiles]file##|"), QStringList{"one"});
        QCOMPARE(tagReadList("<WINDIR>get.INI[QofpFILES]FILE##|"), QStringList{});
        QCOMPARE(tagReadList("<WINDIR>nofile.INI[QofFILES]FILE##|"), QStringList{});

        // A long list, numbers out of file order, a repeated key and a gap:
        // number order, first of a repeat, stop at the gap, in one read.
        QByteArray big = "[big]\n";
        QStringList expected;
        for (int i = 4000; i >= 1; --i) {
            big += "K" + QByteArray::number(i) + "=v" + QByteArray::number(i) + "\n";
            expected.prepend("v" + QString::number(i));
        }
        QVERIFY(writeBytes(ini_.filePath("big.ini"), big + "k1=repeat\nK4002=after the gap\n"));
        QElapsedTimer timer;
        timer.start();
        const QStringList items = tagReadList("<WINDIR>big.ini[BIG]k##|");
        QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed()) + " ms"));
        QCOMPARE(items, expected);
    }

    void storedValues()
    {
        QVERIFY(!tagOptionValue(" 0 ") && tagOptionValue("") && tagOptionValue("yes"));
        QCOMPARE(tagCheckValue("2"), 2);
        QCOMPARE(tagCheckValue("1abc"), 1);
        QCOMPARE(tagCheckValue("x"), 0);
    }

    void widgets()
    {
        QWidget window;
        auto *edit = new QLineEdit(&window);
        setControlTag(edit, "<windir>qof.ini[company name]company|");
        auto *label = new QLabel("old", &window);
        setControlTag(label, "<windir>qof.ini[directories]datadir|C:\\qof");
        auto *option = new QRadioButton(&window);
        setControlTag(option, "<windir>qof.ini[flags]opt0|");
        auto *check = new QCheckBox(&window);
        setControlTag(check, "<windir>qof.ini[flags]check|");
        auto *list = new QListWidget(&window);
        list->addItem("stale");
        setControlTag(list, "<WINDIR>get.INI[QofFILES]FILE##|");
        auto *untagged = new QLineEdit("keep", &window);
        auto *button = new QPushButton(&window);
        setControlTag(button, "<windir>qof.ini[company name]company|");

        QStringList seen;
        readTaggedControls(&window, [&](QWidget *w) { seen << w->metaObject()->className(); });
        QCOMPARE(edit->text(), QString("Acme Realty, Inc."));
        QCOMPARE(label->text(), QString("C:\\qof"));
        QVERIFY(!option->isChecked());
        QCOMPARE(check->checkState(), Qt::PartiallyChecked);
        QCOMPARE(list->count(), 2);
        QCOMPARE(untagged->text(), QString("keep"));
        QVERIFY(!seen.contains("QPushButton"));

        face_->shown.clear();
        TagReadTag(button);
        QCOMPARE(face_->shown.size(), 1);
        QCOMPARE(face_->shown[0].text, QString("invalid tag type of object sent"));

        // Write back: only the bound line changes.
        setControlTag(edit, "<WINDIR>CHAT.INI[PREFERENCES]URL|");
        edit->setText("typed.example");
        TagWriteTag(edit);
        QCOMPARE(ReadIni("CHAT.INI", "PREFERENCES", "URL", ""), QString("typed.example"));
        // An untagged box writes nothing and raises nothing.
        TagWriteTag(untagged);
    }
};

QTEST_MAIN(TestTagIni)
#include "test_tagini.moc"
