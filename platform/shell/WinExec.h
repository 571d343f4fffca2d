// Running a command line the program built (the user's browser setting, the page dialogs' links):
// split by the one command-line splitter, never given to a shell, started detached. Like every
// launch it is first offered to the request hook.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// Returns a value above 31 when the program started; otherwise the reason, below 32:
// ERROR_FILE_NOT_FOUND for an empty line or a program that is not there, ERROR_ACCESS_DENIED for
// one that is not an executable file. The show command is accepted for the callers' sake; a
// started program shows its windows as it chooses.
UINT WinExec(const QString& commandLine, UINT showCommand);
// The same for a line in the ANSI code page (the project codec).
UINT WinExec(const char* commandLine, UINT showCommand);
