#pragma once

#include "ftp/ftpclient.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tobra {

// The decisions of the main window, kept apart from the widgets so they can
// be checked without a window.

// The upload button's rule: a technician code in the box, one picked in the
// list, and a file box that names an existing regular file (a folder or an
// empty box never sends). The file is checked again by the upload.
bool putButtonRule(const QString &techText, bool techSelected, bool fileIsRegular);
// The status bar's resting line: "Ready", or what to do when the file box
// names no file to send.
QString restingStatusText(bool fileIsRegular);

// Why an upload ended without the file on the server.
enum class PutStop {
    Cancelled,  // the user stopped it
    Declined,   // the connection was lost and the user chose not to reconnect
    Failed,     // the component raised an error; its reason says why
};
// "REPORT.ZIP was not sent: the upload was cancelled."
QString notSentLine(const QString &name, PutStop stop, const QString &reason = QString());
// "Stored as /uploads/T3/REPORT.ZIP", the completion notice's last line.
QString storedAsLine(const QString &folder, const QString &remoteName);

// "Tobra - Version: 1.1.2".
QString versionCaption(const QString &title, int major, int minor, int revision);
// "Tobra - /uploads/T3", the caption while a remote folder is current.
QString directoryCaption(const QString &path);

// "1024 bytes".
QString sizeText(qint64 bytes);

// The server folder of a technician or customer code: /uploads/<code>.
QString remoteTechFolder(const QString &code);
// A code the window may use as a folder name below /uploads: empty (the
// folder itself) or one plain name.
bool techFolderUsable(const QString &code);
// Message for a code that cannot name a folder.
QString unusableCodeText(const QString &code);

// One row of the remote grid: name, size text, date text (remoteDateText).
struct RemoteRow {
    QString name;
    QString size;
    QString date;
};
// Files of a listing in the order given; folders produce no row. now is
// the current time, for listings that leave out the year.
QList<RemoteRow> remoteGridRows(const QList<FtpListEntry> &entries,
                                const QDateTime &now = QDateTime::currentDateTimeUtc());
// The one date format of both grids: local time, "yyyy-MM-dd HH:mm:ss".
QString gridDateText(const QDateTime &when);
// A listing's date in that format; the text as listed when it cannot be read.
QString remoteDateText(const QString &listed, const QDateTime &now);

// One row of the local grid.
struct LocalRow {
    QString name;
    QString size;
    QString date;
    QString version;
};
// The version column's text when a file has no version.
QString noVersionText();
// Last-modified time, as gridDateText.
QString localDateText(const QDateTime &when);
// Files (no folders) of a local folder, sorted by name without regard to
// case. false in *ok when the folder cannot be read.
QList<LocalRow> localFolderRows(const QString &folder, bool *ok = nullptr);

// The technician list: T1 ... T9, then the customer code when there is one.
QStringList technicianCodes(const QString *customerCode);
// Where quillon.ini is read from: the system directory first, then
// C:\APPRAISE\; empty when neither exists.
QString quillonIniPath(const QString &systemDir, const std::function<bool(const QString &)> &exists);

// The warning label's text.
QString warningText();

// The file box at start-up: a name without drive and folder is taken from
// the INI folder.
QString startFileBox(const QString &fileWord, const QString &iniFolder);
// The folder the local views open on: the file box's folder when it exists,
// else the program's folder.
QString startFolderFor(const QString &fileBox, const QString &programFolder);

// The last path component, letter case kept ("report.zip").
QString localFileNameOf(const QString &path);
// folder and name joined by exactly one separator.
QString joinLocal(const QString &folder, const QString &name);
// The name as stored in folder: the exact one when present, else the one
// that matches without regard to case, else name itself.
QString storedLocalName(const QString &folder, const QString &name);
// True when a name from the server may name a local file in a folder: not
// empty, not "." or "..", no separator of either kind, nothing that could
// fake a line or reorder text. Anything else is text to show, never a path.
bool isPlainServerName(const QString &name);
// Index of the entry equal to name; without an exact match the first that
// matches without regard to case; -1 when none.
int findNameIndex(const QStringList &entries, const QString &name);

}  // namespace tobra
