// The property grid on a real X server: its rows as the user sees them kept as a screenshot, the
// sizing cursor over the column border under the pointer (moved with xdotool), and the border
// dragged with the real mouse.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "Controls/PropertyGrid.h"
#include "platform/ui/Cursor.h"

#include <gtest/gtest.h>

#include <string>

using namespace taluvo::test::x11;

namespace {

constexpr int kGridId = 1031;

class CShownItem : public IPropertyItem {
public:
    CShownItem(const char* name, const char* value, BYTE kind = PROPKIND_SIMPLE)
        : m_name(QString::fromUtf8(name))
        , m_value(QString::fromUtf8(value))
        , m_kind(kind)
    {
    }
    ~CShownItem() override
    {
        for (IPropertyItem* child : m_children)
            delete child;
    }
    BYTE GetKind() const override { return m_kind; }
    QString GetName() const override { return m_name; }
    QString GetDisplayValue() const override { return m_value; }
    BOOL CanEdit() const override { return m_kind != PROPKIND_CATEGORY; }
    HWND CreateEditor(HWND, const RECT&) override { return nullptr; }
    BOOL Activate(UINT, LPARAM) override { return TRUE; }
    BOOL TakeValue(HWND) override { return FALSE; }
    BOOL TakeValue(const QString&) override { return FALSE; }
    std::vector<IPropertyItem*> TakeChildren() override
    {
        std::vector<IPropertyItem*> children;
        children.swap(m_children);
        return children;
    }
    void KeepChildren(std::vector<IPropertyItem*> children) override { m_children = std::move(children); }

    QString m_name;
    QString m_value;
    BYTE m_kind;
    std::vector<IPropertyItem*> m_children;
};

class CGridWindow : public CWindowImpl<CGridWindow> {
public:
    BEGIN_MSG_MAP(CGridWindow)
    REFLECT_NOTIFICATIONS()
    END_MSG_MAP()
};

bool MoveTo(POINT screen)
{
    return RunXdotool({ "mousemove", std::to_string(screen.x), std::to_string(screen.y) }) == 0;
}

TEST(PropertyGridOnScreen, RowsCursorAndBorderDragAsTheUserMeetsThem)
{
    taluvo::test::EnsureUiApplication();
    ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
    CGridWindow window;
    RECT rect { 200, 150, 560, 390 };
    ASSERT_TRUE(window.Create(nullptr, &rect, QStringLiteral("Properties"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    HWND list = CreateWindowEx(0, u"ListBox", nullptr, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWVARIABLE | LBS_NOTIFY, 0, 0,
        360, 240, window, reinterpret_cast<HMENU>(static_cast<intptr_t>(kGridId)), nullptr, nullptr);
    CPropertyGridCtrl grid;
    grid.SetExtendedGridStyle(PGS_EX_CATEGORYCOLUMN | PGS_EX_FILLCATEGORY);
    ASSERT_TRUE(grid.SubclassWindow(list));
    auto* general = new CShownItem("General", "", PROPKIND_CATEGORY);
    general->m_children = { new CShownItem("Title", "Daily news"), new CShownItem("Interval", "30 minutes") };
    grid.AddItem(general);
    grid.AddItem(new CShownItem("Enabled", "yes", PROPKIND_BOOL));
    SendMessage(grid, WM_PROP_EXPAND, 0, reinterpret_cast<LPARAM>(general));
    grid.SetCurSel(1);
    ASSERT_TRUE(WaitOnScreen(window));

    POINT origin { 0, 0 };
    ClientToScreen(grid, &origin);
    const int border = 16 + grid.GetColumnWidth();
    // The selected row's highlight on the screen tells that the rows are drawn.
    RECT selected {};
    CListBox(grid).GetItemRect(1, &selected);
    ASSERT_TRUE(WaitForScreen([&](const QImage& shot) {
        return ScreenColor(shot, origin.x + 30, origin.y + selected.top + 2) == GetSysColor(COLOR_HIGHLIGHT);
    }));
    SaveArtefact(Screenshot().copy(QRect(origin.x - 20, origin.y - 40, 400, 300)), "property-grid.png");

    const int y = (selected.top + selected.bottom) / 2;
    ASSERT_TRUE(MoveTo(POINT { origin.x + border, origin.y + y }));
    EXPECT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(grid) == LoadCursor(nullptr, IDC_SIZEWE); }, 5000))
        << "the sizing cursor over the border";
    ASSERT_EQ(RunXdotool({ "mousedown", "1" }), 0);
    ASSERT_TRUE(MoveTo(POINT { origin.x + border - 30, origin.y + y }));
    PumpUntil([] { return false; }, 200);
    ASSERT_TRUE(MoveTo(POINT { origin.x + border - 60, origin.y + y }));
    PumpUntil([] { return false; }, 200);
    ASSERT_EQ(RunXdotool({ "mouseup", "1" }), 0);
    EXPECT_TRUE(PumpUntil([&] { return 16 + grid.GetColumnWidth() == border - 60; }, 5000))
        << "the border follows the mouse: " << 16 + grid.GetColumnWidth();
    ASSERT_TRUE(MoveTo(POINT { origin.x + border + 60, origin.y + y }));
    EXPECT_TRUE(PumpUntil([&] { return taluvo::ui::WindowCursor(grid) != LoadCursor(nullptr, IDC_SIZEWE); }, 5000));
    window.DestroyWindow();
}

} // namespace
