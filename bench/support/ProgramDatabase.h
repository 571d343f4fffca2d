// A database prepared for the program before it starts, as a user's would be after earlier runs.
#pragma once

#include <functional>
#include <string>

class CPreferences;
class CSqlDatabase;

namespace taluvo::bench {

// Creates the program's database at path (an old file there is removed first): its tables and a
// settings row, and leaves it open in db for the benchmark's groups and pages. The settings turn
// the online detection off (a private network namespace has no link but loopback, which counts as
// offline) and are otherwise the defaults, changed by settings when given.
// Turns off every alert that would reach the desktop (popups, sounds, the log, the command); every
// check still stores its row.
void TurnOffDesktopAlerts(CPreferences& prefs);

void CreateProgramDatabase(
    CSqlDatabase& db, const std::string& path, const std::function<void(CPreferences&)>& settings = {});

} // namespace taluvo::bench
