#include "support/globals.h"

namespace tobra {

ProgramState &program()
{
    static ProgramState state;
    return state;
}

QString ftpUser()
{
    return QStringLiteral("ftpuser");
}

QString ftpPassword()
{
    return QStringLiteral("vintor");
}

QString makerHost()
{
    return QStringLiteral(TOBRA_MAKER_HOST);
}

QString urlTag()
{
    return QStringLiteral("<WINDIR>CHAT.INI[PREFERENCES]URL|") + makerHost();
}

}  // namespace tobra
