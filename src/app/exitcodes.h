#pragma once

namespace tobra {

// Exit status of the program, for scripts and scheduled jobs.
enum ExitCode : int {
    ExitOk = 0,             // uploaded and confirmed, or the window was closed
    ExitUsage = 2,          // the command line cannot be used (bad technician code)
    ExitFileMissing = 3,    // the local file is missing or empty
    ExitNoConnection = 4,   // server unreachable or login refused
    ExitTransferFailed = 5, // the upload broke off, was refused or is short on the server
    ExitNoDisplay = 6,      // the window is needed but there is no display
    ExitCancelled = 7,      // stopped by SIGINT or SIGTERM; nothing left under the final name
};

}  // namespace tobra
