// The progress line the page dialogs show while their download runs.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// The text of a fetch worker's notice (the state in the low byte of lParam; while reading, bit 31
// set: bits 16-30 are a percentage, clear: the high word is kilobytes read). A null string for the
// finished state and for states the line does not show.
QString UpdaterProgressText(LPARAM lParam);
