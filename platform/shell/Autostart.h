// Starting a program with the user's session: a desktop entry in the user's XDG autostart folder
// ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart).
#pragma once

#include <QString>

namespace taluvo::shell {

// The entry's file of the given file name ("taluvo.desktop") in the autostart folder.
QString AutostartEntryPath(const QString& fileName);

enum class EAutostart { ok, folderFailed, writeFailed, removeFailed };

// Writes the entry that runs program (a full path) under the display name, replacing an existing
// one in one step; the autostart folder is made when missing.
EAutostart AddAutostartEntry(const QString& path, const QString& name, const QString& program);
// Removes the entry; a missing one is no failure.
EAutostart RemoveAutostartEntry(const QString& path);

} // namespace taluvo::shell
