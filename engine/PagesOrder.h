// The stored user order of a group's pages (GROUPS.pagesOrder): the page ids in display order as
// little-endian 16-bit integers, no header, written as CSqlBinary text.
#pragma once

#include "platform/base/WinTypes.h"

#include <vector>

class CSqlDatabase;

// Stores ids as the group's order, followed by the group's other pages lowest id first, so no
// page drops out of the order. A group without pages gets the empty order (an id of a deleted
// page must not stay listed). No lock taken; throws CFailException "Unable to update database
// record \"pagesOrder\"." unless exactly one group row changed, and database errors.
void StorePagesOrder(CSqlDatabase& db, WORD nGroupId, std::vector<WORD> ids);
