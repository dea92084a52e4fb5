#include "windows_main.h"

#include "app/ui/windowroad.h"
#include "app/unattended.h"
#include "ftp/ftpclient.h"
#include "support/messages.h"
#include "support/ui/qtmessageface.h"

#include <QApplication>
#include <QDir>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tobra {

int windowsMain(int &argc, char **argv, const CommandLine &cl, bool display)
{
    if (!display) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        Messages::setFace(std::make_shared<ConsoleFace>());
    }
    QApplication app(argc, argv);
    if (display)
        Messages::setFace(std::make_shared<QtMessageFace>());
    if (cl.unattended()) {
        FtpClient ftp;
        UnattendedUpload upload(ftp);
        return upload.run(cl, QDir::currentPath());
    }
    return runWindowRoad(cl);
}

}  // namespace tobra

extern "C" int tobra_windows_main(int *argc, char **argv, const tobra::CommandLine *cl, int display)
{
    return tobra::windowsMain(*argc, argv, *cl, display != 0);
}
