// The list box: owner-drawn rows measured, drawn and deleted by the parent with their item data;
// the user's clicks and keys moving the selection with LBN_SELCHANGE and LBN_DBLCLK, the program's
// LB_SETCURSEL staying silent; scrolling a long list into view; the selected row's highlight as
// the window shows it.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/TestHooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace uitest = taluvo::ui::test;

constexpr int kListId = 1031;

COLORREF ColourOf(ULONG_PTR data)
{
    return RGB(static_cast<BYTE>(40 * data), 0, static_cast<BYTE>(255 - 40 * data));
}

// A parent that measures its owner-drawn rows by their data (ten pixels per unit), paints each in
// a colour of its own, and writes down what it is told.
class COwner : public CWindowImpl<COwner> {
public:
    std::vector<std::string> m_events;
    BEGIN_MSG_MAP(COwner)
    MESSAGE_HANDLER(WM_MEASUREITEM, OnMeasureItem)
    MESSAGE_HANDLER(WM_DRAWITEM, OnDrawItem)
    MESSAGE_HANDLER(WM_DELETEITEM, OnDeleteItem)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()
    LRESULT OnMeasureItem(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        auto* measure = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
        EXPECT_EQ(measure->CtlType, ODT_LISTBOX);
        EXPECT_EQ(measure->CtlID, static_cast<UINT>(kListId));
        m_events.push_back("measure " + std::to_string(measure->itemID) + " data " + std::to_string(measure->itemData));
        measure->itemHeight = static_cast<UINT>(10 * measure->itemData);
        return TRUE;
    }
    LRESULT OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        auto* draw = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        m_events.push_back("draw " + std::to_string(draw->itemID) + " at " + std::to_string(draw->rcItem.top) + "-"
            + std::to_string(draw->rcItem.bottom) + ((draw->itemState & ODS_SELECTED) ? " selected" : ""));
        HBRUSH brush = CreateSolidBrush(ColourOf(draw->itemData));
        FillRect(draw->hDC, &draw->rcItem, brush);
        DeleteObject(brush);
        return TRUE;
    }
    LRESULT OnDeleteItem(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        auto* deleted = reinterpret_cast<LPDELETEITEMSTRUCT>(lParam);
        m_events.push_back("delete " + std::to_string(deleted->itemID) + " data " + std::to_string(deleted->itemData));
        return TRUE;
    }
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        m_events.push_back(std::string(HIWORD(wParam) == LBN_SELCHANGE ? "selchange" : "dblclk"));
        return 0;
    }
};

class UiListBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT rect { 0, 0, 300, 240 };
        ASSERT_TRUE(owner.Create(nullptr, &rect, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    }
    void TearDown() override
    {
        if (owner.IsWindow())
            owner.DestroyWindow();
    }
    CListBox MakeList(DWORD style, int height)
    {
        return CreateWindowEx(0, u"ListBox", u"", WS_CHILD | WS_VISIBLE | LBS_NOTIFY | WS_VSCROLL | style, 10, 10, 200,
            height, owner, reinterpret_cast<HMENU>(static_cast<intptr_t>(kListId)), nullptr, nullptr);
    }
    std::vector<std::string> Take()
    {
        std::vector<std::string> events;
        events.swap(owner.m_events);
        return events;
    }
    COwner owner;
};

