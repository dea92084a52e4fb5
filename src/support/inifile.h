#pragma once

#include <QString>

namespace tobra {

// The file an INI name refers to: a bare file name lies in the Windows
// directory; other names are used as given (either separator).
QString resolveIniPath(const QString &file);

// Reads section/key of an INI file. Names match without regard to letter case
// and surrounding blanks; the value is trimmed and loses one pair of enclosing
// quotes; the first matching section and key win; a missing file, section or
// key gives the default, an empty value gives "".
QString ReadIni(const QString &file, const QString &section, const QString &key, const QString &defaultValue);

// Stores the value, changing only the one line it must (or appending the key
// or section) and keeping every other byte. The file is replaced atomically.
// Returns false when nothing could be written (empty names, or an error the
// user chose not to retry).
bool WriteIni(const QString &file, const QString &section, const QString &key, const QString &value);

// Text of INI bytes: UTF-8 when valid, else Windows-1252.
QString decodeIniText(const QByteArray &bytes, bool *wasUtf8 = nullptr);
QByteArray encodeWindows1252(const QString &text);

}  // namespace tobra
