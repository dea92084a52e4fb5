#pragma once

#include "app/cmdline.h"

#include <QtGlobal>

namespace tobra {

// Everything that needs widgets: the window road, and the unattended upload
// when its messages are dialogs. Makes the QApplication; without a display
// it runs offscreen with the console face.
int windowsMain(int &argc, char **argv, const CommandLine &cl, bool display);

}  // namespace tobra

// Entry of the windows module, found by name.
extern "C" Q_DECL_EXPORT int tobra_windows_main(int *argc, char **argv, const tobra::CommandLine *cl, int display);
