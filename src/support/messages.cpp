#include "support/messages.h"

#include <QTextStream>

#include <cstdio>

namespace tobra {

QString programTitle()
{
    return QStringLiteral("Tobra");
}

MsgAnswer defaultAnswer(int style)
{
    if (style & MsgStyle::DefaultButton2) {
        switch (style & 7) {
        case MsgStyle::AbortRetryIgnore: return MsgAnswer::Retry;
        case MsgStyle::YesNo:
        case 3: return MsgAnswer::No;
        case 1:
        case 5: return MsgAnswer::Cancel;
        default: break;
        }
    }
    switch (style & 7) {
    case MsgStyle::AbortRetryIgnore: return MsgAnswer::Abort;
    case MsgStyle::YesNo:
    case 3: return MsgAnswer::Yes;  // Yes/No/Cancel
    case 1: return MsgAnswer::Ok;   // OK/Cancel
    case 5: return MsgAnswer::Retry;
    default: return MsgAnswer::Ok;
    }
}

static QString answerName(MsgAnswer a)
{
    switch (a) {
    case MsgAnswer::Ok: return QStringLiteral("OK");
    case MsgAnswer::Cancel: return QStringLiteral("Cancel");
    case MsgAnswer::Abort: return QStringLiteral("Abort");
    case MsgAnswer::Retry: return QStringLiteral("Retry");
    case MsgAnswer::Ignore: return QStringLiteral("Ignore");
    case MsgAnswer::Yes: return QStringLiteral("Yes");
    case MsgAnswer::No: return QStringLiteral("No");
    }
    return QString();
}

MsgAnswer ConsoleFace::show(const QString &text, int style, const QString &title)
{
    const MsgAnswer a = defaultAnswer(style);
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    if ((style & 7) != MsgStyle::OkOnly)
        line += QStringLiteral(" [answered ") + answerName(a) + QStringLiteral("]");
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    return a;
}

MsgAnswer ScriptedFace::show(const QString &text, int style, const QString &title)
{
    shown.append({text, style, title});
    if (!script_.isEmpty())
        return script_.takeFirst();
    return defaultAnswer(style);
}

namespace {
std::shared_ptr<MessageFace> &currentFace()
{
    static std::shared_ptr<MessageFace> f = std::make_shared<ConsoleFace>();
    return f;
}
}  // namespace

namespace Messages {
MsgAnswer show(const QString &text, int style, const QString &title)
{
    return currentFace()->show(text, style, title.isEmpty() ? programTitle() : title);
}

std::shared_ptr<MessageFace> setFace(std::shared_ptr<MessageFace> face)
{
    auto old = currentFace();
    currentFace() = std::move(face);
    return old;
}

std::shared_ptr<MessageFace> face()
{
    return currentFace();
}
}  // namespace Messages

}  // namespace tobra
