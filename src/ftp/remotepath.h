#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tobra {

// Paths on the server: folder segments, always sent with "/".

bool hasControlChars(const QString &s);
// Characters that can fake a line, reorder what is shown or hide text:
// control characters, the line and paragraph separators (U+2028, U+2029),
// every format character (Cf: all of Bidi_Control, U+061C, U+200E, U+200F,
// U+202A-U+202E, U+2066-U+2069, and zero-width, invisible and tag
// characters), the other default-ignorable characters (variation
// selectors, fillers) and unpaired surrogates.
bool isUnsafeTextChar(char32_t c);
// True when text holds such a character.
bool hasUnsafeTextChars(QStringView text);
// Text from the server as it may be shown: without those characters.
QString safeServerText(const QString &text);
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
// A technician or customer code that can name a folder inside /uploads: no
// separator, no "..", no control character.
bool isSafeTechFolder(const QString &tech);

}  // namespace tobra
