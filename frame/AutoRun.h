// Starting the program with the user's session: an autostart entry in the user's XDG config
// folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart) that runs this executable.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// The entry's file.
QString AutoRunEntryPath();

// Adds (on) or removes the entry. A failure is traced and shown in a box "Error." on the desktop.
void ManageAutoRun(BOOL on);
