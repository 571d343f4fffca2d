// The clipboard as the program uses it: movable memory blocks (GlobalAlloc) handed to the
// clipboard under a format. CF_TEXT blocks hold "ANSI" text (the project codec, so any bytes
// survive), CF_UNICODETEXT blocks UTF-16; both are the desktop clipboard's text. The clipboard
// belongs to the user-interface thread: OpenClipboard fails on any other thread.
#pragma once

#include "platform/ui/UserApi.h"

#include <QString>

#include <cstddef>

using HGLOBAL = HANDLE;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Blocks of any thread; a stale handle fails.
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block); // null on success, the block on failure

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_OEMTEXT = 7;
constexpr UINT CF_UNICODETEXT = 13;

// One opener at a time; FALSE while another window holds it open.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// Takes the block (the clipboard frees it) and makes its text the clipboard's text at once.
// Null on failure (clipboard not open, unknown format, bad block); the caller keeps the block then.
HANDLE SetClipboardData(UINT format, HANDLE block);
// A block the clipboard owns, valid until the clipboard is closed; null when there is no text.
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);

namespace taluvo::ui {

// The clipboard's text in one call (opens and closes it); for the program's own short uses.
bool SetClipboardText(const QString& text);
QString ClipboardText();

} // namespace taluvo::ui
