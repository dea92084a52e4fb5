#include "backup/productprofile.h"

#include "ftp/ftplisting.h"
#include "support/modcommon.h"

namespace tobra {

namespace {

QString warningFor(const QString &productName)
{
    return QStringLiteral("Ok sends a copy of your %1 database files to the Halvex FTP site, into a folder "
                          "of your company. Your own files are not changed. Close %1 on every computer "
                          "before you press Ok, so that the copy is complete.")
        .arg(productName);
}

ProductProfile makeQof()
{
    ProductProfile p;
    p.product = Product::Qof;
    p.windowName = QStringLiteral("frmQof");
    p.productName = QStringLiteral("Quillon Office");
    p.code = QStringLiteral("QOF");
    p.iniFile = QStringLiteral("qof.ini");
    p.defaultDataFolder = QStringLiteral("C:\\qof");
    p.fileListSection = QStringLiteral("QofFILES");
    p.closeButtonName = QStringLiteral("cmdExit");
    p.closeButtonCaption = QStringLiteral("&EXIT");
    p.missingReport = MissingReport::List;
    p.modal = true;
    p.listsFolders = true;
    p.hasMissingList = true;
    p.localLabel = QStringLiteral(" Local data Files");
    p.ftpLabel = QStringLiteral("FTP Folder and Files Created after transmittion");
    p.missingTail = QStringLiteral(" missing in your Quillon Office database. No Data transfer has been completed.");
    return p;
}

ProductProfile makeQofp()
{
    ProductProfile p;
    p.product = Product::Qofp;
    p.windowName = QStringLiteral("frmQofp");
    p.productName = QStringLiteral("Quillon Office Plus");
    p.code = QStringLiteral("QOFP");
    p.iniFile = QStringLiteral("qofp.ini");
    p.defaultDataFolder = QStringLiteral("C:\\qofpdata");
    p.fileListSection = QStringLiteral("QofpFILES");
    p.closeButtonName = QStringLiteral("cmdReturn");
    p.closeButtonCaption = QStringLiteral("&EXIT");
    p.missingReport = MissingReport::Message;
    p.modal = false;
    p.listsFolders = false;
    p.hasMissingList = false;
    p.localLabel = QStringLiteral("Your Local Drive , Folder and Files Created  After Click OK button");
    p.ftpLabel = QStringLiteral("FTP Folder and Files");
    p.missingTail = QStringLiteral(" missing in your Quillon Office database. No Data transfer has been completed.");
    return p;
}

ProductProfile makeQsnp()
{
    ProductProfile p;
    p.product = Product::Qsnp;
    p.windowName = QStringLiteral("frmQsnp");
    p.productName = QStringLiteral("Quillon Snapfolio");
    p.code = QStringLiteral("QSNP");
    p.iniFile = QStringLiteral("qsn2000.ini");
    p.defaultDataFolder = QStringLiteral("C:\\qsnbook");
    p.fileListSection = QStringLiteral("QsnpFILES");
    p.closeButtonName = QStringLiteral("cmdExit");
    p.closeButtonCaption = QStringLiteral("&EXIT");
    p.missingReport = MissingReport::Message;
    p.modal = true;
    p.listsFolders = false;
    p.hasMissingList = false;
    p.localLabel = QStringLiteral("Your Local Drive , Folder and Files Created  After Click OK button");
    p.ftpLabel = QStringLiteral("FTP Folder and Files");
    p.missingTail = QStringLiteral(" missing in your Quillon Snapfolio Database. No transfer has been completed.");
    return p;
}

ProductProfile finish(ProductProfile p)
{
    p.windowTitle = p.productName + QStringLiteral(" - Send the database to Halvex");
    p.warningText = warningFor(p.productName);
    return p;
}

// Long lists of names would not fit the result label.
constexpr int kNamesShown = 10;

QString joinNames(const QStringList &names, const QString &restWord)
{
    const QStringList shown = names.mid(0, kNamesShown);
    QString text = shown.join(QStringLiteral(", "));
    if (names.size() > kNamesShown)
        text += QStringLiteral(" and %1 other %2").arg(names.size() - kNamesShown).arg(restWord);
    return text;
}

QString emptyListText(const ProductProfile &p)
{
    return QStringLiteral("No database files of %1 are listed in get.INI (section %2). Nothing has been sent.")
        .arg(p.productName, p.fileListSection);
}

QString partialText(const RunRecord &r)
{
    return QStringLiteral("%1 of %2 files have been sent to Halvex FTP site. The backup is not complete.")
        .arg(r.sent)
        .arg(r.listed);
}

}  // namespace

QString ProductProfile::companyTag() const
{
    return QStringLiteral("<windir>") + iniFile + QStringLiteral("[company name]company|");
}

QString ProductProfile::dataFolderTag() const
{
    return QStringLiteral("<windir>") + iniFile + QStringLiteral("[directories]datadir|") + defaultDataFolder;
}

QString ProductProfile::fileListTag() const
{
    return QStringLiteral("<WINDIR>get.INI[") + fileListSection + QStringLiteral("]FILE##|");
}

QString ProductProfile::pullTag()
{
    return QStringLiteral("<windir>pull.ini[qoffiles]file##|");
}

const ProductProfile &productProfile(Product product)
{
    static const ProductProfile qof = finish(makeQof());
    static const ProductProfile qofp = finish(makeQofp());
    static const ProductProfile qsnp = finish(makeQsnp());
    switch (product) {
    case Product::Qof:
        return qof;
    case Product::Qofp:
        return qofp;
    case Product::Qsnp:
        break;
    }
    return qsnp;
}

QString ReturnAlphaNumbersOnly(const QString &TextField)
{
    QString out;
    out.reserve(TextField.size());
    for (const QChar ch : TextField) {
        // Only ASCII letters: accented letters and look-alikes such as the
        // long s would make a folder name the server may not accept.
        const bool letter = (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z'))
            || (ch >= QLatin1Char('a') && ch <= QLatin1Char('z'));
        if (letter || IsDigitOrDash(ch))
            out.append(ch);
    }
    return out.trimmed();
}

QString companyFolderName(const QString &code, const QString &company)
{
    return ReturnAlphaNumbersOnly(code + ReturnAlphaNumbersOnly(company));
}

QString backupFolderPath(const QString &folderName)
{
    return QStringLiteral("/uploads/") + folderName;
}

bool isEntryInsideDataFolder(const QString &entry)
{
    const QString e = entry.trimmed();
    if (e.isEmpty() || isPathSeparator(e.front()))
        return false;
    if (e.size() >= 2 && e.at(1) == QLatin1Char(':'))
        return false;  // a drive letter
    QString part;
    for (qsizetype i = 0; i <= e.size(); ++i) {
        if (i == e.size() || isPathSeparator(e.at(i))) {
            if (part.trimmed() == QLatin1String(".."))
                return false;
            part.clear();
        } else {
            part.append(e.at(i));
        }
    }
    return true;
}

QString localFileOfEntry(const QString &dataFolder, const QString &entry)
{
    QString folder = dataFolder;
    return CkRSlash(folder) + entry;
}

QString uploadFileName(const QString &name, const QString &ext)
{
    return ext.isEmpty() ? name : name + QLatin1Char('.') + ext;
}

QString gridSizeText(qint64 size)
{
    return size < 0 ? QString::number(size) : QLatin1Char(' ') + QString::number(size);
}

QList<BackupGridRow> backupGridRows(const QList<FtpListEntry> &entries, bool listFolders)
{
    // One date format whatever the server's listing, as the main window shows.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<BackupGridRow> rows;
    for (const FtpListEntry &e : entries) {
        if (e.IsFile == 0) {
            if (!listFolders || e.Name == QLatin1String("..") || e.Name == QLatin1String("."))
                continue;
        }
        rows.append({e.Name, gridSizeText(e.Size), listingTimeText(e.DateTime, now)});
    }
    return rows;
}

QString findFolderEntry(const QList<FtpListEntry> &entries, const QString &name)
{
    const QString wanted = name.trimmed().toUpper();
    for (const FtpListEntry &e : entries)
        if (e.IsFile == 0 && e.Name.trimmed().toUpper() == wanted)
            return e.Name;
    return QString();
}

QString completionText(const ProductProfile &profile)
{
    return QStringLiteral("Your ") + profile.productName
        + QStringLiteral(" DataBase now has been transfered to Halvex FTP site.");
}

QString notInstalledText(const ProductProfile &profile)
{
    return QStringLiteral("You do not have ") + profile.productName + QStringLiteral(" installed!");
}

QString missingMessage(const ProductProfile &profile, const QStringList &paths)
{
    if (paths.isEmpty())
        return QString();
    const QString verb = paths.size() == 1 ? QStringLiteral(" is") : QStringLiteral(" are");
    return joinNames(paths, QStringLiteral("files")) + verb + profile.missingTail;
}

RunResult runResult(const ProductProfile &profile, const RunRecord &record, const QStringList &onServer)
{
    RunResult r;
    if (record.listed == 0) {
        r.warning = emptyListText(profile);
        return r;
    }
    if (record.complete()) {
        r.warning = completionText(profile);
        return r;
    }
    QStringList lines;
    if (profile.missingReport == MissingReport::List) {
        // The grid shows the folder as it is now: a name it lists is an
        // older copy, not this run's file.
        auto older = [&onServer](const QString &name) {
            return onServer.contains(name, Qt::CaseInsensitive)
                ? QStringLiteral(" (the server keeps an older copy)")
                : QString();
        };
        if (!record.missingNames.isEmpty())
            r.missingHeading = QStringLiteral("Following files are missing in your ") + profile.productName
                + QStringLiteral(" Database.");
        if (!record.failures.isEmpty())
            r.notSentHeading = QStringLiteral("Following files could not be sent to Halvex FTP site.");
        for (const QString &name : record.missingNames)
            r.missingList << name + older(name);
        for (const RunRecord::Failure &f : record.failures)
            r.notSentList << f.name + QStringLiteral(": ") + f.reason + older(f.name);
        lines << partialText(record);
    } else {
        if (!record.missingPaths.isEmpty())
            lines << missingMessage(profile, record.missingPaths);
        for (int i = 0; i < record.failures.size() && i < kNamesShown; ++i)
            lines << record.failures.at(i).path + QStringLiteral(" could not be sent: ") + record.failures.at(i).reason;
        if (record.failures.size() > kNamesShown)
            lines << QStringLiteral("%1 other files could not be sent.").arg(record.failures.size() - kNamesShown);
        lines << partialText(record);
    }
    r.warning = lines.join(QLatin1Char('\n'));
    return r;
}

}  // namespace tobra
