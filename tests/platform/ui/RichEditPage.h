// A page of several megabytes for the rich edit: table rows with CRLF line ends, a start text near
// the first fifth and a stop text near the end, each once. Shared by the test and the benchmark.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/RichEdit.h"
#include "platform/ui/UserApi.h"

#include <QString>

namespace taluvo::test::richedit {

inline const QString kStart = QStringLiteral("START-OF-PRICES");
inline const QString kStop = QStringLiteral("END-OF-PRICES");

// A plain window to hold the control.
class CHolder : public CWindowImpl<CHolder> {
public:
    // NOLINTNEXTLINE(bugprone-branch-clone): an empty map passes every message on, its own case as the default
    BEGIN_MSG_MAP(CHolder)
    END_MSG_MAP()
    ~CHolder() override
    {
        if (IsWindow())
            DestroyWindow();
    }
};

inline QString MakePage(int bytes)
{
    QString page;
    page.reserve(bytes + 200);
    bool stopped = false;
    for (int row = 0; page.size() < bytes; ++row) {
        if (row == 2000)
            page += kStart + QStringLiteral("\r\n");
        if (page.size() > bytes * 4 / 5 && !stopped) {
            page += kStop + QStringLiteral("\r\n");
            stopped = true;
        }
        page += QStringLiteral("<tr><td>row %1</td>\t<td>price %2.%3</td>\t<td>in stock</td></tr>\r\n")
                    .arg(row)
                    .arg(row % 997)
                    .arg(row % 100, 2, 10, QLatin1Char('0'));
    }
    return page;
}

// The dialog's colouring: the selection kept, a range selected and coloured, the selection restored.
inline void ColourRange(HWND edit, LONG from, LONG to, COLORREF color)
{
    CHARRANGE kept;
    SendMessage(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    CHARRANGE range { from, to };
    SendMessage(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT format;
    SendMessage(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    format.dwMask = CFM_COLOR;
    format.dwEffects = 0;
    format.crTextColor = color;
    SendMessage(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessage(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
}

inline LONG Find(HWND edit, const QString& text, LONG from)
{
    const QByteArray ansi = text.toUtf8();
    FINDTEXTEX find;
    find.chrg = CHARRANGE { from, -1 };
    find.lpstrText = ansi.constData();
    return LONG(SendMessage(edit, EM_FINDTEXTEX, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&find)));
}

} // namespace taluvo::test::richedit
