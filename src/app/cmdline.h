#pragma once

#include <QString>
#include <QStringList>

namespace tobra {

// The program's command line, read the way the start-up reads it.
struct CommandLine {
    QString command;    // argument text after the switches were cut out, trimmed
    bool safety = false;       // "/S" given
    bool bypass = true;        // "/B" NOT given (BypassFlag)
    QString tech;       // technician word, upper case
    QString file;       // file word, letter case kept
    bool help = false;
    bool version = false;
    // A dash option other than a lone --help or --version: the first word
    // starts with '-', or -h, -v, --help, --version or --log stands elsewhere.
    bool badOption = false;

    // A code and a file and no "/B": upload without a window.
    bool unattended() const
    {
        return !badOption && !command.isEmpty() && bypass && !tech.isEmpty() && !file.isEmpty();
    }
};

// Switch helpers, on the argument text. Switches are whole blank-separated
// words in either case, so "/srv/..." or "/bin" inside a path stay intact.
bool GetSafety(const QString &TheCommand);
QString StripSafety(const QString &TheCommand);
bool GetBypass(const QString &TheCommand);
QString StripBypass(const QString &TheCommand);
QString GetTech(const QString &TheCommand);
QString GetFILENAME(const QString &TheCommand);

// True for T1 ... T9 exactly and for any text beginning with "V7".
bool IsLegit(const QString &TheString);

CommandLine parseCommandLine(const QStringList &arguments);

}  // namespace tobra
