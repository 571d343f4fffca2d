// Resource and command ids of the program: menus, accelerators, strings, icons, bitmaps, sounds.
// The command ids of the frame's own commands (exit, about, toolbar and status bar toggles, the
// idle message) come with the frame window (platform/ui/Frame.h).
#pragma once

#include "platform/ui/Frame.h"

// Menus, accelerators, main icon and title.
constexpr WORD IDR_MAINFRAME = 128;
constexpr WORD IDR_TRAY_POPUP = 210;

// Icons.
constexpr WORD IDI_TRAY_PROBE = 213; // all black: the tray icon is found on the screen by this square
constexpr WORD IDI_PAGE_16x16 = 247;
constexpr WORD IDI_PAGE_NEW_16x16 = 248;
constexpr WORD IDI_CRASH = 4005;

// The 16x16 image strip: groups, page statuses, the overlay cross and the toolbar buttons.
constexpr WORD IDB_TREE_IMAGES = 201;

// Sounds.
constexpr WORD IDR_WAVE_UPDATE = 242;
constexpr WORD IDR_WAVE_ERROR = 243;

// Commands.
constexpr UINT ID_FILE_WORK_OFFLINE = 32773;
constexpr UINT ID_FILE_MIN_TO_TRAY = 32774;
constexpr UINT ID_GROUP_ADD = 32775;
constexpr UINT ID_GROUP_MODIFY = 32776;
constexpr UINT ID_GROUP_DELETE = 32777;
constexpr UINT ID_GROUP_TOGGLE = 32778;
constexpr UINT ID_PAGE_ADD = 32779;
constexpr UINT ID_PAGE_MODIFY = 32780;
constexpr UINT ID_PAGE_DELETE = 32781;
constexpr UINT ID_PAGE_TOGGLE = 32782;
constexpr UINT ID_PAGE_CANCEL_STATUS = 32783;
constexpr UINT ID_PAGE_COPY_ADDRESS = 32784;
constexpr UINT ID_PAGE_CHECK_UPDATE = 32785;
constexpr UINT ID_TOOLS_PREFERENCES = 32787;
constexpr UINT ID_TOOLS_OPEN_LOG_FILE = 32788;
constexpr UINT ID_PAGE_MOVE_UP = 32790;
constexpr UINT ID_PAGE_MOVE_DOWN = 32791;
constexpr UINT ID_PAGE_PROPERTIES = 32793;
constexpr UINT ID_RESTORE_FROM_TRAY = 32794;
constexpr UINT ID_GROUP_CHECK_ALL = 32795;
constexpr UINT ID_PAGE_OPEN_IN_BROWSER = 32796;
constexpr UINT ID_TOOLS_CHECK_ALL = 32797;
constexpr UINT ID_FILE_IMPORT_BOOKMARKS = 32798;
constexpr UINT ID_TOOLS_CANCEL_CHECKS = 32799;
constexpr UINT ID_TOOLS_OPEN_ALL_UPDATED = 32800;

// Strings.
constexpr UINT IDS_APP_TITLE = IDR_MAINFRAME; // "Taluvo"
constexpr UINT IDS_NOT_WEB_ADDRESS = 61700; // the addresses a browser was not given, one a line

namespace taluvo::res {

// Puts the program's resource tables into the user-interface layer: menus, accelerators, strings,
// the toolbar, the dialog templates, icons, bitmaps and the sounds. Safe to call more than once.
void RegisterResources();

} // namespace taluvo::res
