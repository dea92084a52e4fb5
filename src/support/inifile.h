#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tobra {

// The file an INI name refers to: a bare file name lies in the Windows
// directory; other names are used as given (either separator).
QString resolveIniPath(const QString &file);

// Reads section/key of an INI file. Names match without regard to letter case
// and surrounding blanks; the value is trimmed and loses one pair of enclosing
// quotes; the first matching section and key win; a missing file, section or
// key gives the default (less its trailing blanks and one pair of enclosing
// quotes), an empty value gives "". Lines before the first header form the
// section "", and "=v" is the key "".
QString ReadIni(const QString &file, const QString &section, const QString &key, const QString &defaultValue);

// Stores the value, changing only the one line it must (or adding the key or
// section) and keeping every other byte, the file's encoding and its line
// ends. The file is replaced atomically. Returns false when nothing could be
// written (no file name, a folder that does not exist, or an error the user
// chose not to retry). Only the Windows directory is made when missing.
bool WriteIni(const QString &file, const QString &section, const QString &key, const QString &value);

// The keys and values of one section in a single read, in file order (see
// IniDocument::entries); empty when the file or the section is missing.
QList<std::pair<QString, QString>> ReadIniSection(const QString &file, const QString &section);

// Text of INI bytes: UTF-16LE after its byte-order mark, else UTF-8 when
// valid, else Windows-1252.
QString decodeIniText(const QByteArray &bytes, bool *wasUtf8 = nullptr);
// Windows-1252 bytes of text; a character it lacks becomes '?'.
QByteArray encodeWindows1252(const QString &text);

enum class IniEncoding { Utf8, Windows1252, Utf16Le };

// An INI file parsed once, line by line, with the bytes each line came from.
// Reading and writing both go through it, so they always agree on where a
// section or key is. Line ends are CRLF, LF or CR alone; a NUL ends a line's
// text; a byte-order mark opening any line is skipped.
class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(const QByteArray &bytes);

    IniEncoding encoding() const { return encoding_; }
    // Names of the sections with a header, in file order (repeats included).
    QStringList sectionNames() const;
    // The value as ReadIni gives it; nothing when section or key is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Every key of the first section of that name with its value as value()
    // gives it, in file order; a repeated key only the first time.
    QList<std::pair<QString, QString>> entries(const QString &section) const;
    // Replaces the value of the key, or adds the key (and the section).
    void setValue(const QString &section, const QString &key, const QString &value);
    QByteArray bytes() const;

private:
    enum class Kind { Other, Header, Entry };
    struct Line {
        QByteArray raw;  // without the line end
        QByteArray end;
        Kind kind = Kind::Other;
        QString name;       // section or key, trimmed
        QString value;      // text right of '=', as written
        qsizetype eq = -1;  // byte offset of '=' in raw
        bool blank = true;
    };
    void parseLine(Line &line) const;
    QString decode(const QByteArray &raw) const;
    QByteArray encode(const QString &text) const;
    QByteArray unit(char16_t c) const;
    // Index of the first line of the section and one past its last line;
    // false when missing. The section "" starts before the first line.
    bool findSection(const QString &section, qsizetype *first, qsizetype *end) const;
    bool keepsEncoding() const;

    IniEncoding encoding_ = IniEncoding::Utf8;
    QByteArray bom_;   // byte-order mark opening the file
    QByteArray tail_;  // a stray last byte of a UTF-16 file
    QList<Line> lines_;
};

}  // namespace tobra
