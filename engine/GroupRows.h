// The rows of GROUPS that the group commands read and write. None of these takes the database
// lock (the caller holds it for as long as it needs one view of the table); database errors are
// thrown as CSqlException. Titles are stored in the ANSI code page.
#pragma once

#include "core/db/SqlWrapper.h"
#include "platform/base/WinTypes.h"

#include <QString>

// True when a group already has exactly this title (a case-sensitive comparison, as stored).
bool IsGroupTitleTaken(CSqlDatabase& db, const QString& title);

// Inserts a group without pages (pagesOrder NULL) under a new 16-bit id and returns that id; 0
// when no such id is free (nothing is inserted then).
int InsertGroup(CSqlDatabase& db, const QString& title, bool enable, int sortType);

// The group's row; at its end when there is none.
CSqlQuery ReadGroupRow(CSqlDatabase& db, WORD nGroupId);

// Sets title, enable flag and sort type; returns the changed-row count.
int UpdateGroup(CSqlDatabase& db, WORD nGroupId, const QString& title, bool enable, int sortType);

// Sets the enable flag alone; returns the changed-row count.
int SetGroupEnable(CSqlDatabase& db, WORD nGroupId, bool enable);

// Deletes the group's pages, then the group.
void DeleteGroupWithPages(CSqlDatabase& db, WORD nGroupId);
