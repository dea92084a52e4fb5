#pragma once

#include <QString>

namespace tobra {

// Text left ("L...") or right ("R...") of the first occurrence of separator;
// empty when the separator does not occur or the side is neither.
QString ReturnPart(const QString &inputstr, const QString &LeftOrRight, const QString &SeparationChar);
QString StripChar(const QString &text, QChar ch);
int CountChar(const QString &text, QChar ch);
// True when the first character is a letter A-Z in either case. A non-blank
// argument is cut to its first character, as callers expect.
bool IsAlphaChar(QString &TheString);
bool IsDigitOrDash(QChar ch);

bool isPathSeparator(QChar ch);
// Trims the path and ensures it ends with a separator (the one the path
// already uses, else the native one); blank gives "" and leaves the argument.
QString CkRSlash(QString &path);
// Trims the path and removes one trailing separator.
QString StripRChar(QString &path);

struct FileNameParts {
    QString drive;      // "C:" or empty
    QString folder;     // up to and including the last separator, or empty
    QString name;
    QString ext;
};
// Splits a full file name. Letter case is kept; "\" and "/" both separate.
FileNameParts ParseFileName(const QString &FilName);
QString GetFileDrive(const QString &FilName);
QString GetFilePath(const QString &FilName);
QString GetFileBaseName(const QString &FilName);
QString GetFileExt(const QString &FilName);

// Path as the file system wants it: on Linux "\" becomes "/".
QString toFileSystemPath(const QString &path);
// The folder of a local path with its trailing separator ("C:" for
// "C:A.ZIP", "" for a bare name), split at the last separator only: unlike
// ParseFileName it keeps folders that hold "]", so the folder checked is
// the folder used.
QString localFolderOf(const QString &path);
// A normal, visible file of at least one byte.
bool FileExists(const QString &FileName);
// A folder, or a file (the installation checks accept either).
bool PathExists(const QString &path);
bool FolderExists(const QString &path);

}  // namespace tobra
