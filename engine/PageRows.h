// The single-page statements of the page commands (delete, enable, cancel "new"). Each addresses
// the row by both ids and returns the changed-row count, which the caller compares with 1. No
// lock taken; database errors are thrown as CSqlException.
#pragma once

#include "core/db/SqlWrapper.h"
#include "platform/base/WinTypes.h"

class CSqlDatabase;

int DeletePageRow(CSqlDatabase& db, WORD nGroupId, WORD nPageId);
int SetPageEnable(CSqlDatabase& db, WORD nGroupId, WORD nPageId, bool enable);
// Turns a New page into an Ordinary one; changes nothing for a page of another status.
int CancelPageNewStatus(CSqlDatabase& db, WORD nGroupId, WORD nPageId);

// The page's whole row; throws CFailException "Unable to find page in database." when it is gone.
CSqlQuery ReadPageRow(CSqlDatabase& db, WORD nGroupId, WORD nPageId);
