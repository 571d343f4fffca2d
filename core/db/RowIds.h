// Ids of PAGES and GROUPS rows as the program addresses them. Ids travel as 16 bits (tree item
// data, messages, page contexts, the toolbars' groups list) and 0xFFFF means "none", so a row
// whose id does not fit (one made by another tool) cannot be addressed: it is left out of the
// tree, the groups list and the checks, and traced once.
#pragma once

#include "platform/base/WinTypes.h"

class CSqlQuery;

// True for ids 0 to 0xFFFE.
constexpr bool IsAddressableId(long long id)
{
    return id >= 0 && id < 0xFFFF;
}

// Reads the current row's id column (whole, not cut to 32 or 16 bits) into id. False when it does
// not fit; the first time a row of that table with that id is met, the trace says it is left out.
bool ReadRowId(CSqlQuery& row, const char* table, const char* field, WORD& id);
