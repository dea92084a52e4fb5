#pragma once

#include "support/messages.h"

namespace tobra {

// Message boxes as Qt dialogs.
class QtMessageFace : public MessageFace {
public:
    MsgAnswer show(const QString &text, int style, const QString &title) override;
};

}  // namespace tobra
