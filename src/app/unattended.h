#pragma once

#include "app/cmdline.h"

#include <QObject>
#include <QString>

#include <optional>

namespace tobra {

class FtpClient;

// The upload without a window: one file into /uploads/<code>.
class UnattendedUpload : public QObject {
    Q_OBJECT
public:
    explicit UnattendedUpload(FtpClient &ftp, QObject *parent = nullptr);

    // The whole road from the parsed command line; returns the exit status.
    int run(const CommandLine &cl, const QString &currentFolder);

    // Connects with the server box's host.
    void CmdLineFtpConnect();
    // SourceFile: an absolute path, as completeFileWord makes it.
    int CmdLinePUT(const QString &DestinationDir, const QString &SourceFile);
    void FtpDisconnect();

    // Server host as read from the server box's tag.
    QString txtURL;
    // Status lines of the run (the hidden status list of the window).
    QStringList lstMessages;
    // Progress lines go to standard error when it is a terminal.
    bool showProgress = false;

private:
    void AddStatusMessage(const QString &msg);

    FtpClient &ftp_;
    int lastPercent_ = -1;
    // Why the last connect failed; shown once, by CmdLinePUT.
    std::optional<QString> connectReason_;
};

// The whole unattended road with its own FTP component, from the process's
// current folder; progress goes to standard error when that is a terminal.
// SIGINT and SIGTERM cancel the upload (status 7).
int runUnattendedUpload(const CommandLine &cl);

// The file word as one absolute path, the form it keeps up to the upload: a
// relative word is taken from the current folder.
QString completeFileWord(const QString &file, const QString &currentFolder);

}  // namespace tobra
