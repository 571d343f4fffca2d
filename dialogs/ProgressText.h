// What the page dialogs share about their downloads: the progress line, and the cancel.
#pragma once

#include "engine/PageCtx.h"
#include "platform/base/WinTypes.h"

#include <QString>

// The text of a fetch worker's notice (the state in the low byte of lParam; while reading, bit 31
// set: bits 16-30 are a percentage, clear: the high word is kilobytes read). A null string for the
// finished state and for states the line does not show.
QString UpdaterProgressText(LPARAM lParam);

// Asks the context's running fetch to end with the cancel's error. A worker resets the cancel
// state when its fetch begins, so a dialog repeats this at each notice until the finished one.
void CancelDownload(SPageCtx& ctx);
