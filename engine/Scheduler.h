// Which pages are checked and when: the selections of the check-interval timer and of the group
// check, each queueing one check per page into the main window's check lists.
#pragma once

#include "engine/CheckLists.h"
#include "platform/base/WinTypes.h"

#include <cstdint>
#include <memory>

class CMutex;
class CPreferences;
class CSqlDatabase;
class CSqlQuery;

// Where the checks of the main window come from and report to.
struct SCheckSource {
    CSqlDatabase& db;
    CMutex& dbMutex;
    HWND hNotifyWnd;
    HINTERNET hInternet;
    CPreferences* pPrefs;
};

// A check for the page of the current PAGES row: the context filled from the row and its worker
// made (not started). Throws the worker's refusals; nothing is left behind on a failure.
std::unique_ptr<CPageCheck> MakePageCheck(const SCheckSource& source, CSqlQuery& row, WORD nGroupId);

// The interval timer's run: under the database lock, queues the pages of the enabled groups whose
// interval has passed at `now` (oldest check first within a group), skipping pages already running
// or queued, and starts the first check when the pending list was empty before. A database error
// ends the selection (traced); what was queued before it stays and is started.
void QueueDuePages(const SCheckSource& source, CCheckLists& lists, uint32_t now);

// The group check: queues the enabled pages of one group in the order of its sort type (any
// running page included; its turn drops it if it still runs) and starts the first check when the
// pending list was empty before. Throws CCmnException for an unknown sort type, an empty group or
// a database error ("SQL Error. ..."); pages queued before the failure stay queued.
void QueueGroupPages(const SCheckSource& source, CCheckLists& lists, WORD nGroupId, int sortType);

// The online check's verdict on the connected state WinInet reports (the result and flags of
// InternetGetConnectedState): offline when no connection is up at all (no interface but
// loopback), and for a dial-up (modem) connection without any dial-up link up. A LAN connection
// is online whatever the dial-up links do.
bool IsOfflineConnection(BOOL connected, DWORD flags, bool dialUpLinkUp);
