#include "app/cmdline.h"

#include "support/modcommon.h"

namespace tobra {

namespace {

// Position of the first blank-separated word equal to sw (any case), or -1.
qsizetype findSwitch(const QString &text, const QString &sw)
{
    qsizetype from = 0;
    while (from <= text.size()) {
        const qsizetype at = text.indexOf(sw, from, Qt::CaseInsensitive);
        if (at < 0)
            return -1;
        const bool startOk = at == 0 || text.at(at - 1) == QLatin1Char(' ');
        const qsizetype end = at + sw.size();
        const bool endOk = end == text.size() || text.at(end) == QLatin1Char(' ');
        if (startOk && endOk)
            return at;
        from = at + 1;
    }
    return -1;
}

// Cuts the first occurrence of the switch word together with one blank next
// to it, so the words around it stay separated by one blank.
QString stripSwitch(const QString &text, const QString &sw)
{
    const qsizetype at = findSwitch(text, sw);
    if (at < 0)
        return text;
    qsizetype start = at;
    qsizetype end = at + sw.size();
    if (end < text.size())
        ++end;  // the blank after it
    else if (start > 0)
        --start;  // the blank before it
    return text.left(start) + text.mid(end);
}

}  // namespace

bool GetSafety(const QString &TheCommand)
{
    return findSwitch(TheCommand, QStringLiteral("/S")) >= 0;
}

QString StripSafety(const QString &TheCommand)
{
    return stripSwitch(TheCommand, QStringLiteral("/S"));
}

bool GetBypass(const QString &TheCommand)
{
    return findSwitch(TheCommand, QStringLiteral("/B")) < 0;
}

QString StripBypass(const QString &TheCommand)
{
    return stripSwitch(TheCommand, QStringLiteral("/B"));
}

QString GetTech(const QString &TheCommand)
{
    return ReturnPart(TheCommand, QStringLiteral("L"), QStringLiteral(" "));
}

QString GetFILENAME(const QString &TheCommand)
{
    return ReturnPart(TheCommand, QStringLiteral("R"), QStringLiteral(" "));
}

bool IsLegit(const QString &TheString)
{
    for (int i = 1; i <= 9; ++i)
        if (TheString == QLatin1Char('T') + QString::number(i))
            return true;
    return TheString.startsWith(QLatin1String("V7"));
}

namespace {

// The rule of CommandLine::badOption. Only the code's place is checked for
// any dash, since a file name may start with one.
bool hasBadOption(const QStringList &arguments)
{
    static const QStringList dashForms{QStringLiteral("-h"), QStringLiteral("-v"), QStringLiteral("--help"),
                                       QStringLiteral("--version"), QStringLiteral("--log")};
    bool first = true;
    for (const QString &arg : arguments) {
        if (dashForms.contains(arg))
            return true;
        const bool isSwitch = arg.compare(QLatin1String("/S"), Qt::CaseInsensitive) == 0
                              || arg.compare(QLatin1String("/B"), Qt::CaseInsensitive) == 0;
        if (first && !isSwitch && !arg.trimmed().isEmpty()) {
            if (arg.trimmed().startsWith(QLatin1Char('-')))
                return true;
            first = false;
        }
    }
    return false;
}

}  // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine cl;
    if (arguments.size() == 1 && arguments.first() == QLatin1String("--help")) {
        cl.help = true;
        return cl;
    }
    if (arguments.size() == 1 && arguments.first() == QLatin1String("--version")) {
        cl.version = true;
        return cl;
    }
    cl.badOption = hasBadOption(arguments);
    QString command = arguments.join(QLatin1Char(' '));
    cl.safety = GetSafety(command);
    command = StripSafety(command).trimmed();
    cl.bypass = GetBypass(command);
    command = StripBypass(command).trimmed();
    cl.command = command;
    cl.tech = GetTech(command).trimmed().toUpper();
    cl.file = GetFILENAME(command).trimmed();
    return cl;
}

}  // namespace tobra
