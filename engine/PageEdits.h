// The statements of the page add and page modify commands: the duplicate-address test, the new
// row and the rewritten row. The fields the user edits come from the dialogs, the check state and
// the watched part from the page context. No lock taken; database errors are thrown.
#pragma once

#include "engine/PageCtx.h"
#include "platform/base/WinTypes.h"

#include <QString>

class CSqlDatabase;

struct SPageFields {
    QString url;
    QString urlBrowser;
    QString descr;
    BOOL enable = TRUE;
    DWORD interval = 0; // seconds
};

// True when a page of the group has exactly this address (letter case counts).
bool IsPageUrlTaken(CSqlDatabase& db, WORD nGroupId, const QString& url);

// Inserts the page with an id that fits 16 bits; the id, or 0 when no such id is free. Throws
// CFailException "Unable to add page." when the row was not inserted.
int InsertPageRow(CSqlDatabase& db, WORD nGroupId, const SPageFields& fields, const SPageCtx& ctx);

// Rewrites every column of the page's row; the changed-row count.
int UpdatePageRow(CSqlDatabase& db, WORD nGroupId, WORD nPageId, const SPageFields& fields, const SPageCtx& ctx);
