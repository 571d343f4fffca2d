// Free helpers for web addresses, check intervals, the dial-up state and opening an address in the
// web browser. None of them throws.
#pragma once

#include "platform/base/WinTypes.h"
#include "platform/inet/WinInet.h"

#include <QString>

// Canonicalises the address (percent-encoding what may not stand before '?' or '#', keeping "."
// and ".." segments) and splits it: the host without port, the path with query and fragment, the
// scheme number and the port (80 or 443 when the address names none). FALSE when it cannot be
// split; the outputs are then unspecified.
BOOL CrackUrl(const QString& szUrl, QString& strHost, QString& strPath, INTERNET_SCHEME& nScheme,
    INTERNET_PORT* pnPort = nullptr);

void SplitInterval(DWORD dwSeconds, int& nDays, int& nHours, int& nMinutes);
QString FormatInterval(int nDays, int nHours, int nMinutes);

// TRUE when a dial-up or VPN link (a point-to-point interface) is up.
BOOL CountActiveRasConnections();

// Opens the address in the web browser: with the desktop's default handler, or, for a new
// window, by starting the default browser's command (its desktop entry's whole Exec line, the
// address put in as one argument), falling back to the desktop's handler when no browser is
// registered. A result above 32 is success, given only once a program was really started; 31
// (the browser could not be started, or the address could be taken for an option) and 32 (no
// browser and no handler) are failures. The show command is accepted for its callers and has no
// effect here.
int GotoURL(HWND hWnd, const QString& szUrl, BOOL fOpenNewWindow = TRUE, int iShowCmd = 10 /* SW_SHOWDEFAULT */);
