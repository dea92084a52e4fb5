#include "support/ui/tagwidgets.h"

#include "support/errorhandler.h"
#include "support/messages.h"
#include "support/tagini.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVariant>
#include <QWidget>

namespace tobra {

QString controlTag(const QWidget *control)
{
    return control ? control->property("Tag").toString() : QString();
}

void setControlTag(QWidget *control, const QString &tag)
{
    control->setProperty("Tag", tag);
}

void TagReadTag(QWidget *control)
{
    setCurrentProcName(QStringLiteral("ErrTagReadTag"));
    const QString tag = controlTag(control);
    if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        edit->setText(tagReadValue(tag));
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        combo->setCurrentText(tagReadValue(tag));
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        label->setText(tagReadValue(tag));
    } else {
        Messages::show(QStringLiteral("invalid tag type of object sent"), MsgStyle::Critical);
    }
}

void TagReadOptionTag(QWidget *control)
{
    setCurrentProcName(QStringLiteral("ErrTagReadOptionTag"));
    if (auto *option = qobject_cast<QRadioButton *>(control))
        option->setChecked(tagOptionValue(tagReadValue(controlTag(control))));
}

void TagReadBkBoxTag(QWidget *control)
{
    setCurrentProcName(QStringLiteral("ErrTagReadBkBoxTag"));
    auto *box = qobject_cast<QCheckBox *>(control);
    if (!box)
        return;
    const int v = tagCheckValue(tagReadValue(controlTag(control)));
    if (v == 2)
        box->setTristate(true);
    box->setCheckState(v == 2 ? Qt::PartiallyChecked : v == 1 ? Qt::Checked : Qt::Unchecked);
}

void TagLstreadIni(QWidget *control)
{
    setCurrentProcName(QStringLiteral("TagLstreadIni"));
    auto *list = qobject_cast<QListWidget *>(control);
    if (!list)
        return;
    list->clear();
    list->addItems(tagReadList(controlTag(control)));
}

void TagWriteTag(QWidget *control)
{
    QString value;
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        value = edit->text();
    else if (auto *combo = qobject_cast<QComboBox *>(control))
        value = combo->currentText();
    else if (auto *label = qobject_cast<QLabel *>(control))
        value = label->text();
    else
        return;
    tagWriteValue(controlTag(control), value);
}

void readTaggedControls(QWidget *window, const std::function<void(QWidget *)> &afterRead)
{
    const QList<QWidget *> controls = window->findChildren<QWidget *>();
    for (QWidget *c : controls) {
        if (!TagLegit(controlTag(c)))
            continue;
        if (qobject_cast<QLineEdit *>(c) || qobject_cast<QLabel *>(c) || qobject_cast<QComboBox *>(c))
            TagReadTag(c);
        else if (qobject_cast<QRadioButton *>(c))
            TagReadOptionTag(c);
        else if (qobject_cast<QListWidget *>(c))
            TagLstreadIni(c);
        else if (qobject_cast<QCheckBox *>(c))
            TagReadBkBoxTag(c);
        else
            continue;
        if (afterRead)
            afterRead(c);
    }
}

}  // namespace tobra
