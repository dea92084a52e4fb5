#include "app/installdirs.h"
#include "ftp/ui/copyanimation.h"
#include "harness/testutil.h"

#include <QtTest>

using namespace tobra;

class TestInstall : public QObject {
    Q_OBJECT
private slots:
    // Where the module and the copy clip are looked for, for install layouts
    // that GNUInstallDirs makes.
    void lookup_data()
    {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QString>("relativeDir");
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("/usr multiarch") << "/usr/bin" << "../lib/x86_64-linux-gnu/tobra"
                                        << QStringList{"/usr/bin", "/usr/lib/x86_64-linux-gnu/tobra"};
        QTest::newRow("/usr/local") << "/usr/local/bin" << "../lib/tobra"
                                    << QStringList{"/usr/local/bin", "/usr/local/lib/tobra"};
        QTest::newRow("data folder") << "/opt/t/bin" << "../share/tobra"
                                     << QStringList{"/opt/t/bin", "/opt/t/share/tobra"};
        QTest::newRow("exe folder not clean") << "/opt/t/bin/./" << "../lib64/tobra"
                                              << QStringList{"/opt/t/bin", "/opt/t/lib64/tobra"};
        QTest::newRow("deep bindir") << "/p/a/b/bin" << "../../../lib/tobra"
                                     << QStringList{"/p/a/b/bin", "/p/lib/tobra"};
        QTest::newRow("absolute libdir") << "/opt/t/bin" << "/srv/lib/tobra"
                                         << QStringList{"/opt/t/bin", "/srv/lib/tobra"};
        QTest::newRow("same folder once") << "/opt/t" << "" << QStringList{"/opt/t"};
        QTest::newRow("same folder by ..") << "/opt/t/bin" << "../bin" << QStringList{"/opt/t/bin"};
    }
    void lookup()
    {
        QFETCH(QString, exeDir);
        QFETCH(QString, relativeDir);
        QFETCH(QStringList, folders);
        QCOMPARE(copyClipFolders(exeDir, relativeDir), folders);
        QStringList modules;
        for (const QString &f : folders)
            modules << f + "/libtobra_windows.so";
        QCOMPARE(windowsModuleCandidates(exeDir, relativeDir), modules);
    }

    // The build's own layout: the folder beside the executable comes first,
    // then one more under its parent.
    void builtLayout()
    {
        const QStringList modules = windowsModuleCandidates("/x/bin");
        QCOMPARE(modules.size(), 2);
        QCOMPARE(modules.first(), QString("/x/bin/libtobra_windows.so"));
        QVERIFY2(modules.last().startsWith("/x/lib") && modules.last().endsWith("/tobra/libtobra_windows.so"),
                 qPrintable(modules.last()));
        const QStringList clips = copyClipFolders("/x/bin");
        QCOMPARE(clips.size(), 2);
        QCOMPARE(clips.first(), QString("/x/bin"));
        QVERIFY2(clips.last().startsWith("/x/") && clips.last().endsWith("/tobra"), qPrintable(clips.last()));
    }

    // The clip beside the executable wins over the installed one; either is
    // found in any letter case.
    void copyClip_data()
    {
        QTest::addColumn<QString>("beside");     // file name beside the executable, or empty
        QTest::addColumn<QString>("installed");  // file name in the data folder, or empty
        QTest::addColumn<QString>("found");      // "beside", "installed" or empty
        QTest::newRow("none") << "" << "" << "";
        QTest::newRow("installed only") << "" << "filecopy.avi" << "installed";
        QTest::newRow("beside only") << "FILECOPY.AVI" << "" << "beside";
        QTest::newRow("both") << "FileCopy.avi" << "FILECOPY.AVI" << "beside";
        QTest::newRow("other name") << "copy.avi" << "FILECOPY.AVI.bak" << "";
    }
    void copyClip()
    {
        QFETCH(QString, beside);
        QFETCH(QString, installed);
        QFETCH(QString, found);
        QTemporaryDir root;
        const QString bin = root.filePath("bin");
        QVERIFY(QDir().mkpath(bin));
        const QString data = copyClipFolders(bin).last();
        QVERIFY(data != bin);
        QStringList paths{"", ""};
        if (!beside.isEmpty())
            QVERIFY(test::writeBytes(paths[0] = bin + "/" + beside, "clip"));
        if (!installed.isEmpty())
            QVERIFY(test::writeBytes(paths[1] = data + "/" + installed, "clip"));
        const QString expected = found == "beside" ? paths[0] : found == "installed" ? paths[1] : QString();
        QCOMPARE(findCopyClip(bin), expected);
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
