#include "app/cmdline.h"
#include "app/exitcodes.h"
#include "app/unattended.h"
#include "app/ui/windowroad.h"
#include "ftp/ftpclient.h"
#include "support/messages.h"
#include "support/ui/qtmessageface.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
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
    "  --help, --version\n"
    "\n"
    "Switches are whole words in either case. Settings: CHAT.INI [PREFERENCES] URL in the\n"
    "INI folder ($TOBRA_WINDIR, else ~/.config/tobra).\n"
    "\n"
    "Exit status: 0 uploaded and confirmed (or window closed), 2 bad code, 3 file missing\n"
    "or empty, 4 server unreachable or login refused, 5 upload failed or incomplete,\n"
    "6 the window is needed but there is no display.\n";

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

}  // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const tobra::CommandLine cl = tobra::parseCommandLine(args);
    if (cl.help) {
        std::fputs(kUsage, stdout);
        return tobra::ExitOk;
    }
    if (cl.version) {
        std::printf("Tobra %s\n", TOBRA_VERSION);
        return tobra::ExitOk;
    }

    const bool display = haveDisplay();
    if (cl.unattended()) {
        std::unique_ptr<QCoreApplication> app;
        if (display) {
            app = std::make_unique<QApplication>(argc, argv);
            tobra::Messages::setFace(std::make_shared<tobra::QtMessageFace>());
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
            tobra::Messages::setFace(std::make_shared<tobra::ConsoleFace>());
        }
        tobra::FtpClient ftp;
        tobra::UnattendedUpload upload(ftp);
#ifndef Q_OS_WIN
        upload.showProgress = isatty(STDERR_FILENO);
#endif
        return upload.run(cl, QDir::currentPath());
    }

    if (!display) {
        // Windows without a screen: offscreen, answered on the console.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        tobra::Messages::setFace(std::make_shared<tobra::ConsoleFace>());
    }
    QApplication app(argc, argv);
    if (display)
        tobra::Messages::setFace(std::make_shared<tobra::QtMessageFace>());
    return tobra::runWindowRoad(cl);
}
