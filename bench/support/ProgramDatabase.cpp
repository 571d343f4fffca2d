#include "bench/support/ProgramDatabase.h"

#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"

#include <cstdio>

namespace taluvo::bench {

void TurnOffDesktopAlerts(CPreferences& prefs)
{
    for (const char* flag : { "PopupAlertEnable", "AlertSoundEnable", "ErrorSoundEnable", "LogEnable", "RunCmdEnable" })
        prefs.GetParam(flag)->SetBool(false);
}

void CreateProgramDatabase(
    CSqlDatabase& db, const std::string& path, const std::function<void(CPreferences&)>& settings)
{
    std::remove(path.c_str());
    CMutex mutex;
    CPreferences prefs;
    prefs.GetParam("AutoDetectOnline")->SetBool(false);
    prefs.GetParam("WorkOffline")->SetBool(false);
    if (settings)
        settings(prefs);
    db.open(path.c_str());
    CheckDb(db, mutex, prefs);
}

} // namespace taluvo::bench
