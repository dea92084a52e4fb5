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

    void iniFolder()
    {
        // System folder, folders that exist, Windows major version; the INI
        // folder, the APPRAISE folder, warnings shown.
        const struct { QString systemDir; QStringList folders; int major; QString ini, appraise; int warnings; } rows[] = {
            {"D:\\WINNT\\SYSTEM32", {"D:\\APPRAISE\\"}, 6, "D:\\APPRAISE\\", "D:\\APPRAISE\\", 0},
            {"C:\\WINDOWS\\SYSTEM32", {}, 5, "C:\\WINDOWS\\", "", 0},
            {"C:\\WINDOWS\\SYSTEM32", {}, 6, "C:\\WINDOWS\\", "", 1},
            {"C:\\WINDOWS\\SYSTEM32", {}, 10, "C:\\WINDOWS\\", "", 0},
            {"E:\\WINDOWS\\SYSTEM32", {"C:\\APPRAISE\\"}, 5, "C:\\WINDOWS\\", "", 0},   // another drive
            {"d:\\windows\\system32", {"D:\\APPRAISE\\"}, 5, "D:\\APPRAISE\\", "D:\\APPRAISE\\", 0},
            {"/etc/tobra", {"\\APPRAISE\\"}, 0, "C:\\WINDOWS\\", "", 0},   // no drive at all
        };
        // Nothing is cached between calls: each row's folders are seen at
        // once, and the warning comes at every call.
        for (const auto &r : rows) {
            face_->shown.clear();
            fake_->systemDir = r.systemDir;
            fake_->folders = QSet<QString>(r.folders.begin(), r.folders.end());
            fake_->major = r.major;
            QCOMPARE(IniFolder(), r.ini);
            QCOMPARE(IniFolder(), r.ini);
            QCOMPARE(AppraiseFolder(), r.appraise);
            QCOMPARE(warnings(), 2 * r.warnings);
            QCOMPARE(IsWindowsMajor6(), r.major == 6);
        }
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
