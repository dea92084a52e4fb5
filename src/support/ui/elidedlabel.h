#pragma once

#include <QLabel>

namespace tobra {

// A one-line label that shows long text elided in the middle instead of
// widening its window: a long path keeps its start and its file name, and
// the window keeps its size. text() is the whole text; so is the tooltip.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(const QString &text = QString(), QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

}  // namespace tobra
