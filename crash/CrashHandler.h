// Installation of the crash handler in the program: the report file beside the executable (or in
// the program's folder), the helper beside the executable, and the signal stack of every worker
// thread.
#pragma once

#include <QString>

// Installs the handler; helperPath names another helper than the one beside the executable.
// Returns true when the helper runs (otherwise the handler writes a shorter report itself).
bool InstallCrashHandler(const QString& helperPath = QString());

// The report file: the executable's name with the extension "RPT" (appended when the name has
// none), in the program's folder.
QString CrashReportPath();
