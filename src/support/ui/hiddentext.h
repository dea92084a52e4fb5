#pragma once

#include <QString>
#include <QWidget>

namespace tobra {

// A text a window keeps among its named controls but never shows, such as
// the path a backup run hands to its upload step. A hidden line edit would
// announce every change to assistive technology, twice for each file sent;
// nobody can see this one, so it tells no one.
class HiddenText : public QWidget {
public:
    explicit HiddenText(QWidget *parent = nullptr) : QWidget(parent) { hide(); }

    const QString &text() const { return text_; }
    void setText(const QString &text) { text_ = text; }

private:
    QString text_;
};

}  // namespace tobra
