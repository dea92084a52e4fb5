#pragma once

#include <QListWidget>
#include <QString>

namespace tobra {

// A file list box: the files of one folder that match a pattern, as names.
// Hidden files are not listed, as the normal-files-only look-up expects.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

    // The folder shown, without a final separator (the root keeps it).
    QString Path() const { return path_; }
    void setPath(const QString &folder);
    QString Pattern() const { return pattern_; }
    void setPattern(const QString &pattern);
    // A full file name moves the list to the file's folder and lists that
    // name only, until the pattern is set again.
    void setFileName(const QString &fullName);
    // Re-reads the folder.
    void Refresh();
    QStringList names() const;

signals:
    // The folder shown changed.
    void PathChange();

private:
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
};

}  // namespace tobra
