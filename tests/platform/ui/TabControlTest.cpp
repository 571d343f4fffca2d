// The tab control, driven as a user would (clicks and keys through the test hooks): tabs laid out in
// rows to the control's width, the selected tab's row next to the display area, the notifications
// and a refused change, the display area, and one row without TCS_MULTILINE.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/TabControl.h"
#include "platform/ui/TestHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

namespace uitest = taluvo::ui::test;

class CTabParent : public CWindowImpl<CTabParent> {
public:
    std::vector<std::string> m_events;
    bool m_refuse = false;
    BEGIN_MSG_MAP(CTabParent)
    MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    END_MSG_MAP()
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        const int selected = CTabCtrl(header->hwndFrom).GetCurSel();
        if (header->code == TCN_SELCHANGING) {
            m_events.push_back("changing from " + std::to_string(selected));
            return m_refuse ? TRUE : FALSE;
        }
        if (header->code == TCN_SELCHANGE)
            m_events.push_back("change to " + std::to_string(selected));
        return 0;
    }
};

const char* const kTitles[] = { "Update alerts", "Error alerts", "Logging", "Connection", "Proxy settings",
    "Visual settings", "Web browser", "Default Interval", "SMTP Notifications", "Automation", "Miscellaneous" };
constexpr int kCount = 11;

class UiTabControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT r { 0, 0, 600, 400 };
        m_parent.Create(nullptr, &r, QStringLiteral("parent"), WS_POPUP | WS_VISIBLE);
    }
    void TearDown() override { m_parent.DestroyWindow(); }
    CTabCtrl Make(DWORD style, int width)
    {
        CTabCtrl tabs = CreateWindowEx(0, WC_TABCONTROL, nullptr, WS_CHILD | WS_VISIBLE | style, 10, 10, width, 300,
            m_parent, reinterpret_cast<HMENU>(static_cast<uintptr_t>(0x3020)), nullptr, nullptr);
        for (const char* title : kTitles)
            tabs.InsertItem(tabs.GetItemCount(), QString::fromLatin1(title));
        return tabs;
    }
    static RECT ItemRect(const CTabCtrl& tabs, int index)
    {
        RECT r {};
        EXPECT_TRUE(tabs.GetItemRect(index, &r)) << index;
        return r;
    }
    // The tabs of each row (by the row's top), left to right.
    static std::map<int, std::vector<int>> Rows(const CTabCtrl& tabs)
    {
        std::map<int, std::vector<int>> rows;
        for (int i = 0; i < tabs.GetItemCount(); ++i)
            rows[ItemRect(tabs, i).top].push_back(i);
        for (auto& [top, row] : rows)
            std::sort(
                row.begin(), row.end(), [&](int a, int b) { return ItemRect(tabs, a).left < ItemRect(tabs, b).left; });
        return rows;
    }
    CTabParent m_parent;
};

