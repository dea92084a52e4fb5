#pragma once

#include "backup/productwindows.h"
#include "ftp/ftpclient.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tobra {

// How a window tells the user about database files it did not find.
enum class MissingReport {
    List,     // the names go into lstMissingFiles
    Message,  // one result text naming the files
};

// What differs between the three backup windows.
struct ProductProfile {
    Product product;
    QString windowName;          // frmQof
    QString productName;         // Quillon Office
    QString code;                // QOF: prefix of the company folder
    QString iniFile;             // qof.ini in the INI folder
    QString defaultDataFolder;   // used when the INI names none
    QString fileListSection;     // section of get.INI
    QString closeButtonName;     // cmdExit or cmdReturn
    QString closeButtonCaption;  // &EXIT
    MissingReport missingReport;
    bool modal;                  // shown modal to the main window
    bool listsFolders;           // the grid shows sub-folders too
    bool hasMissingList;         // lstMissingFiles, lblTransferCompletion, List1, Label1
    QString localLabel;          // lblLocal
    QString ftpLabel;            // lblFTP
    QString missingTail;         // follows the paths in the missing-file message
    QString windowTitle;
    QString warningText;         // lblDataTransferWarning before a run

    QString companyTag() const;
    QString dataFolderTag() const;
    QString fileListTag() const;
    // lstMessages and List1.
    static QString pullTag();
};

const ProductProfile &productProfile(Product product);

// Letters A-Z (either case), digits and "-" of text, trimmed.
QString ReturnAlphaNumbersOnly(const QString &TextField);
// The company folder inside /uploads: code followed by the company's letters,
// digits and hyphens.
QString companyFolderName(const QString &code, const QString &company);
// Absolute server path of a company folder.
QString backupFolderPath(const QString &folderName);

// A list entry names a file below the data folder: relative, no "..".
bool isEntryInsideDataFolder(const QString &entry);
// The local file of a list entry: the data folder with a trailing separator,
// then the entry.
QString localFileOfEntry(const QString &dataFolder, const QString &entry);
// The name the upload step sends: NAME.EXT, or NAME when there is no
// extension (a trailing dot would name another file off Windows).
QString uploadFileName(const QString &name, const QString &ext);

// Size column of the grid: the number with a leading blank for its sign.
QString gridSizeText(qint64 size);

struct BackupGridRow {
    QString name;
    QString size;
    QString dateTime;
};
// Rows of the grid for a listing, in listing order: files, and with
// listFolders also sub-folders (never "." or "..").
QList<BackupGridRow> backupGridRows(const QList<FtpListEntry> &entries, bool listFolders);

// Remote folder names match without regard to letter case or blanks at
// either end. Returns the listing's own spelling of the first match, or "".
QString findFolderEntry(const QList<FtpListEntry> &entries, const QString &name);

// What happened to the files of one run.
struct RunRecord {
    struct Failure {
        QString path;    // full local path
        QString name;    // the name the upload step sends
        QString reason;
    };
    int listed = 0;
    int sent = 0;
    QStringList missingPaths;  // full local paths, in list order
    QStringList missingNames;  // the same files by the name the step sends
    QList<Failure> failures;   // could not be sent, or their folder not made

    bool complete() const { return missingPaths.isEmpty() && failures.isEmpty(); }
};

// What the window shows when a run has ended.
// The windows with lists keep missing files and files not sent apart: two
// lists, each under its own heading.
struct RunResult {
    QString warning;          // lblDataTransferWarning
    QString completion;       // lblTransferCompletion; empty keeps it hidden
    QString missingHeading;   // over lstMissingFiles
    QStringList missingList;  // lstMissingFiles; empty keeps it hidden
    QString notSentHeading;   // over lstNotSent
    QStringList notSentList;  // lstNotSent; empty keeps it hidden
};

QString completionText(const ProductProfile &profile);
QString notInstalledText(const ProductProfile &profile);
// The missing-file message of the windows that report by message.
QString missingMessage(const ProductProfile &profile, const QStringList &paths);
// onServer: the names the company folder holds after the run; a file of
// the lists that is among them is an older copy, and its line says so.
RunResult runResult(const ProductProfile &profile, const RunRecord &record, const QStringList &onServer = {});

}  // namespace tobra
