#include "harness/fakeplatform.h"
#include "support/messages.h"
#include "support/modopsys.h"

#include <QtTest>

using namespace tobra;

class TestModOpSys : public QObject {
    Q_OBJECT
    std::shared_ptr<FakePlatform> fake_;
    std::shared_ptr<ScriptedFace> face_;
    std::shared_ptr<Platform> oldPlatform_;
    std::shared_ptr<MessageFace> oldFace_;

    int warnings() const
    {
        int n = 0;
        for (const auto &m : face_->shown)
            if (m.title == "NON-STANDARD INI FILE PLACEMENT") {
                ++n;
                if (m.style != MsgStyle::Information
                    || m.text != "Reinstall this program to correct INI placement and avoid potential "
                                 "configuration errors.")
                    return -1;
            }
        return n;
    }

private slots:
    void init()
    {
        fake_ = std::make_shared<FakePlatform>();
        face_ = std::make_shared<ScriptedFace>();
        oldPlatform_ = setPlatform(fake_);
        oldFace_ = Messages::setFace(face_);
    }
    void cleanup()
    {
        setPlatform(oldPlatform_);
        Messages::setFace(oldFace_);
    }

    void iniFolder_data()
    {
        QTest::addColumn<QString>("systemDir");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<int>("major");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("appraise");
        QTest::addColumn<int>("warnings");
        QTest::newRow("D: with D:\\APPRAISE, any version")
            << "D:\\WINNT\\SYSTEM32" << QStringList{"D:\\APPRAISE\\"} << 6 << "D:\\APPRAISE\\" << "D:\\APPRAISE\\" << 0;
        QTest::newRow("5.1 without APPRAISE: Windows dir, silent")
            << "C:\\WINDOWS\\SYSTEM32" << QStringList{} << 5 << "C:\\WINDOWS\\" << "" << 0;
        QTest::newRow("6.1 without APPRAISE: Windows dir with the warning")
            << "C:\\WINDOWS\\SYSTEM32" << QStringList{} << 6 << "C:\\WINDOWS\\" << "" << 1;
        QTest::newRow("10.0 is not flagged")
            << "C:\\WINDOWS\\SYSTEM32" << QStringList{} << 10 << "C:\\WINDOWS\\" << "" << 0;
        QTest::newRow("C:\\APPRAISE not found from another drive")
            << "E:\\WINDOWS\\SYSTEM32" << QStringList{"C:\\APPRAISE\\"} << 5 << "C:\\WINDOWS\\" << "" << 0;
        QTest::newRow("lower-case drive")
            << "d:\\windows\\system32" << QStringList{"D:\\APPRAISE\\"} << 5 << "D:\\APPRAISE\\" << "D:\\APPRAISE\\" << 0;
        QTest::newRow("linux system dir has no drive")
            << "/etc/tobra" << QStringList{"\\APPRAISE\\"} << 0 << "C:\\WINDOWS\\" << "" << 0;
    }
    void iniFolder()
    {
        QFETCH(QString, systemDir);
        QFETCH(QStringList, folders);
        QFETCH(int, major);
        fake_->systemDir = systemDir;
        for (const QString &f : folders)
            fake_->folders.insert(f);
        fake_->major = major;
        QTEST(IniFolder(), "expected");
        QTEST(AppraiseFolder(), "appraise");
        QTEST(warnings(), "warnings");
        QCOMPARE(IsWindowsMajor6(), major == 6);
    }

    // Nothing is cached between calls: the warning comes every time, and a
    // folder that comes or goes is seen at once.
    void nothingCached()
    {
        fake_->major = 6;
        IniFolder();
        IniFolder();
        IniFolder();
        QCOMPARE(warnings(), 3);
        fake_->folders.insert("C:\\APPRAISE\\");
        QCOMPARE(IniFolder(), QString("C:\\APPRAISE\\"));
        fake_->folders.clear();
        QCOMPARE(IniFolder(), QString("C:\\WINDOWS\\"));
        QCOMPARE(AppraiseFolder(), QString());
    }

    void noWindowsDirFallsBackToProgramFolder()
    {
        fake_->windowsDir.clear();
        QCOMPARE(GetWindowsDir(), QString());
        QCOMPARE(FindIniFolder(), QString("C:\\Program Files\\Tobra\\"));
        QCOMPARE(IniFolder(), QString("C:\\Program Files\\Tobra\\"));
    }

    void linuxDefaults()
    {
        setPlatform(std::make_shared<SystemPlatform>());
        const QByteArray old = qgetenv("TOBRA_WINDIR");
        qputenv("TOBRA_WINDIR", "/tmp/tobra-ini-test/");
        QCOMPARE(IniFolder(), QString("/tmp/tobra-ini-test/"));
        qunsetenv("TOBRA_WINDIR");
        qputenv("XDG_CONFIG_HOME", "/tmp/xdg-cfg");
        QCOMPARE(IniFolder(), QString("/tmp/xdg-cfg/tobra/"));
        if (!old.isNull())
            qputenv("TOBRA_WINDIR", old);
    }
};

QTEST_GUILESS_MAIN(TestModOpSys)
#include "test_modopsys.moc"
