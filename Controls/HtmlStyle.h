// The style record of the HTML renderer: everything one text run, rule, image or table cell is
// drawn with. The renderer keeps the current style, pushes copies of it for open tags and makes
// local copies for rules and table cells, so the record is a plain value.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

struct SHtmlStyle {
    QString m_strTag; // style name of the tag that pushed this copy
    int m_nSize = 16; // font cell height in pixels
    int m_nWeight = 400; // 400 normal, 700 bold
    BOOL m_bItalic = FALSE;
    BOOL m_bUnderline = FALSE;
    BOOL m_bStrikeOut = FALSE;
    BOOL m_bOverline = FALSE; // drawn by hand along the top of each run
    QString m_strFace = QStringLiteral("Verdana");
    COLORREF m_clrText = RGB(0, 0, 0); // also a horizontal rule's default colour
    COLORREF m_clrBk = RGB(255, 255, 255); // opaque text background; begin colour of a fill
    COLORREF m_clrBorderLight = RGB(0, 0, 0);
    COLORREF m_clrBorderDark = RGB(0, 0, 0);
    COLORREF m_clrBkMid = RGB(255, 255, 255);
    COLORREF m_clrBkEnd = RGB(255, 255, 255);
    int m_nBkMode = 1; // 1 transparent, 2 opaque
    int m_nFillEffect = -1; // fill effect of a table or cell, -1 none
    QString m_strBkImage; // background image of a table
    int m_nAlign = 0; // 0 left, 1 centre, 2 right, 3 justify
    int m_nVAlign = 3; // 0 top, 1 middle, 2 bottom, 3 baseline
    int m_nBorderStyle = 0; // 0 none, 1 solid, 2 dashed, 3 dotted, 6 double
    int m_nBorderWidth = 0; // also the thickness of a horizontal rule
    int m_nWidth = 0; // table or cell width attribute; kept by a reset
    int m_nHeight = 0; // table or cell height attribute; kept by a reset
    int m_nTextTransform = 0; // 0 none, 1 upper, 2 lower, 3 capitalised
    int m_nMargin = 2; // cell frame to content
    int m_nPadding = 0; // table frame to cells and between cells
    int m_nLinkType = 0; // 0 none, 1 href, 2 msg
    QString m_strLink; // the anchor's address or message text

    bool operator==(const SHtmlStyle&) const = default;
};
