// The rich edit control (window class "RICHEDIT"), in the subset the content-selection dialog uses:
// a read-only, unwrapped page of text in a fixed-width font whose character ranges are coloured,
// searched, selected and scrolled. Its structures are the ANSI forms: texts that go in and out
// through them (a search text, the selected text) are in the ANSI code page of the project (UTF-8
// with escaped bytes, see platform/base/TextCodec.h).
//
// Character positions count UTF-16 code units of the text; a line break counts as one ("\r\n" in
// the text set becomes one break). Colours are applied to the ranges lazily (only the lines on the
// screen are formatted), so colouring a page of several megabytes costs no more than a short one.
#pragma once

#include "platform/ui/WinUser.h"

#include <QString>

inline const char16_t* const RICHEDIT_CLASS = u"RICHEDIT";

struct CHARRANGE {
    LONG cpMin = 0;
    LONG cpMax = 0; // -1: to the end
};

constexpr int LF_FACESIZE_RICHEDIT = 32;
struct CHARFORMAT {
    UINT cbSize = sizeof(CHARFORMAT);
    DWORD dwMask = 0;
    DWORD dwEffects = 0;
    LONG yHeight = 0; // twips
    LONG yOffset = 0;
    COLORREF crTextColor = 0;
    BYTE bCharSet = 0;
    BYTE bPitchAndFamily = 0;
    char szFaceName[LF_FACESIZE_RICHEDIT] = {};
};
constexpr DWORD CFM_BOLD = 0x00000001;
constexpr DWORD CFM_ITALIC = 0x00000002;
constexpr DWORD CFM_SIZE = 0x80000000;
constexpr DWORD CFM_COLOR = 0x40000000;
constexpr DWORD CFM_FACE = 0x20000000;
constexpr DWORD CFM_CHARSET = 0x08000000;
constexpr DWORD CFE_BOLD = 0x00000001;
constexpr DWORD CFE_AUTOCOLOR = 0x40000000;
constexpr WPARAM SCF_DEFAULT = 0x0000;
constexpr WPARAM SCF_SELECTION = 0x0001;
constexpr WPARAM SCF_ALL = 0x0004;

constexpr int MAX_TAB_STOPS = 32;
struct PARAFORMAT {
    UINT cbSize = sizeof(PARAFORMAT);
    DWORD dwMask = 0;
    WORD wNumbering = 0;
    WORD wReserved = 0;
    LONG dxStartIndent = 0;
    LONG dxRightIndent = 0;
    LONG dxOffset = 0;
    WORD wAlignment = 0;
    SHORT cTabCount = 0;
    LONG rgxTabs[MAX_TAB_STOPS] = {}; // twips
};
constexpr DWORD PFM_TABSTOPS = 0x00000010;
constexpr DWORD PFM_ALIGNMENT = 0x00000008;
constexpr WORD PFA_LEFT = 1;

struct FINDTEXTEX {
    CHARRANGE chrg;
    const char* lpstrText = nullptr; // ANSI code page
    CHARRANGE chrgText; // where it was found
};
constexpr WPARAM FR_DOWN = 0x00000001;
constexpr WPARAM FR_MATCHCASE = 0x00000004;

constexpr UINT EM_GETRECT = 0x00B2;
constexpr UINT EM_EXGETSEL = WM_USER + 52;
constexpr UINT EM_EXLINEFROMCHAR = WM_USER + 54;
constexpr UINT EM_EXSETSEL = WM_USER + 55;
constexpr UINT EM_GETCHARFORMAT = WM_USER + 58;
constexpr UINT EM_GETSELTEXT = WM_USER + 62;
constexpr UINT EM_SETCHARFORMAT = WM_USER + 68;
constexpr UINT EM_SETPARAFORMAT = WM_USER + 71;
constexpr UINT EM_FINDTEXTEX = WM_USER + 79;
