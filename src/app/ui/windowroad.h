#pragma once

#include "app/cmdline.h"

#include <QString>

namespace tobra {

class frmMain;

// Where the window road of the start-up ended.
struct LoadResult {
    enum Outcome {
        Waiting,    // the window is filled and waits for the user
        Ended,      // the automatic upload ran; the program ends with exitStatus
        NeedsUser,  // the window would wait, but nobody can see it
    };
    Outcome outcome = Waiting;
    int exitStatus = 0;
};

// Form_Load's window road: fills the window from the command line and the INI
// files, runs the automatic upload of an accepted code ("/B") or connects and
// leaves the window waiting. With headless set, a window that would wait
// returns NeedsUser before it connects.
LoadResult FormLoad(frmMain &w, const CommandLine &cl, bool headless = false);

// Form_Unload: saves an edited server address and disconnects. Installed as
// the window's unload handling by FormLoad.
void FormUnload(frmMain &w);

// The text printed when the window is needed but there is no display.
QString noDisplayText();

// The window road of the start-up: fills and shows the main window, runs the
// automatic upload when the code is accepted, and returns the exit status.
// Needs a QApplication.
int runWindowRoad(const CommandLine &cl);

}  // namespace tobra
