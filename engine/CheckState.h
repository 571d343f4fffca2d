// The check state a page context carries into its PAGES row when the user has changed what is
// watched (the address, the start text or the stop text) in the page dialogs. A checksum taken of
// another address or another part would make the next check report a change that never happened,
// so the state is either taken afresh from a download made for the new choice or forgotten.
#pragma once

#include "engine/PageCtx.h"

// True when the context holds a page a download brought without an error.
bool HoldsGoodDownload(const SPageCtx& ctx);

// The checksum of the watched part of the downloaded text, taken as the first one: the status is
// Ordinary, or Unknown when the part is empty (no checksum). Never New: choosing a part is no change
// of the page.
void TakeFirstChecksum(SPageCtx& ctx);

// The state of a page that was never checked.
void ForgetCheckState(SPageCtx& ctx);

// After the content-selection dialog's OK: the texts are in the context; the checksum follows them
// when a download is there to take it of, else the stored checksum and status stay.
void ApplyChosenPart(SPageCtx& ctx);

// After the page modify dialog's OK. Nothing changes when neither the address nor the texts did;
// otherwise a good download in the dialog gives the first checksum and anything else leaves the
// page as never checked.
void SettleModifiedCheckState(SPageCtx& ctx, bool addressOrTextsChanged);