TEST_F(UiTabControlTest, MultiLineTabsFillRowsToTheWidthInTabOrder)
{
    for (const int width : { 280, 420, 560 }) {
        SCOPED_TRACE(width);
        CTabCtrl tabs = Make(TCS_MULTILINE, width);
        ASSERT_EQ(tabs.GetItemCount(), kCount);
        EXPECT_EQ(tabs.GetCurSel(), 0); // the first tab is selected once there is one
        const int rows = tabs.GetRowCount();
        EXPECT_GT(rows, 1);
        const auto byTop = Rows(tabs);
        ASSERT_EQ(static_cast<int>(byTop.size()), rows);
        // Every tab whole inside the control, none overlapping another; each row fills the width.
        int rowHeight = -1;
        for (const auto& [top, row] : byTop) {
            int x = 0;
            for (int i : row) {
                const RECT r = ItemRect(tabs, i);
                EXPECT_EQ(r.left, x) << "tab " << i;
                EXPECT_GT(r.right, r.left);
                EXPECT_GE(r.top, 0);
                if (rowHeight < 0)
                    rowHeight = r.bottom - r.top;
                EXPECT_EQ(r.bottom - r.top, rowHeight);
                x = r.right;
            }
            EXPECT_EQ(x, width) << "row at " << top << " is stretched to the width";
            // Tabs of one row follow each other in tab order.
            for (size_t k = 1; k < row.size(); ++k)
                EXPECT_EQ(row[k], row[k - 1] + 1);
        }
        // With the first tab selected the first row stands next to the display area, the later rows
        // above it in turn.
        std::vector<int> firstOfRowFromBottom;
        for (auto it = byTop.rbegin(); it != byTop.rend(); ++it)
            firstOfRowFromBottom.push_back(it->second.front());
        EXPECT_EQ(firstOfRowFromBottom.front(), 0);
        EXPECT_TRUE(std::is_sorted(firstOfRowFromBottom.begin(), firstOfRowFromBottom.end()));
        // The display area begins below the rows, inside the control.
        RECT display { 0, 0, width, 300 };
        tabs.AdjustRect(FALSE, &display);
        EXPECT_GE(display.top, rows * rowHeight - 4);
        EXPECT_GT(display.left, 0);
        EXPECT_LT(display.right, width);
        EXPECT_LT(display.bottom, 300);
        RECT window = display;
        tabs.AdjustRect(TRUE, &window);
        EXPECT_EQ(window.left, 0);
        EXPECT_EQ(window.top, 0);
        EXPECT_EQ(window.right, width);
        EXPECT_EQ(window.bottom, 300);
        tabs.DestroyWindow();
    }
    // Wider means fewer rows.
    CTabCtrl narrow = Make(TCS_MULTILINE, 280);
    CTabCtrl wide = Make(TCS_MULTILINE, 700);
    EXPECT_LT(wide.GetRowCount(), narrow.GetRowCount());
}

TEST_F(UiTabControlTest, ClickingATabOfAnotherRowBringsThatRowNextToThePage)
{
    CTabCtrl tabs = Make(TCS_MULTILINE, 300);
    ASSERT_GE(tabs.GetRowCount(), 3);
    const int bottom = ItemRect(tabs, 0).top; // the row next to the display area
    const std::vector<int> last = Rows(tabs).rbegin()->second;
    ASSERT_EQ(last.front(), 0);
    // The topmost row holds the last tabs: choose its last one.
    const RECT target = ItemRect(tabs, kCount - 1);
    ASSERT_LT(target.top, bottom);
    uitest::ClickAt(tabs, (target.left + target.right) / 2, (target.top + target.bottom) / 2);
    EXPECT_EQ(tabs.GetCurSel(), kCount - 1);
    EXPECT_EQ(m_parent.m_events, (std::vector<std::string> { "changing from 0", "change to 10" }));
    EXPECT_EQ(ItemRect(tabs, kCount - 1).top, bottom) << "the chosen tab's row moved next to the page";
    EXPECT_EQ(ItemRect(tabs, kCount - 1).right, 300);
    // The rows turned, keeping their order: the first row now stands right above the chosen one.
    const auto byTop = Rows(tabs);
    auto it = byTop.rbegin();
    EXPECT_EQ(it->second.back(), kCount - 1);
    ++it;
    EXPECT_EQ(it->second.front(), 0);
    // Every tab still whole inside the control's rows.
    for (int i = 0; i < kCount; ++i) {
        const RECT r = ItemRect(tabs, i);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.bottom, bottom + (r.bottom - r.top));
    }
    // The program's selection turns the rows back quietly.
    m_parent.m_events.clear();
    EXPECT_EQ(tabs.SetCurSel(0), kCount - 1);
    EXPECT_EQ(ItemRect(tabs, 0).top, bottom);
    EXPECT_EQ(tabs.SetCurSel(kCount), -1);
    EXPECT_TRUE(m_parent.m_events.empty());
}

