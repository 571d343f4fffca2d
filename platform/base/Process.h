// The running process: thread ids, the executable, the program's folder.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// The kernel's id of the calling thread (never 0).
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

namespace taluvo {

// Full path of the executable ("/usr/bin/taluvo"); empty when it cannot be read.
QString ExecutablePath();

// The program's folder (no trailing '/'): TALUVO_HOME when set; else the executable's folder when
// it already holds a "database.db" (a portable copy); else the user's data folder
// ($XDG_DATA_HOME/taluvo, by default ~/.local/share/taluvo), created for the user alone when
// missing.
QString ProgramFolder();

// A file of the program's folder named after the executable: ProgramFilePath("ini") gives
// "<folder>/taluvo.ini". An empty extension gives the executable's name itself.
QString ProgramFilePath(const QString& extension);

// The file name with its extension replaced (or appended when the name has none).
QString ChangeExtension(const QString& path, const QString& extension);

// Whether path names an existing folder / an existing regular file.
bool FolderExists(const QString& path);
bool RegularFileExists(const QString& path);

// How many more descriptors the process may open before it reaches its limit (RLIMIT_NOFILE's
// soft value); a large number when there is no limit.
size_t DescriptorsLeft();

} // namespace taluvo