TEST_F(UiListBox, OwnerDrawnRowsAreMeasuredDrawnAndDeletedByTheParent)
{
    CListBox list = MakeList(LBS_OWNERDRAWVARIABLE, 200);
    ASSERT_TRUE(list.m_hWnd);
    EXPECT_EQ(list.AddItem(1), 0);
    EXPECT_EQ(list.AddItem(2), 1);
    EXPECT_EQ(list.AddItem(3), 2);
    EXPECT_EQ(list.InsertItem(1, 4), 1);
    EXPECT_EQ(Take(),
        (std::vector<std::string> { "measure 0 data 1", "measure 1 data 2", "measure 2 data 3", "measure 1 data 4" }));
    std::vector<DWORD_PTR> data;
    std::vector<LONG> tops;
    for (int i = 0; i < list.GetCount(); ++i) {
        data.push_back(list.GetItemData(i));
        RECT rect {};
        EXPECT_EQ(list.GetItemRect(i, &rect), LB_OKAY);
        tops.push_back(rect.top);
        EXPECT_EQ(list.GetItemHeight(i), static_cast<int>(10 * data.back()));
    }
    EXPECT_EQ(data, (std::vector<DWORD_PTR> { 1, 4, 2, 3 }));
    EXPECT_EQ(tops, (std::vector<LONG> { 0, 10, 50, 70 }));

    // The program's selection is silent; the row is drawn selected, in the parent's colours.
    EXPECT_EQ(list.SetCurSel(2), 2);
    HDC dc = GetDC(list);
    EXPECT_EQ(GetPixel(dc, 100, 55), ColourOf(2));
    EXPECT_EQ(GetPixel(dc, 100, 30), ColourOf(4));
    ReleaseDC(list, dc);
    EXPECT_EQ(Take(),
        (std::vector<std::string> {
            "draw 0 at 0-10", "draw 1 at 10-50", "draw 2 at 50-70 selected", "draw 3 at 70-100" }));

    // Rows going tell the parent with their data; the selection follows its row.
    EXPECT_EQ(list.DeleteString(1), 3);
    EXPECT_EQ(list.GetCurSel(), 1);
    EXPECT_EQ(list.DeleteString(7), LB_ERR);
    list.ResetContent();
    EXPECT_EQ(list.GetCurSel(), LB_ERR);
    EXPECT_EQ(Take(),
        (std::vector<std::string> { "delete 1 data 4", "delete 0 data 1", "delete 1 data 2", "delete 2 data 3" }));
}

TEST_F(UiListBox, TheUsersClicksAndKeysSelectAndNotifyTheProgramsSelectionDoesNot)
{
    CListBox list = MakeList(LBS_SORT | LBS_HASSTRINGS, 100);
    for (const char* name : { "delta", "Alpha", "charlie", "bravo" })
        list.AddString(QString::fromLatin1(name));
    EXPECT_EQ(list.GetText(0), QStringLiteral("Alpha"));
    EXPECT_EQ(list.GetText(3), QStringLiteral("delta"));
    const int height = list.GetItemHeight(0);
    ASSERT_GT(height, 5);

    uitest::ClickAt(list, 20, height * 2 + 2);
    EXPECT_EQ(list.GetCurSel(), 2);
    uitest::ClickAt(list, 20, height * 2 + 2); // the same row again: nothing changes
    uitest::PressKey(list, VK_DOWN);
    uitest::PressKey(list, VK_DOWN); // at the end already
    uitest::PressKey(list, VK_HOME);
    uitest::DoubleClickAt(list, 20, height + 2);
    uitest::ClickAt(list, 20, height * 4 + 5); // below the last row
    EXPECT_EQ(list.GetCurSel(), 1);
    list.SetCurSel(0);
    EXPECT_EQ(Take(), (std::vector<std::string> { "selchange", "selchange", "selchange", "selchange", "dblclk" }));

    BOOL outside = TRUE;
    EXPECT_EQ(list.ItemFromPoint(POINT { 20, height * 3 + 1 }, outside), 3u);
    EXPECT_FALSE(outside);
    EXPECT_EQ(list.ItemFromPoint(POINT { 20, height * 9 }, outside), 3u);
    EXPECT_TRUE(outside);
}

TEST_F(UiListBox, ALongListScrollsTheSelectionIntoView)
{
    CListBox list = MakeList(LBS_HASSTRINGS, 100);
    for (int i = 0; i < 40; ++i)
        list.AddString(QStringLiteral("row %1").arg(i));
    const int height = list.GetItemHeight(0);
    uitest::PressKey(list, VK_END);
    EXPECT_EQ(list.GetCurSel(), 39);
    EXPECT_GT(list.GetTopIndex(), 0);
    RECT last {};
    list.GetItemRect(39, &last);
    EXPECT_LE(last.bottom, 100) << "the last row is in view";
    uitest::PressKey(list, VK_PRIOR);
    EXPECT_LT(list.GetCurSel(), 39);
    uitest::PressKey(list, VK_HOME);
    EXPECT_EQ(list.GetTopIndex(), 0);
    SendMessage(list, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(list.GetTopIndex(), 3) << "a wheel step scrolls three rows";
    EXPECT_EQ(list.GetCurSel(), 0) << "scrolling keeps the selection";

    // The selected row shows the highlight, the others the window's colour.
    list.SetCurSel(4);
    HDC dc = GetDC(list);
    RECT row {};
    list.GetItemRect(4, &row);
    EXPECT_EQ(GetPixel(dc, 150, (row.top + row.bottom) / 2), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(dc, 150, row.bottom + height / 2 + 1), GetSysColor(COLOR_WINDOW));
    ReleaseDC(list, dc);
}

} // namespace
