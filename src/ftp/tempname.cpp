#include "ftp/tempname.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace tobra {

namespace {

const QString kSuffix = QStringLiteral(".tobra-part");
constexpr int kHexDigits = 16;
// Most servers and file systems stop at 255 bytes a name.
constexpr qsizetype kMaxNameBytes = 255;

}  // namespace

QString newTemporaryRemoteName(const QString &remoteName)
{
    const quint64 random = QRandomGenerator::system()->generate64();
    const QString tail = QLatin1Char('.') + QStringLiteral("%1").arg(random, kHexDigits, 16, QLatin1Char('0')) + kSuffix;
    QString head = remoteName;
    // Cut whole characters (never half a surrogate pair) until it fits.
    while (!head.isEmpty() && (head + tail).toUtf8().size() > kMaxNameBytes) {
        head.chop(1);
        if (!head.isEmpty() && head.back().isHighSurrogate())
            head.chop(1);
    }
    return head + tail;
}

bool isTemporaryRemoteName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("\\.[0-9a-f]{16}\\.tobra-part$"));
    return pattern.match(name).hasMatch();
}

}  // namespace tobra
