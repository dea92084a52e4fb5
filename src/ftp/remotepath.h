#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tobra {

// Paths on the server: folder segments, always sent with "/".

bool hasControlChars(const QString &s);
QStringList splitRemote(const QString &path);
// Folder segments of path taken from base unless path is absolute; "." and
// ".." are resolved and never leave the root.
QStringList resolveRemote(const QString &base, const QString &path);
QString joinRemote(const QStringList &segs);
// Raises FtpError(kErrBadName) for a segment that could smuggle a command.
void checkRemoteSegments(const QStringList &segs);
// Path of a URL whose first folder is the server's root, whatever folder a
// reused connection is in ("%2F" makes libcurl send "CWD /" first).
QByteArray absoluteUrlPath(const QStringList &segs);

}  // namespace tobra
