#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tobra {

// A control's INI binding lives in its "Tag" property.
QString controlTag(const QWidget *control);
void setControlTag(QWidget *control, const QString &tag);

// Text box, combo box (text) or label (caption) := the INI value; any other
// control gets the "invalid tag type of object sent" message.
void TagReadTag(QWidget *control);
// Option button: set unless the value is "0".
void TagReadOptionTag(QWidget *control);
// Check box: 0 clear, 1 ticked, 2 greyed.
void TagReadBkBoxTag(QWidget *control);
// List box: cleared, then KEY1, KEY2, ... up to the first empty value.
void TagLstreadIni(QWidget *control);
// Stores the control's text (text box, combo box) or caption (label).
void TagWriteTag(QWidget *control);

// Reads every control below window whose tag passes TagLegit, in the
// window's control order, dispatching by kind. afterRead runs after each
// control was read (the product windows use it for their company box).
void readTaggedControls(QWidget *window, const std::function<void(QWidget *)> &afterRead = {});

}  // namespace tobra
