// The HTML renderer's vocabulary and the records its layout passes fill: tag ids, the tag table's
// entry, image-tag attributes, lines, tables, link areas and animated strips, and the renderer's
// two window messages.
#pragma once

#include "platform/ui/WinUser.h"

#include <QString>

#include <vector>

// Kinds of tags; 0 is a name the tag table does not hold.
enum {
    TAG_NONE = 0,
    TAG_BOLD = 1,
    TAG_ITALIC = 2,
    TAG_UNDERLINE = 3,
    TAG_STRIKEOUT = 4,
    TAG_FONT = 5,
    TAG_HR = 6,
    TAG_BR = 7,
    TAG_TAB = 8,
    TAG_LEFT = 9,
    TAG_CENTER = 10,
    TAG_RIGHT = 11,
    TAG_JUSTIFY = 12,
    TAG_BASELINE = 13,
    TAG_TOP = 14,
    TAG_VCENTER = 15,
    TAG_BOTTOM = 16,
    TAG_BMP = 17,
    TAG_ICON = 18,
    TAG_ILST = 19,
    TAG_STRING = 20,
    TAG_STYLE = 21,
    TAG_SPAN = 22,
    TAG_LINK = 23,
};

// wParam: the hovered link id, -2 when the mouse left all links.
constexpr UINT WM_HTML_REPAINT = WM_USER + 101;
// wParam: the clicked msg link's text (NUL-terminated UTF-16, valid during the call).
constexpr UINT WM_TOOLTIP_HYPERLINK = WM_APP + 0x110;

// One entry of the tag table.
struct SHtmlTag {
    int nId = TAG_NONE;
    QString strStyle; // what an opening tag records in the style and its closing tag must match
};

// The attributes of one image tag. There is deliberately no library name: markup never makes the
// renderer load code, so "iddll" resources come only from the resource module its owner set.
struct SHtmlImage {
    int nIndex = 0;
    int nIdRes = 0;
    int nIdDll = 0;
    int hHandle = 0; // an icon or bitmap handle written into the markup as a number
    int cx = 0;
    int cy = 0;
    int nWidth = 100;
    int nHeight = 100;
    int nSpeed = 0;
    UINT nStyle = 0;
    UINT nHotStyle = 0;
    BOOL bUseMask = FALSE;
    BOOL bWidthPercent = TRUE;
    BOOL bHeightPercent = TRUE;
    COLORREF clrMask = RGB(255, 0, 255);
    QString strFile;
};

// One laid-out line: written by the measure pass, read back by the draw pass.
struct SHtmlLine {
    int nWidth = 0;
    int nHeight = 0;
    int nDescent = 0;
    int nWidthPercent = 0;
    int nAlign = 0;
    int nSpaces = 0;
    int bWrapped = 0;
};

struct SHtmlTableCell {
    int m_nColSpan = 0; // -1 covered by another cell's span, 0 reached by no cell
    int m_nRowSpan = 0;
    int m_nContentWidth = 0;
    int m_nContentHeight = 0;
    int m_nNeededWidth = 0;
    int m_nNeededHeight = 0;
    int m_bFixedWidth = 0;
};

struct SHtmlTable {
    std::vector<std::vector<SHtmlTableCell>> m_rows;
    std::vector<int> m_colWidths;
    std::vector<int> m_rowHeights;
    std::vector<int> m_colFixed;
};

struct SHtmlLinkArea {
    RECT rc;
    int nType = 0; // 1 href, 2 msg
    int nId = 0;
    QString strLink;
};

// What one image tag took in the measure pass, for the draw pass to place it without loading it.
struct SHtmlImageBox {
    bool placed = false; // false: the tag took no space
    bool animated = false; // an animated strip, which owns an animation record
    int w = 0;
    int h = 0;
};

struct SHtmlAnimation {
    int nFrame = 0;
    int nFrames = 0;
    int nTick = 0;
    int nSpeed = 0;
};

// The widest grid a table of the markup gets: hostile markup may ask for any colspan.
constexpr int kHtmlMaxTableColumns = 1000;
// The most rows, and the most places of one grid: a page may hold any number of "tr" tags.
constexpr int kHtmlMaxTableRows = 1000;
constexpr int kHtmlMaxTableCells = 100000;
// Tables nested deeper than this take no space and draw nothing: each level costs a scan of its
// text and a few stack frames, so hostile nesting must stop somewhere.
constexpr int kHtmlMaxTableDepth = 32;
// The largest picture side, rule thickness, font height and line-break count the markup may ask
// for: beyond them a single tag would make the drawing allocate or loop without end.
constexpr int kHtmlMaxImageSide = 4096;
constexpr int kHtmlMaxRuleThickness = 256;
constexpr int kHtmlMaxFontSize = 1024;
constexpr int kHtmlMaxBreakCount = 1000;
// The largest size a markup measures: owners make bitmaps and windows of it.
constexpr int kHtmlMaxExtent = 16384;
// The pixels the pictures of one markup may cover in all (a 1024 x 1024 picture, or many small
// ones); pictures beyond it take no space.
constexpr qint64 kHtmlMaxImagePixels = 1 << 20;
// The longest picture file markup may name.
constexpr qint64 kHtmlMaxImageFileBytes = 4 << 20;
