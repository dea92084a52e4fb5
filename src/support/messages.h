#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace tobra {

// Message box styles by number: buttons (low bits) plus icon.
namespace MsgStyle {
constexpr int OkOnly = 0;
constexpr int AbortRetryIgnore = 2;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
// The second button is the default (Enter, and the console's answer).
constexpr int DefaultButton2 = 256;
}  // namespace MsgStyle

enum class MsgAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// The program's default message title.
QString programTitle();

// One way of showing a message and getting the answer.
class MessageFace {
public:
    virtual ~MessageFace() = default;
    virtual MsgAnswer show(const QString &text, int style, const QString &title) = 0;
};

// Prints to standard error and answers with the default (first) button, for
// runs without a display.
class ConsoleFace : public MessageFace {
public:
    MsgAnswer show(const QString &text, int style, const QString &title) override;
};

// Records every message and answers from a script; with the script used up
// it answers with the default button. For tests.
class ScriptedFace : public MessageFace {
public:
    struct Shown {
        QString text;
        int style;
        QString title;
    };
    MsgAnswer show(const QString &text, int style, const QString &title) override;
    void answerNext(MsgAnswer a) { script_.append(a); }
    QList<Shown> shown;

private:
    QList<MsgAnswer> script_;
};

// The default button of a style: OK, Abort or Yes; with DefaultButton2 the
// second (Cancel, Retry or No).
MsgAnswer defaultAnswer(int style);

// All messages of the program go through here.
namespace Messages {
MsgAnswer show(const QString &text, int style = MsgStyle::OkOnly, const QString &title = QString());
// Installs a face; the old one is returned so a test can put it back.
std::shared_ptr<MessageFace> setFace(std::shared_ptr<MessageFace> face);
std::shared_ptr<MessageFace> face();
}  // namespace Messages

}  // namespace tobra
