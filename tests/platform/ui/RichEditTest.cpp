// The rich edit subset on a page of five megabytes: the text kept as given, searches, colouring a
// start and a stop range as the content-selection dialog does, the colours read back and shown,
// lines and scrolling, the selected text in the ANSI code page.
#include "tests/platform/ui/RichEditPage.h"
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/AtlWin.h"
#include "platform/ui/Gdi.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>

#include <cstring>

using namespace taluvo::test::richedit;

namespace {

class UiRichEdit : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT rect { 0, 0, 500, 300 };
        ASSERT_TRUE(owner.Create(nullptr, &rect, QStringLiteral("rich"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
        edit = CreateWindowEx(0, RICHEDIT_CLASS, u"",
            WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL, 0, 0, 480, 280, owner,
            nullptr, nullptr, nullptr);
        ASSERT_TRUE(edit);
    }
    COLORREF ColourAt(LONG position)
    {
        CHARRANGE at { position, position + 1 };
        SendMessage(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
        CHARFORMAT format;
        SendMessage(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return (format.dwEffects & CFE_AUTOCOLOR) ? RGB(0, 0, 0) : format.crTextColor;
    }
    CHolder owner;
    HWND edit = nullptr;
};

TEST_F(UiRichEdit, LargePageIsSearchedColouredAndScrolled)
{
    const QString page = MakePage(5 * 1024 * 1024);
    ASSERT_TRUE(SetWindowText(edit, page));
    ASSERT_EQ(GetWindowTextLength(edit), page.size()) << "the text is kept as given, line ends included";

    const LONG start = Find(edit, kStart, 0);
    ASSERT_EQ(start, page.indexOf(kStart));
    const LONG afterStart = start + LONG(kStart.size());
    const LONG stop = Find(edit, kStop, afterStart);
    ASSERT_EQ(stop, page.indexOf(kStop));
    EXPECT_EQ(Find(edit, kStart.toLower(), 0), -1) << "case matters";
    EXPECT_EQ(Find(edit, kStart, afterStart), -1) << "searched from the given position on";
    FINDTEXTEX within;
    const QByteArray stopText = kStop.toUtf8();
    within.chrg = CHARRANGE { 0, stop };
    within.lpstrText = stopText.constData();
    EXPECT_EQ(SendMessage(edit, EM_FINDTEXTEX, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&within)), -1)
        << "the range's end bounds the search";

    // Colour as the dialog does: black, then the watched part blue, the start green, the stop red.
    CHARRANGE caret { 7, 7 };
    SendMessage(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    ColourRange(edit, 0, -1, RGB(0, 0, 0));
    ColourRange(edit, start, stop, RGB(0, 0, 255));
    ColourRange(edit, start, afterStart, RGB(0, 255, 0));
    ColourRange(edit, stop, stop + LONG(kStop.size()), RGB(255, 0, 0));
    CHARRANGE kept;
    SendMessage(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    EXPECT_EQ(kept.cpMin, 7);
    EXPECT_EQ(kept.cpMax, 7) << "the selection comes back after each colouring";
    EXPECT_EQ(ColourAt(start - 1), RGB(0, 0, 0));
    EXPECT_EQ(ColourAt(start), RGB(0, 255, 0));
    EXPECT_EQ(ColourAt(afterStart - 1), RGB(0, 255, 0));
    EXPECT_EQ(ColourAt(afterStart), RGB(0, 0, 255));
    EXPECT_EQ(ColourAt(stop - 1), RGB(0, 0, 255));
    EXPECT_EQ(ColourAt(stop), RGB(255, 0, 0));
    EXPECT_EQ(ColourAt(stop + LONG(kStop.size())), RGB(0, 0, 0));

    // The start's line is scrolled to the top, and shows green.
    const LONG line = LONG(SendMessage(edit, EM_EXLINEFROMCHAR, 0, start));
    EXPECT_EQ(line, page.left(start).count(QStringLiteral("\r\n")));
    const LONG first = LONG(SendMessage(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_EQ(first, 0);
    SendMessage(edit, EM_LINESCROLL, 0, line - first);
    EXPECT_EQ(SendMessage(edit, EM_GETFIRSTVISIBLELINE, 0, 0), line);
    RECT area {};
    SendMessage(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    EXPECT_GT(area.bottom - area.top, 100);
    QCoreApplication::processEvents();
    HDC dc = GetDC(edit);
    const QImage shown = taluvo::ui::ImageOfDc(dc);
    ReleaseDC(edit, dc);
    int green = 0, blue = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb p = shown.pixel(x, y);
            green += qGreen(p) > 150 && qRed(p) < 100 && qBlue(p) < 100;
            blue += qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100;
        }
    EXPECT_GT(green, 20) << "the start text shows green";
    EXPECT_GT(blue, 20) << "the watched part below it shows blue";
}

TEST_F(UiRichEdit, SelectedTextAndFormatsAreTheOriginals)
{
    const QString text = QStringLiteral("caf\u00e9 one\r\ntwo\tthree\r\n");
    SetWindowText(edit, text);
    CHARRANGE range { 2, 11 }; // "fé one\r\nt"
    SendMessage(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    char buffer[64] = {};
    const LRESULT length = SendMessage(edit, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer));
    EXPECT_EQ(QString::fromUtf8(buffer, int(length)), text.mid(2, 9));
    EXPECT_EQ(SendMessage(edit, EM_EXLINEFROMCHAR, 0, 10), 1) << "after the line break";
    EXPECT_EQ(SendMessage(edit, EM_EXLINEFROMCHAR, 0, 8), 0) << "on the first line";

    PARAFORMAT tabs;
    tabs.dwMask = PFM_TABSTOPS | PFM_ALIGNMENT;
    tabs.wAlignment = PFA_LEFT;
    tabs.cTabCount = MAX_TAB_STOPS;
    for (int i = 0; i < MAX_TAB_STOPS; ++i)
        tabs.rgxTabs[i] = (i + 1) * 288;
    EXPECT_TRUE(SendMessage(edit, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&tabs)));
    CHARFORMAT font;
    font.dwMask = CFM_FACE | CFM_SIZE;
    font.yHeight = 200;
    std::strcpy(font.szFaceName, "Courier New");
    EXPECT_TRUE(SendMessage(edit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&font)));
    CHARFORMAT read;
    SendMessage(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&read));
    EXPECT_EQ(read.yHeight, 200);
    EXPECT_STREQ(read.szFaceName, "Courier New");
    EXPECT_TRUE(read.dwEffects & CFE_AUTOCOLOR) << "nothing coloured yet";
    CHARFORMAT tooSmall;
    tooSmall.cbSize = 8;
    EXPECT_EQ(SendMessage(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&tooSmall)), 0);
}

} // namespace
