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
    void lookup()
    {
        const struct { QString exeDir, relativeDir; QStringList folders; } rows[] = {
            {"/usr/bin", "../lib/x86_64-linux-gnu/tobra", {"/usr/bin", "/usr/lib/x86_64-linux-gnu/tobra"}},
            {"/opt/t/bin/./", "../lib64/tobra", {"/opt/t/bin", "/opt/t/lib64/tobra"}},
            {"/p/a/b/bin", "../../../lib/tobra", {"/p/a/b/bin", "/p/lib/tobra"}},
            {"/opt/t/bin", "/srv/lib/tobra", {"/opt/t/bin", "/srv/lib/tobra"}},
            {"/opt/t", "", {"/opt/t"}},
            {"/opt/t/bin", "../bin", {"/opt/t/bin"}},
        };
        for (const auto &r : rows) {
            QCOMPARE(copyClipFolders(r.exeDir, r.relativeDir), r.folders);
            QStringList modules;
            for (const QString &f : r.folders)
                modules << f + "/libtobra_windows.so";
            QCOMPARE(windowsModuleCandidates(r.exeDir, r.relativeDir), modules);
        }
        // The build's own layout: beside the executable first, then one
        // more under its parent.
        const QStringList modules = windowsModuleCandidates("/x/bin");
        QCOMPARE(modules.size(), 2);
        QCOMPARE(modules.first(), QString("/x/bin/libtobra_windows.so"));
        QVERIFY2(modules.last().startsWith("/x/lib") && modules.last().endsWith("/tobra/libtobra_windows.so"),
                 qPrintable(modules.last()));
    }

    // The clip beside the executable wins over the installed one; either is
    // found in any letter case.
    void copyClip()
    {
        // Name beside the executable, name in the data folder, which is found.
        const struct { QString beside, installed, found; } rows[] = {
            {"", "", ""}, {"", "filecopy.avi", "installed"}, {"FILECOPY.AVI", "", "beside"},
            {"FileCopy.avi", "FILECOPY.AVI", "beside"}, {"copy.avi", "FILECOPY.AVI.bak", ""},
        };
        for (const auto &r : rows) {
            QTemporaryDir root;
            const QString bin = root.filePath("bin");
            QVERIFY(QDir().mkpath(bin));
            const QString data = copyClipFolders(bin).last();
            QVERIFY(data != bin);
            QStringList paths{"", ""};
            if (!r.beside.isEmpty())
                QVERIFY(test::writeBytes(paths[0] = bin + "/" + r.beside, "clip"));
            if (!r.installed.isEmpty())
                QVERIFY(test::writeBytes(paths[1] = data + "/" + r.installed, "clip"));
            QCOMPARE(findCopyClip(copyClipFolders(bin)), r.found == "beside" ? paths[0] : r.found == "installed" ? paths[1] : QString());
        }
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
