#include "windows_main.h"

#include "app/installdirs.h"
#include "app/ui/windowroad.h"
#include "app/unattended.h"
#include "ftp/ui/copyanimation.h"
#include "support/messages.h"
#include "support/platform.h"
#include "support/ui/qtmessageface.h"

#include <QApplication>
#include <QIcon>

namespace tobra {

int windowsMain(int &argc, char **argv, const CommandLine &cl, bool display)
{
    if (!display) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        Messages::setFace(std::make_shared<ConsoleFace>());
    }
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/tobra.png")));
    if (display)
        Messages::setFace(std::make_shared<QtMessageFace>());
    setCopyClipFolders(copyClipFolders(platform().programDirectory()));
    if (cl.unattended())
        return runUnattendedUpload(cl);
    return runWindowRoad(cl);
}

}  // namespace tobra

extern "C" int tobra_windows_main(int *argc, char **argv, const tobra::CommandLine *cl, int display)
{
    return tobra::windowsMain(*argc, argv, *cl, display != 0);
}
