// The user's own folders by the XDG base-directory rules. One place answers them for the whole
// program, so the import, the autostart entry, the browser lookup and the program's folder never
// disagree on where the user's files are.
#pragma once

#include <QString>

namespace taluvo {

// The user's home folder without a trailing '/': HOME when set, else the password database's
// entry for the user; empty when neither names one.
QString UserHomeFolder();

// XDG_CONFIG_HOME / XDG_DATA_HOME when they hold an absolute path (a relative one is ignored, as
// the rules say), else ~/.config / ~/.local/share.
QString UserConfigHome();
QString UserDataHome();

// The value of an environment variable that names a path, decoded by the program's codec; empty
// when the variable is unset or empty.
QString EnvironmentPath(const char* name);
// The folder without trailing '/' ("/" itself stays).
QString WithoutTrailingSlashes(QString folder);

} // namespace taluvo
