#include "app/cmdline.h"
#include "app/exitcodes.h"
#include "app/installdirs.h"
#include "app/unattended.h"
#include "support/messages.h"
#include "support/runlog.h"
#include "windows_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif
#ifdef TOBRA_WINDOWS_MODULE
#include <dlfcn.h>
#endif

namespace {

const char kUsage[] =
    "Usage: tobra [CODE FILE] [/S] [/B]\n"
    "\n"
    "  tobra T3 /path/to/report.zip      upload the file into /uploads/T3 on the server\n"
    "                                    named in CHAT.INI, without a window\n"
    "  tobra                             open the main window\n"
    "  tobra T3 /path/to/report.zip /B   open the window; an accepted code (T1-T9, V7...)\n"
    "                                    uploads the file and ends\n"
    "\n"
    "  /S  Safety: ask before overwriting files\n"
    "  /B  do not upload without a window\n"
    "  --log FILE  write this run's log to FILE instead of the support log\n"
    "  --help, --version\n"
    "\n"
    "Switches are whole words in either case. A first word (where the code goes) that\n"
    "starts with '-', or -h, -v, --help, --version or --log anywhere else, is an error\n"
    "(status 2); a later word such as -notes.txt is part of the file name.\n"
    "\n"
    "Settings: CHAT.INI [PREFERENCES] URL, TLS, CERT, CONNECTTIMEOUT and STALLTIMEOUT in\n"
    "the INI folder ($TOBRA_WINDIR, else ~/.config/tobra).\n"
    "The support log is ~/.local/state/tobra/tobra.log ($XDG_STATE_HOME/tobra), beside\n"
    "tls-servers, the servers TLS is required of since a TLS login.\n"
    "\n"
    "Exit status: 0 uploaded and confirmed (or window closed), 2 bad code or option,\n"
    "3 file missing, empty or unreadable, 4 server unreachable or login refused,\n"
    "5 upload failed or incomplete, 6 the window is needed but there is no display,\n"
    "7 cancelled by SIGINT or SIGTERM.\n";

// A display the Qt dialogs can use. Without one every message goes to the
// console and is answered with its default button.
bool haveDisplay()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("TOBRA_CONSOLE");
#else
    if (!qEnvironmentVariableIsEmpty("TOBRA_CONSOLE"))
        return false;
    const QByteArray qpa = qgetenv("QT_QPA_PLATFORM");
    if (qpa == "offscreen" || qpa == "minimal")
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

#ifdef TOBRA_WINDOWS_MODULE
// The windows module lies beside the executable in the build tree, or in the
// installed module folder.
int runWindowsModule(int &argc, char **argv, const tobra::CommandLine &cl, bool display)
{
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    const QString dir = n > 0 ? QFileInfo(QString::fromLocal8Bit(exe, int(n))).absolutePath() : QDir::currentPath();
    const QStringList candidates = tobra::windowsModuleCandidates(dir);
    QString errors;
    for (const QString &path : candidates) {
        if (!QFileInfo::exists(path))
            continue;
        void *module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            errors += QString::fromLocal8Bit(dlerror()) + QLatin1Char('\n');
            continue;
        }
        using Entry = int (*)(int *, char **, const tobra::CommandLine *, int);
        if (auto entry = reinterpret_cast<Entry>(dlsym(module, "tobra_windows_main")))
            return entry(&argc, argv, &cl, display ? 1 : 0);
        errors += path + QStringLiteral(": no entry point\n");
    }
    std::fprintf(stderr, "tobra: the windows module cannot be loaded from %s\n%s",
                 qPrintable(candidates.join(QLatin1String(" or "))), qPrintable(errors));
    return 1;
}
#endif

// Takes "--log FILE" out of the arguments; the file, or empty.
QString takeLogOption(QStringList &args)
{
    QString file;
    for (qsizetype i = 0; i + 1 < args.size();) {
        if (args.at(i) == QLatin1String("--log")) {
            file = args.at(i + 1);
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
    return file;
}

int run(int argc, char *argv[], const tobra::CommandLine &cl)
{
    if (cl.help) {
        std::fputs(kUsage, stdout);
        return tobra::ExitOk;
    }
    if (cl.badOption) {
        std::fputs(kUsage, stderr);
        return tobra::ExitUsage;
    }
    if (cl.version) {
        std::printf("Tobra %s (%s)\n", TOBRA_VERSION, TOBRA_GIT_DESCRIBE);
        return tobra::ExitOk;
    }

    const bool display = haveDisplay();
    if (cl.unattended() && !display) {
        // The console road needs no GLib main loop; Qt's own event
        // dispatcher starts faster and maps less.
        if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
            qputenv("QT_NO_GLIB", "1");
        QCoreApplication app(argc, argv);
        tobra::Messages::setFace(std::make_shared<tobra::ConsoleFace>());
        return tobra::runUnattendedUpload(cl);
    }

#ifdef TOBRA_WINDOWS_MODULE
    return runWindowsModule(argc, argv, cl, display);
#else
    return tobra::windowsMain(argc, argv, cl, display);
#endif
}

}  // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // A GUI program has no console of its own; when started from one, write
    // the unattended road's messages and --help there.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString logFile = takeLogOption(args);
    const tobra::CommandLine cl = tobra::parseCommandLine(args);
    if (cl.help || cl.version || cl.badOption)
        return run(argc, argv, cl);

    tobra::RunLog &log = tobra::RunLog::instance();
    const bool logging = logFile.isEmpty() ? log.openDefault() : log.open(logFile, false);
    if (!logging && !logFile.isEmpty())
        std::fprintf(stderr, "tobra: the log file %s cannot be written\n", qPrintable(logFile));
    tobra::logLine(QStringLiteral("start"), QStringLiteral("Tobra %1: %2").arg(QStringLiteral(TOBRA_VERSION), args.join(QLatin1Char(' '))));
    const int status = run(argc, argv, cl);
    tobra::logLine(QStringLiteral("end"), QStringLiteral("exit status %1").arg(status));
    return status;
}
