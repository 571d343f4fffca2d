// Starting things outside the program. Every launch is first offered to the request hook
// (ShellHooks.h); only when no hook takes it is a process started. Programs get their arguments
// as separate argv elements: no command line is built and no shell ever parses one.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>
#include <QStringList>

namespace taluvo::shell {

// ShellExecute's failure results (a result above 32 means success).
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SE_SUCCESS = 33;

// An address may reach a program only where it cannot be read as an option: it is not empty and
// does not start with '-'.
bool IsSafeAddressArgument(const QString& address);

// An address a browser may be given: http or https (what a check fetches; the scheme in any
// letter case, nothing before it). Any other (file:, javascript:, data:, a desktop file, a place
// query) would have the desktop run or show what a page or an imported file planted.
bool IsWebAddress(const QString& address);

// Opens a web address with the desktop's default handler (xdg-open); SE_SUCCESS once the handler
// has started, SE_ERR_NOASSOC when none could be started or the address is no web address.
int OpenUrl(const QString& address);

// Opens an existing file with the desktop's handler for its type (xdg-open), as the shell's "open"
// verb does: SE_ERR_FNF, with nothing started, when no such file exists; SE_SUCCESS once the
// handler has started; SE_ERR_NOASSOC when none could be started.
int OpenFile(const QString& path);

// Starts argv[0] with the other elements as its arguments, detached from the program. TRUE only
// once the program has really been executed; FALSE with a Windows error number
// (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED) when it cannot be started.
BOOL RunProgram(const QStringList& argv, DWORD* error = nullptr);

// The default web browser, in place of the registry's "http\shell" command: the desktop file that
// mimeapps.list names for x-scheme-handler/http (the XDG places, as xdg-mime looks them up) and
// its Exec value. FALSE when none is registered; desktopFile is then the id that was looked for,
// if any.
BOOL FindDefaultBrowser(QString& desktopFile, QString& exec);

} // namespace taluvo::shell
