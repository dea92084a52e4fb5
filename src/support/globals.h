#pragma once

#include <QString>

namespace tobra {

// Values shared by every window for the whole run.
struct ProgramState {
    bool SafetyOn = false;        // ask before overwriting; from "/S" and the Safety box
    int CurrentFileNumber = 0;    // file being sent, 1-based
    int FileCount = 0;            // files in the run
    QString CurrentFileName;      // full local path of the file being sent
};

ProgramState &program();

// Fixed login of every connection.
QString ftpUser();
QString ftpPassword();
constexpr int kFtpPort = 21;
// The maker's FTP host: $TOBRA_MAKER_HOST when set, else the build-time value.
QString makerHost();
// Tag of the main window's server box.
QString urlTag();

}  // namespace tobra
