// Ids for new rows of PAGES and GROUPS. The tree's item data, the toolbar protocol and the links
// of the popups carry ids in 16 bits, so a new id must fit them: the next id after the largest
// while that fits, else the smallest id in 1..65534 (0xFFFF means "none") that no row uses yet (rows made by another
// tool may hold larger ids; one whose low 16 bits equal a candidate counts as using it).
#pragma once

class CSqlDatabase;

// The id for a new row of table ("PAGES" or "GROUPS"); 0 when every such id is taken. Takes no
// lock: the caller holds the database lock until the row is inserted. Database errors are thrown.
int NewRowId(CSqlDatabase& db, const char* table);
