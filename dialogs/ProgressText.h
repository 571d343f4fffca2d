// The progress line the page dialogs show for their downloads.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// The text of a fetch worker's notice. A null string for the finished state and for states the
// line does not show.
QString UpdaterProgressText(LPARAM lParam);
