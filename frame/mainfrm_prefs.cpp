// The database schema and the settings row, as the main window uses them at creation and shutdown.
#include "frame/mainfrm.h"

#include "core/Globals.h"
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"

void CMainFrame::CheckDb()
{
    ::CheckDb(m_db, g_dbMutex, g_prefs);
}

bool CMainFrame::SavePrefs()
{
    return ::SavePrefs(m_db, g_dbMutex, g_prefs);
}

bool CMainFrame::LoadPrefs(SStoredPrefsProblem* problem)
{
    return ::LoadPrefs(m_db, g_dbMutex, g_prefs, problem);
}
