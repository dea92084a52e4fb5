#include "app/installdirs.h"

#include <QDir>

namespace tobra {

namespace {

const char kModuleName[] = "libtobra_windows.so";

QStringList besideAndUnder(const QString &exeDir, const QString &relativeDir, const QString &leaf)
{
    const QDir exe(exeDir);
    QStringList out;
    for (const QString &dir : {exeDir, exe.filePath(relativeDir)}) {
        const QString path = QDir::cleanPath(leaf.isEmpty() ? dir : dir + QLatin1Char('/') + leaf);
        if (!out.contains(path))
            out << path;
    }
    return out;
}

}  // namespace

QStringList windowsModuleCandidates(const QString &exeDir, const QString &relativeDir)
{
    return besideAndUnder(exeDir, relativeDir, QLatin1String(kModuleName));
}

QStringList windowsModuleCandidates(const QString &exeDir)
{
    return windowsModuleCandidates(exeDir, QStringLiteral(TOBRA_MODULE_DIR_FROM_BIN));
}

QStringList copyClipFolders(const QString &exeDir, const QString &relativeDir)
{
    return besideAndUnder(exeDir, relativeDir, QString());
}

QStringList copyClipFolders(const QString &exeDir)
{
    return copyClipFolders(exeDir, QStringLiteral(TOBRA_DATA_DIR_FROM_BIN));
}

}  // namespace tobra
