#include "support/ui/elidedlabel.h"

#include <QPainter>
#include <QStyle>

namespace tobra {

namespace {
// Wide enough for a short status; the rest is elided.
constexpr int kMinChars = 12;
constexpr int kPreferredChars = 40;
}  // namespace

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return QSize(fm.averageCharWidth() * kMinChars, fm.height()) + QSize(margin() * 2, margin() * 2);
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    const int width = qMin(fm.horizontalAdvance(text()), fm.averageCharWidth() * kPreferredChars);
    return QSize(qMax(width, minimumSizeHint().width()), fm.height()) + QSize(margin() * 2, margin() * 2);
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width());
    style()->drawItemText(&p, r, int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(), shown,
                          foregroundRole());
    // The whole text stays reachable where it does not fit.
    const QString tip = shown == text() ? QString() : text();
    if (toolTip() != tip)
        setToolTip(tip);
}

}  // namespace tobra
