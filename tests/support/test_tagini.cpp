#include "harness/testutil.h"
#include "support/inifile.h"
#include "support/messages.h"
#include "support/tagini.h"
#include "support/ui/tagwidgets.h"

#include <QtTest>
#include <QtWidgets>

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

    // The parts of a tag, its check, and what it reads through the macros.
    void parseAndRead()
    {
        const struct { const char *tag; bool list; const char *parts; } tags[] = {
            {"<WINDIR>CHAT.INI[PREFERENCES]URL|ftp.halvex.com", false, "<WINDIR>CHAT.INI|PREFERENCES|URL|ftp.halvex.com"},
            {"<windir>qof.ini[company name]company|", false, "<windir>qof.ini|company name|company|"},
            {"<W>a.ini[S]K|x[1]|y", false, "<W>a.ini|S|K|x[1]|y"},
            {"<WINDIR>a.ini[S]K", false, "<WINDIR>a.ini|S||"},   // no bar: no key, no default
            {"<WINDIR>a.ini S K|d", false, "|||"},
            {"<WINDIR>get.INI[QofFILES]FILE##|", true, "<WINDIR>get.INI|QofFILES|FILE|"},
            {"x.ini[S]K#|d#", true, "x.ini|S|K|d"},
        };
        for (const auto &t : tags) {
            const TagParts p = parseTag(t.tag, t.list);
            QCOMPARE(QStringList({p.file, p.section, p.key, p.defaultValue}).join('|'), QString(t.parts));
        }
        for (const char *ok : {"<WINDIR>CHAT.INI[PREFERENCES]URL|", "<windir>qof.ini[company name]company|"})
            QVERIFY(TagLegit(ok));
        for (const char *bad : {"<WINDIR>CHAT.TXT[P]U|", "<WINDIR>CHAT.INI P U|", "CHAT.INI[P]U|", ""})
            QVERIFY2(!TagLegit(bad), bad);
        const struct { const char *tag, *value; } reads[] = {
            {"<windir>qof.ini[company name]company|", "Acme Realty, Inc."},
            {"<windir>qof.ini[directories]datadir|C:\\qof", "C:\\qof"},   // the default
            {"<DATADIR>data.ini[S]K|d", "from data folder"},
            {"<AppDir>data.ini[S]K|d", "from data folder"},
            {"<TEMP>data.ini[S]K|dflt", "dflt"},
            {"<USERDIR>qof.ini[company name]company|", "Acme Realty, Inc."},   // empty: the INI folder
            {"", ""},
            {"<windir>qof.ini[company name]company", ""},
        };
        for (const auto &r : reads)
            QCOMPARE(tagReadValue(r.tag), QString(r.value));
        QCOMPARE(expandTagFile("plain.ini"), QString("plain.ini"));
        QCOMPARE(expandTagFile("<WINDIR>x.ini"), ini_.path() + "/x.ini");
        QCOMPARE(expandTagFile("<DATADIR>x.ini"), data_.path() + "/x.ini");
        QCOMPARE(expandTagFile("<NOPE>x.ini"), QString());
        QVERIFY(!tagOptionValue(" 0 ") && tagOptionValue("") && tagOptionValue("yes"));
        QCOMPARE(tagCheckValue("2"), 2);
        QCOMPARE(tagCheckValue("1abc"), 1);
        QCOMPARE(tagCheckValue("x"), 0);
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

    void widgets()
    {
        QWidget window;
        auto *edit = new QLineEdit(&window);
        auto *label = new QLabel("old", &window);
        auto *option = new QRadioButton(&window);
        auto *check = new QCheckBox(&window);
        auto *list = new QListWidget(&window);
        auto *untagged = new QLineEdit("keep", &window);
        auto *button = new QPushButton(&window);
        list->addItem("stale");
        const std::pair<QWidget *, const char *> tags[] = {
            {edit, "<windir>qof.ini[company name]company|"}, {label, "<windir>qof.ini[directories]datadir|C:\\qof"},
            {option, "<windir>qof.ini[flags]opt0|"}, {check, "<windir>qof.ini[flags]check|"},
            {list, "<WINDIR>get.INI[QofFILES]FILE##|"}, {button, "<windir>qof.ini[company name]company|"}};
        for (const auto &[w, tag] : tags)
            setControlTag(w, tag);

        QStringList seen;
        readTaggedControls(&window, [&](QWidget *w) { seen << w->metaObject()->className(); });
        QVERIFY(edit->text() == "Acme Realty, Inc." && label->text() == "C:\\qof" && !option->isChecked());
        QVERIFY(check->checkState() == Qt::PartiallyChecked && list->count() == 2 && untagged->text() == "keep");
        QVERIFY(!seen.contains("QPushButton"));

        face_->shown.clear();
        TagReadTag(button);
        QCOMPARE(tobra::test::shown(*face_, &ScriptedFace::Shown::text), QStringList{"invalid tag type of object sent"});

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
