// The process-wide objects the main window creates, opens and tears down, and that the engine,
// the toolbar server and the dialogs reach without going through the window.
//
// Each object is defined in the library of its class, so including this header adds no link
// dependency by itself: g_prefs is defined in core/prefs (class in Preferences.h), m_db in core/db
// (class in SqlWrapper.h); g_dbMutex, g_pListener and g_hMainWnd here in core. The internet session
// handle is declared beside its handle holder.
#pragma once

#include "platform/base/WinTypes.h"

#include <atomic>

class CPreferences;
class CSqlDatabase;
class CMutex;
class CListener;

// The settings store, all settings at their defaults until the stored record is loaded.
extern CPreferences g_prefs;
// The one database connection, open on "database.db" while the main window lives.
extern CSqlDatabase m_db;
// Serialises every use of m_db, from any thread; recursive for its holder.
extern CMutex g_dbMutex;
// The toolbar server, null while it does not run.
extern CListener* g_pListener;
// The main window, null before it exists. Published by the window's creation handler before the
// toolbar server starts; its handler threads read it, so it is atomic.
extern std::atomic<HWND> g_hMainWnd;
