#pragma once

#include <QString>
#include <QStringList>

namespace tobra {

// The pieces of a tag "<MACRO>FILE.INI[SECTION]KEY|default".
struct TagParts {
    QString file;     // the file part, macros not yet expanded
    QString section;
    QString key;
    QString defaultValue;
};

// True when the tag names an INI entry: it holds "[", "]", "<", ">" and
// "INI" in any letter case.
bool TagLegit(const QString &tag);
// Cuts a tag into its pieces; a list tag drops every "#" right of "]"
// before the key is cut.
TagParts parseTag(const QString &tag, bool listTag = false);
// Expands "<WINDIR>", "<DATADIR>", "<APPDIR>" or "<USERDIR>" in a file part;
// a part with ">" but none of them gives "".
QString expandTagFile(const QString &filePart);

// Value of the entry a tag names (default when missing).
QString tagReadValue(const QString &tag);
// Values of KEY1, KEY2, ... up to the first empty one.
QStringList tagReadList(const QString &tag);
// Stores value at the entry a tag names.
bool tagWriteValue(const QString &tag, const QString &value);
// The option-button and check-box readings of a stored value.
bool tagOptionValue(const QString &stored);
int tagCheckValue(const QString &stored);

}  // namespace tobra
