#pragma once

#include "app/cmdline.h"

namespace tobra {

// The window road of the start-up: fills and shows the main window, runs the
// automatic upload when the code is accepted, and returns the exit status.
// Needs a QApplication.
int runWindowRoad(const CommandLine &cl);

}  // namespace tobra
