#include "platform/shell/WinExec.h"

#include "platform/base/TextCodec.h"
#include "platform/shell/CommandLine.h"
#include "platform/shell/Launch.h"

UINT WinExec(const QString& commandLine, UINT)
{
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (taluvo::shell::RunProgram(taluvo::shell::SplitCommandLine(commandLine), &error))
        return taluvo::shell::SE_SUCCESS;
    return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error;
}

UINT WinExec(const char* commandLine, UINT showCommand)
{
    return WinExec(commandLine ? taluvo::AnsiDecode(commandLine) : QString(), showCommand);
}
