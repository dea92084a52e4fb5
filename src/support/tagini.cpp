#include "support/tagini.h"

#include "support/inifile.h"
#include "support/modcommon.h"
#include "support/modopsys.h"

#include <QHash>

namespace tobra {

bool TagLegit(const QString &tag)
{
    return tag.contains(QLatin1Char('[')) && tag.contains(QLatin1Char(']')) && tag.contains(QLatin1Char('<'))
        && tag.contains(QLatin1Char('>')) && tag.contains(QLatin1String("INI"), Qt::CaseInsensitive);
}

TagParts parseTag(const QString &tag, bool listTag)
{
    TagParts p;
    p.file = ReturnPart(tag, QStringLiteral("L"), QStringLiteral("["));
    const QString rest = ReturnPart(tag, QStringLiteral("R"), QStringLiteral("["));
    p.section = ReturnPart(rest, QStringLiteral("L"), QStringLiteral("]"));
    QString tail = ReturnPart(rest, QStringLiteral("R"), QStringLiteral("]"));
    if (listTag)
        tail = StripChar(tail, QLatin1Char('#'));
    p.key = ReturnPart(tail, QStringLiteral("L"), QStringLiteral("|"));
    p.defaultValue = ReturnPart(tail, QStringLiteral("R"), QStringLiteral("|"));
    return p;
}

static QString macroFolder(const QString &macro)
{
    if (macro == QLatin1String("<WINDIR>"))
        return IniFolder();
    const QString key = macro.mid(1, macro.size() - 2);  // DATADIR, APPDIR, USERDIR
    return ReadIni(IniFolder() + QStringLiteral("QSN2000.INI"), QStringLiteral("DIRECTORIES"), key, QString());
}

QString expandTagFile(const QString &filePart)
{
    const qsizetype gt = filePart.indexOf(QLatin1Char('>'));
    if (gt < 0)
        return filePart;
    const QString name = filePart.mid(gt + 1);
    const QString upper = filePart.toUpper();
    static const char *const macros[] = {"<WINDIR>", "<DATADIR>", "<APPDIR>", "<USERDIR>"};
    for (const char *m : macros) {
        const QString macro = QLatin1String(m);
        if (!upper.contains(macro))
            continue;
        QString folder = macroFolder(macro).trimmed();
        if (!folder.isEmpty())
            CkRSlash(folder);
        return folder + name;
    }
    return QString();
}

QString tagReadValue(const QString &tag)
{
    const TagParts p = parseTag(tag);
    return ReadIni(expandTagFile(p.file), p.section, p.key, p.defaultValue);
}

QStringList tagReadList(const QString &tag)
{
    const TagParts p = parseTag(tag, true);
    // One read of the section: a read per key costs seconds on long lists.
    QHash<QString, QString> values;
    for (const auto &[key, value] : ReadIniSection(expandTagFile(p.file), p.section))
        values.insert(key.toCaseFolded(), value);
    QStringList items;
    // Bounded: an INI file cannot hold more entries than this in practice.
    for (int i = 1; i <= 100000; ++i) {
        const QString v = values.value((p.key + QString::number(i)).trimmed().toCaseFolded());
        if (v.isEmpty())
            break;
        items.append(v);
    }
    return items;
}

bool tagWriteValue(const QString &tag, const QString &value)
{
    const TagParts p = parseTag(tag);
    return WriteIni(expandTagFile(p.file), p.section, p.key, value);
}

bool tagOptionValue(const QString &stored)
{
    return stored.trimmed() != QLatin1String("0");
}

int tagCheckValue(const QString &stored)
{
    const QString t = stored.trimmed();
    qsizetype n = 0;
    while (n < t.size() && t.at(n).isDigit())
        ++n;
    const int v = n == 0 ? 0 : t.left(n).toInt();
    return v >= 0 && v <= 2 ? v : 0;
}

}  // namespace tobra
