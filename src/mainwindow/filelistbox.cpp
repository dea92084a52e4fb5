#include "mainwindow/filelistbox.h"

#include "support/modcommon.h"

#include <QDir>
#include <QFileInfo>

namespace tobra {

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void FileListBox::setPath(const QString &folder)
{
    QString p = toFileSystemPath(folder.trimmed());
    while (p.size() > 1 && isPathSeparator(p.back()) && !(p.size() == 3 && p.at(1) == QLatin1Char(':')))
        p.chop(1);
    const bool changed = p != path_;
    path_ = p;
    Refresh();
    if (changed)
        emit PathChange();
}

void FileListBox::setPattern(const QString &pattern)
{
    pattern_ = pattern.trimmed().isEmpty() ? QStringLiteral("*.*") : pattern.trimmed();
    Refresh();
}

void FileListBox::setFileName(const QString &fullName)
{
    const QString fs = toFileSystemPath(fullName.trimmed());
    const QFileInfo fi(fs);
    pattern_ = fi.fileName().isEmpty() ? QStringLiteral("*.*") : fi.fileName();
    setPath(fi.absolutePath());
}

void FileListBox::Refresh()
{
    clear();
    if (path_.isEmpty())
        return;
    // "*.*" means every file, also those without a dot.
    QStringList filters;
    if (pattern_ != QLatin1String("*.*") && pattern_ != QLatin1String("*"))
        filters << pattern_;
    const QDir dir(path_);
    const QStringList entries = dir.entryList(filters, QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    addItems(entries);
}

QStringList FileListBox::names() const
{
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out << item(i)->text();
    return out;
}

}  // namespace tobra