TEST_F(UiTabControlTest, ParentMayRefuseAChangeAndKeysMoveTheSelection)
{
    CTabCtrl tabs = Make(TCS_MULTILINE, 400);
    const RECT second = ItemRect(tabs, 1);
    m_parent.m_refuse = true;
    uitest::ClickAt(tabs, (second.left + second.right) / 2, (second.top + second.bottom) / 2);
    EXPECT_EQ(tabs.GetCurSel(), 0);
    EXPECT_EQ(m_parent.m_events, (std::vector<std::string> { "changing from 0" }));
    m_parent.m_refuse = false;
    m_parent.m_events.clear();
    // A click on the selected tab or beside the tabs changes nothing.
    const RECT first = ItemRect(tabs, 0);
    uitest::ClickAt(tabs, (first.left + first.right) / 2, (first.top + first.bottom) / 2);
    uitest::ClickAt(tabs, 200, 250);
    TCHITTESTINFO hit;
    hit.pt = POINT { 200, 250 };
    EXPECT_EQ(tabs.HitTest(&hit), -1);
    EXPECT_EQ(hit.flags, TCHT_NOWHERE);
    hit.pt = POINT { (second.left + second.right) / 2, second.top + 2 };
    EXPECT_EQ(tabs.HitTest(&hit), 1);
    EXPECT_EQ(hit.flags, TCHT_ONITEM);
    EXPECT_TRUE(m_parent.m_events.empty());
    // With the focus, the arrows and End move along the tabs with the same notifications.
    tabs.SetFocus();
    uitest::PressKey(tabs, VK_RIGHT);
    uitest::PressKey(tabs, VK_END);
    uitest::PressKey(tabs, VK_RIGHT); // past the last: nothing
    EXPECT_EQ(tabs.GetCurSel(), kCount - 1);
    EXPECT_EQ(m_parent.m_events,
        (std::vector<std::string> { "changing from 0", "change to 1", "changing from 1", "change to 10" }));
}

TEST_F(UiTabControlTest, ItemsKeepTextsAndDataAndSingleLineStaysInOneRow)
{
    CTabCtrl tabs = Make(0, 300);
    EXPECT_EQ(tabs.GetRowCount(), 1);
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(ItemRect(tabs, i).top, 0);
    EXPECT_GT(ItemRect(tabs, kCount - 1).right, 300) << "one row runs past the edge";
    // Texts and item data read back; inserting before the selection keeps the same tab selected.
    TCITEM item;
    item.mask = TCIF_PARAM;
    item.lParam = 77;
    EXPECT_TRUE(tabs.SendMessage(TCM_SETITEM, 2, reinterpret_cast<LPARAM>(&item)));
    tabs.SetCurSel(2);
    EXPECT_EQ(tabs.InsertItem(0, QStringLiteral("First")), 0);
    EXPECT_EQ(tabs.GetCurSel(), 3);
    char16_t text[16] = {};
    TCITEM read;
    read.mask = TCIF_TEXT | TCIF_PARAM;
    read.pszText = text;
    read.cchTextMax = 16;
    EXPECT_TRUE(tabs.SendMessage(TCM_GETITEM, 3, reinterpret_cast<LPARAM>(&read)));
    EXPECT_EQ(QString::fromUtf16(text), QStringLiteral("Logging"));
    EXPECT_EQ(read.lParam, 77);
    EXPECT_FALSE(tabs.SendMessage(TCM_GETITEM, 99, reinterpret_cast<LPARAM>(&read)));
    EXPECT_TRUE(tabs.SendMessage(TCM_DELETEITEM, 3));
    EXPECT_EQ(tabs.GetCurSel(), -1);
    EXPECT_EQ(tabs.GetItemCount(), kCount);
    EXPECT_TRUE(tabs.SendMessage(TCM_DELETEALLITEMS));
    EXPECT_EQ(tabs.GetItemCount(), 0);
    RECT none;
    EXPECT_FALSE(tabs.GetItemRect(0, &none));
}

} // namespace
