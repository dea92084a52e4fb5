#include "support/globals.h"

// TOBRA_FTP_USER and TOBRA_FTP_PASSWORD, set when CMake configures.
#include "tobra_login.h"

namespace tobra {

ProgramState &program()
{
    static ProgramState state;
    return state;
}

QString ftpUser()
{
    return QStringLiteral(TOBRA_FTP_USER);
}

QString ftpPassword()
{
    return QStringLiteral(TOBRA_FTP_PASSWORD);
}

QString makerHost()
{
    // A run-time override lets a demo or a test point the product windows at
    // a local server without rebuilding.
    const QString env = qEnvironmentVariable("TOBRA_MAKER_HOST").trimmed();
    return env.isEmpty() ? QStringLiteral(TOBRA_MAKER_HOST) : env;
}

QString urlTag()
{
    return QStringLiteral("<WINDIR>CHAT.INI[PREFERENCES]URL|") + makerHost();
}

}  // namespace tobra
