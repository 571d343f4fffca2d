// Opening a page's address in the web browser the settings name: the desktop's default browser,
// or the user's own browser program: a setting naming a file is that program, whatever blanks its
// path holds; any other setting is a command line that may carry arguments of its own. The
// address is always one argument of its own and never seen by a shell.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// True once a program really started. An empty address, one that is no web address (http or
// https), and a missing browser setting start nothing. Settings errors are thrown (CCmnException).
bool OpenInUserBrowser(HWND hWnd, const QString& address, BOOL newWindow);
