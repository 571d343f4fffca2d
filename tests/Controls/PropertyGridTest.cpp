// The property grid with an item class of its own: editing by keyboard and mouse through the test
// hooks, the notifications its parent hears and the vetoes it may give, a value refused by its
// owner or by the item, the column border dragged, categories expanded and collapsed, and the rows
// as the window shows them.
#include "tests/platform/ui/UiTestSupport.h"

#include "Controls/PropertyGrid.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Cursor.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QWidget>

#include <set>
#include <string>
#include <vector>

namespace {

namespace uitest = taluvo::ui::test;

constexpr int kGridId = 1031;

std::string Text(const QString& text)
{
    return text.toStdString();
}

// The editor of the test items: an edit that hands Enter, Escape and the arrows to the grid, and
// types the characters the grid passes on.
class CTestEditor : public CWindowImpl<CTestEditor> {
public:
    BEGIN_MSG_MAP(CTestEditor)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    MESSAGE_HANDLER(WM_CHAR, OnChar)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    END_MSG_MAP()
    LRESULT OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& handled)
    {
        const HWND grid = GetParent();
        switch (wParam) {
        case VK_RETURN:
            ::SendMessage(grid, WM_PROP_UPDATE, 0, 0);
            return 0;
        case VK_ESCAPE:
            ::SendMessage(grid, WM_PROP_CANCEL, 0, 0);
            return 0;
        case VK_UP:
        case VK_DOWN:
            ::SendMessage(grid, WM_PROP_NAVIGATE, wParam, 0);
            return 0;
        default:
            handled = FALSE;
            return 0;
        }
    }
    LRESULT OnChar(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        CEdit(m_hWnd).ReplaceSel(QString(QChar(static_cast<char16_t>(wParam))));
        return 0;
    }
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& handled)
    {
        ++*closes;
        handled = FALSE; // the default handling destroys it
        return 0;
    }
    int* closes = nullptr;
};

int g_liveItems = 0;

// An item of the tests. Its editor is an edit; "bad" is a value it refuses; a yes/no item flips
// on a double click; a category expands and collapses its children on its box.
class CTestItem : public IPropertyItem {
public:
    CTestItem(std::vector<std::string>& log, const char* name, const char* value, BYTE kind = PROPKIND_SIMPLE,
        bool editable = true)
        : m_log(log)
        , m_name(QString::fromUtf8(name))
        , m_value(QString::fromUtf8(value))
        , m_kind(kind)
        , m_editable(editable)
    {
        ++g_liveItems;
    }
    ~CTestItem() override
    {
        for (IPropertyItem* child : m_children)
            delete child;
        --g_liveItems;
    }
    BYTE GetKind() const override { return m_kind; }
    QString GetName() const override { return m_name; }
    QString GetDisplayValue() const override { return m_value; }
    BOOL CanEdit() const override { return m_editable; }
    HWND CreateEditor(HWND grid, const RECT& rect) override
    {
        if (m_kind == PROPKIND_CATEGORY)
            return nullptr;
        HWND edit = CreateWindowEx(0, u"Edit", nullptr, WS_CHILD | ES_AUTOHSCROLL, rect.left, rect.top,
            rect.right - rect.left, rect.bottom - rect.top, grid, nullptr, nullptr, nullptr);
        ::SetWindowText(edit, m_value);
        // A text set this way starts with the caret before it; typing continues the value.
        const auto end = static_cast<LPARAM>(m_value.size());
        ::SendMessage(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
        m_editor.closes = &m_closes;
        m_editor.SubclassWindow(edit);
        m_editorRect = rect;
        return edit;
    }
    BOOL Activate(UINT action, LPARAM lParam) override
    {
        std::string line = Text(m_name) + " " + std::to_string(action);
        if (action == PACT_CLICK)
            line += " at " + std::to_string(GET_X_LPARAM(lParam)) + "," + std::to_string(GET_Y_LPARAM(lParam));
        m_log.push_back(line);
        if (action == PACT_ACTIVATE && m_editor.m_hWnd)
            m_editor.SetFocus();
        if (action == PACT_DBLCLICK && m_kind == PROPKIND_BOOL) {
            const QString flipped = m_value == u"yes" ? QStringLiteral("no") : QStringLiteral("yes");
            ::SendMessage(m_grid, WM_PROP_CHANGED, reinterpret_cast<WPARAM>(&flipped), reinterpret_cast<LPARAM>(this));
        }
        if (action == PACT_EXPAND && m_kind == PROPKIND_CATEGORY)
            ::SendMessage(m_grid, m_expanded ? WM_PROP_COLLAPSE : WM_PROP_EXPAND, 0, reinterpret_cast<LPARAM>(this));
        return TRUE;
    }
    BOOL TakeValue(HWND editor) override { return TakeValue(::GetWindowText(editor)); }
    BOOL TakeValue(const QString& value) override
    {
        if (value == u"bad")
            return FALSE;
        m_value = value;
        return TRUE;
    }
    std::vector<IPropertyItem*> TakeChildren() override
    {
        m_expanded = true;
        std::vector<IPropertyItem*> children;
        children.swap(m_children);
        return children;
    }
    void KeepChildren(std::vector<IPropertyItem*> children) override
    {
        m_expanded = false;
        m_children = std::move(children);
    }
    void Add(CTestItem* child) { m_children.push_back(child); }

    std::vector<std::string>& m_log;
    QString m_name;
    QString m_value;
    BYTE m_kind;
    bool m_editable;
    HWND m_grid = nullptr;
    CTestEditor m_editor;
    RECT m_editorRect {};
    int m_closes = 0;
    bool m_expanded = false;
    std::vector<IPropertyItem*> m_children;
};

const char* CodeName(UINT code)
{
    switch (code) {
    case PIN_SELCHANGED:
        return "selchanged";
    case PIN_ITEMCHANGING:
        return "changing";
    case PIN_ITEMCHANGED:
        return "changed";
    case PIN_COLLAPSING:
        return "collapsed";
    case PIN_EXPANDING:
        return "expanded";
    case PIN_CLICK:
        return "click";
    case PIN_DBLCLICK:
        return "dblclick";
    default:
        return "?";
    }
}

// The grid's parent: it reflects the list box's notifications back to the grid, writes down the
// grid's own and vetoes those it is told to.
class CGridParent : public CWindowImpl<CGridParent> {
public:
    BEGIN_MSG_MAP(CGridParent)
    MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    REFLECT_NOTIFICATIONS()
    END_MSG_MAP()
    LRESULT OnNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled)
    {
        auto* notice = reinterpret_cast<LPNMPROPERTYITEM>(lParam);
        if (notice->hdr.idFrom != kGridId) {
            handled = FALSE;
            return 0;
        }
        EXPECT_EQ(wParam, static_cast<WPARAM>(kGridId));
        m_notices.push_back(std::string(CodeName(notice->hdr.code)) + " " + Text(notice->prop->GetName()));
        return m_veto.count(notice->hdr.code) ? 1 : 0;
    }
    std::vector<std::string> m_notices;
    std::set<UINT> m_veto;
};

class PropertyGrid : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        g_liveItems = 0;
        RECT rect { 0, 0, 360, 260 };
        ASSERT_TRUE(parent.Create(nullptr, &rect, QStringLiteral("grid"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
        // The keyboard focus lives in the active window.
        SetActiveWindow(parent);
        ASSERT_TRUE(uitest::WaitForActiveWindow(parent));
        list = CreateWindowEx(0, u"ListBox", nullptr,
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWVARIABLE | LBS_NOTIFY, 10, 10, 300, 200, parent,
            reinterpret_cast<HMENU>(static_cast<intptr_t>(kGridId)), nullptr, nullptr);
        ASSERT_TRUE(list);
    }
    void TearDown() override
    {
        if (parent.IsWindow())
            parent.DestroyWindow();
        EXPECT_EQ(g_liveItems, 0) << "the grid deletes the items it holds";
    }
    CTestItem* Item(const char* name, const char* value, BYTE kind = PROPKIND_SIMPLE, bool editable = true)
    {
        auto* item = new CTestItem(actions, name, value, kind, editable);
        item->m_grid = list;
        return item;
    }
    void Attach(DWORD style = 0)
    {
        grid.SetExtendedGridStyle(style);
        ASSERT_TRUE(grid.SubclassWindow(list));
    }
    RECT RowRect(int index)
    {
        RECT rect {};
        CListBox(list).GetItemRect(index, &rect);
        return rect;
    }
    // What the grid shows once the changes waiting to be painted are: a context of its window.
    HDC ShownDc()
    {
        QCoreApplication::processEvents();
        return GetDC(grid);
    }
    POINT ValuePoint(int index)
    {
        const RECT row = RowRect(index);
        return POINT { grid.GetColumnWidth() + 40, (row.top + row.bottom) / 2 };
    }
    template <class T> static std::vector<T> Take(std::vector<T>& events)
    {
        std::vector<T> taken;
        taken.swap(events);
        return taken;
    }
    using Lines = std::vector<std::string>;

    std::vector<std::string> actions;
    CGridParent parent;
    HWND list = nullptr;
    CPropertyGridCtrl grid;
};

TEST_F(PropertyGrid, KeyboardEditingTakesTheTypedValueAndTellsTheParent)
{
    Attach();
    CTestItem* name = Item("Name", "alpha");
    CTestItem* size = Item("Size", "10");
    CTestItem* locked = Item("Locked", "fixed", PROPKIND_SIMPLE, false);
    for (CTestItem* item : { name, size, locked })
        grid.AddItem(item);
    EXPECT_EQ(grid.GetColumnWidth(), 150) << "the border starts at half the width";

    // The first row by the arrow key: its editor over the value, the action and the notice.
    grid.SetFocus();
    uitest::PressKey(grid, VK_DOWN);
    EXPECT_EQ(grid.GetCurSel(), 0);
    const HWND editor = grid.GetEditor();
    ASSERT_TRUE(editor);
    const RECT row = RowRect(0);
    EXPECT_EQ(name->m_editorRect.left, 151);
    EXPECT_EQ(name->m_editorRect.top, row.top + 1);
    EXPECT_EQ(name->m_editorRect.bottom, row.bottom - 1);
    EXPECT_EQ(name->m_editorRect.right, row.right);
    EXPECT_TRUE(IsWindowVisible(editor));
    EXPECT_EQ(Take(actions), (Lines { "Name 1" }));
    EXPECT_EQ(Take(parent.m_notices), (Lines { "selchanged Name" }));

    // Typing on the grid starts the editing; the characters reach the editor; Enter takes them.
    uitest::TypeText(grid, QStringLiteral("xy"));
    EXPECT_EQ(GetWindowText(editor), QStringLiteral("alphaxy"));
    EXPECT_EQ(GetFocus(), editor);
    uitest::PressKey(editor, VK_RETURN);
    EXPECT_EQ(name->m_value, QStringLiteral("alphaxy"));
    EXPECT_FALSE(IsWindow(editor)) << "the editor closes";
    EXPECT_EQ(name->m_closes, 1) << "asked to close";
    EXPECT_EQ(GetFocus(), grid.m_hWnd) << "the focus comes back to the list";
    EXPECT_EQ(Take(parent.m_notices), (Lines { "changing Name", "changed Name" }));

    // F2 on the next row, Escape in its editor: nothing changes; Tab goes to the item.
    uitest::PressKey(grid, VK_DOWN);
    uitest::PressKey(grid, VK_F2);
    ASSERT_TRUE(grid.GetEditor());
    EXPECT_EQ(GetFocus(), grid.GetEditor());
    uitest::TypeText(grid.GetEditor(), QStringLiteral("5"));
    uitest::PressKey(grid.GetEditor(), VK_ESCAPE);
    EXPECT_EQ(size->m_value, QStringLiteral("10"));
    EXPECT_EQ(grid.GetEditor(), nullptr);
    uitest::PressKey(grid, VK_TAB);
    EXPECT_EQ(Take(actions), (Lines { "Name 7", "Name 7", "Size 1", "Size 7", "Size 6" }))
        << "each typed key activates";
    EXPECT_EQ(Take(parent.m_notices), (Lines { "selchanged Size" }));

    // A row that cannot be edited: no editor, and keys do not start editing.
    uitest::PressKey(grid, VK_DOWN);
    EXPECT_EQ(grid.GetEditor(), nullptr);
    uitest::TypeText(grid, QStringLiteral("q"));
    uitest::PressKey(grid, VK_SPACE);
    EXPECT_EQ(locked->m_value, QStringLiteral("fixed"));
    EXPECT_EQ(Take(actions), (Lines { "Locked 1" }));

    // The editor's arrow keys move through the rows.
    grid.SetCurSel(0);
    ASSERT_TRUE(grid.GetEditor());
    uitest::PressKey(grid.GetEditor(), VK_DOWN);
    EXPECT_EQ(grid.GetCurSel(), 1);
    uitest::PressKey(grid.GetEditor(), VK_UP);
    EXPECT_EQ(grid.GetCurSel(), 0);
}

TEST_F(PropertyGrid, MouseSelectsClicksAndDoubleClicksUnlessTheParentVetoes)
{
    Attach();
    CTestItem* name = Item("Name", "alpha");
    CTestItem* flag = Item("Enabled", "yes", PROPKIND_BOOL);
    grid.AddItem(name);
    grid.AddItem(flag);

    const POINT onName = ValuePoint(0);
    uitest::ClickAt(grid, onName.x, onName.y);
    EXPECT_EQ(grid.GetCurSel(), 0);
    EXPECT_TRUE(grid.GetEditor());
    EXPECT_EQ(
        Take(actions), (Lines { "Name 1", "Name 3 at " + std::to_string(onName.x) + "," + std::to_string(onName.y) }));
    EXPECT_EQ(Take(parent.m_notices), (Lines { "selchanged Name", "click Name" }));

    // A double click flips the yes/no item: the grid asks, the item takes it, the grid tells.
    const POINT onFlag = ValuePoint(1);
    uitest::DoubleClickAt(grid, onFlag.x, onFlag.y);
    EXPECT_EQ(flag->m_value, QStringLiteral("no"));
    EXPECT_EQ(Take(parent.m_notices),
        (Lines { "selchanged Enabled", "click Enabled", "dblclick Enabled", "changing Enabled", "changed Enabled" }));
    Take(actions);

    // The parent's veto: no action on the click, no flip on the double click.
    parent.m_veto = { PIN_CLICK, PIN_DBLCLICK };
    uitest::DoubleClickAt(grid, onFlag.x, onFlag.y);
    EXPECT_EQ(flag->m_value, QStringLiteral("no"));
    EXPECT_EQ(Take(actions), Lines {});
    EXPECT_EQ(Take(parent.m_notices), (Lines { "click Enabled", "dblclick Enabled" }));

    // A click below the last row does nothing to the selected one.
    parent.m_veto.clear();
    uitest::ClickAt(grid, onFlag.x, RowRect(1).bottom + 20);
    EXPECT_EQ(Take(actions), Lines {});
    EXPECT_EQ(Take(parent.m_notices), Lines {});
}

TEST_F(PropertyGrid, ARefusedValueStaysOutAndOnlyATakenOneIsToldAsChanged)
{
    Attach();
    CTestItem* name = Item("Name", "alpha");
    grid.AddItem(name);
    grid.SetCurSel(0);
    Take(parent.m_notices);
    uitest::BeepRecorder beeps;

    // The parent refuses: the item is not asked, nothing beeps, the editor closes.
    parent.m_veto = { PIN_ITEMCHANGING };
    SetWindowText(grid.GetEditor(), QStringLiteral("beta"));
    uitest::PressKey(grid.GetEditor(), VK_RETURN);
    EXPECT_EQ(name->m_value, QStringLiteral("alpha"));
    EXPECT_EQ(grid.GetEditor(), nullptr);
    EXPECT_TRUE(beeps.Beeps().empty());
    EXPECT_EQ(Take(parent.m_notices), (Lines { "changing Name" }));

    // The item refuses: a beep, and no notice of a change that did not happen.
    parent.m_veto.clear();
    grid.SetCurSel(0);
    Take(parent.m_notices);
    SetWindowText(grid.GetEditor(), QStringLiteral("bad"));
    uitest::PressKey(grid.GetEditor(), VK_RETURN);
    EXPECT_EQ(name->m_value, QStringLiteral("alpha"));
    EXPECT_EQ(beeps.Beeps(), std::vector<UINT> { 0xFFFFFFFF });
    EXPECT_EQ(Take(parent.m_notices), (Lines { "changing Name" }));

    // A value the item reports itself goes the same way, and its open editor starts again.
    grid.SetCurSel(0);
    const HWND before = grid.GetEditor();
    const QString reported = QStringLiteral("gamma");
    SendMessage(grid, WM_PROP_CHANGED, reinterpret_cast<WPARAM>(&reported), reinterpret_cast<LPARAM>(name));
    EXPECT_EQ(name->m_value, QStringLiteral("gamma"));
    EXPECT_TRUE(grid.GetEditor());
    EXPECT_NE(grid.GetEditor(), before);
    EXPECT_FALSE(IsWindow(before));
    EXPECT_EQ(GetWindowText(grid.GetEditor()), QStringLiteral("gamma"));
}

TEST_F(PropertyGrid, TheBorderIsDraggedWithTheSizingCursorUnlessFixed)
{
    for (const bool fixed : { false, true }) {
        SCOPED_TRACE(fixed ? "fixed" : "draggable");
        Attach(fixed ? PGS_EX_FIXEDCOLUMN : 0);
        CTestItem* name = Item("Name", "alpha");
        grid.AddItem(name);
        grid.SetCurSel(0);
        const int border = grid.GetColumnWidth();
        const int y = (RowRect(0).top + RowRect(0).bottom) / 2;

        QWidget* widget = taluvo::ui::detail::WidgetOf(grid);
        QCursor::setPos(widget->mapToGlobal(QPoint(border, y)));
        uitest::MoveMouse(grid, border, y);
        const bool sizing = taluvo::ui::WindowCursor(grid) == LoadCursor(nullptr, IDC_SIZEWE);
        EXPECT_EQ(sizing, !fixed) << "the sizing cursor over the border";
        QCursor::setPos(widget->mapToGlobal(QPoint(border - 60, y)));
        uitest::MoveMouse(grid, border - 60, y);
        EXPECT_NE(taluvo::ui::WindowCursor(grid), LoadCursor(nullptr, IDC_SIZEWE));

        uitest::DragMouse(grid, border, y, border + 40, y);
        EXPECT_EQ(grid.GetColumnWidth(), fixed ? border : border + 40);
        ASSERT_TRUE(grid.GetEditor());
        EXPECT_EQ(name->m_editorRect.left, grid.GetColumnWidth() + 1) << "the editor follows the border";

        grid.ResetContent();
        grid.UnsubclassWindow();
    }
}

TEST_F(PropertyGrid, CategoriesExpandAndCollapseTheirItemsFromTheirBox)
{
    Attach(PGS_EX_CATEGORYCOLUMN | PGS_EX_FILLCATEGORY);
    CTestItem* general = Item("General", "", PROPKIND_CATEGORY, false);
    general->Add(Item("Title", "news"));
    general->Add(Item("Pages", "3"));
    grid.AddItem(general);
    grid.AddItem(Item("After", "x"));
    const int boxX = 8;
    const int y = (RowRect(0).top + RowRect(0).bottom) / 2;

    // The box shows a plus while collapsed and a minus once the items are rows below it.
    auto vertical = [&] {
        HDC dc = ShownDc();
        const COLORREF above = GetPixel(dc, boxX, y - 2);
        ReleaseDC(grid, dc);
        return above == GetSysColor(COLOR_WINDOWTEXT);
    };
    EXPECT_TRUE(vertical()) << "plus";
    uitest::ClickAt(grid, boxX, y);
    EXPECT_TRUE(grid.IsExpanded(general));
    ASSERT_EQ(grid.GetCount(), 4);
    EXPECT_EQ(grid.GetProperty(1)->GetName(), QStringLiteral("Title"));
    EXPECT_EQ(grid.GetProperty(2)->GetName(), QStringLiteral("Pages"));
    EXPECT_EQ(grid.GetProperty(3)->GetName(), QStringLiteral("After"));
    EXPECT_FALSE(vertical()) << "minus";

    // An open editor of a row below keeps to its row when the category collapses above it.
    grid.SetCurSel(3);
    const HWND editor = grid.GetEditor();
    ASSERT_TRUE(editor);
    SendMessage(grid, WM_PROP_COLLAPSE, 0, reinterpret_cast<LPARAM>(general));
    EXPECT_FALSE(grid.IsExpanded(general));
    EXPECT_EQ(grid.GetCount(), 2);
    EXPECT_EQ(general->m_children.size(), 2u) << "the category keeps its items";
    EXPECT_EQ(grid.GetEditedIndex(), 1);
    EXPECT_EQ(grid.GetEditor(), editor);
    EXPECT_TRUE(vertical()) << "plus again";
    EXPECT_EQ(Take(parent.m_notices),
        (Lines { "selchanged General", "click General", "expanded General", "selchanged After", "collapsed General" }));
    EXPECT_EQ(Take(actions), (Lines { "General 1", "General 2", "After 1" }));

    // Expanded once more, then the grid goes: every item is deleted, shown or kept.
    uitest::ClickAt(grid, boxX, y);
    EXPECT_EQ(grid.GetCount(), 4);
}

TEST_F(PropertyGrid, ANewDesktopSettingTakesTheParentsFontForTheRows)
{
    Attach();
    grid.AddItem(Item("Name", "alpha"));
    grid.AddItem(Item("Size", "10"));
    const int before = CListBox(list).GetItemHeight(0);
    LOGFONT description {};
    GetObject(GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
    description.lfHeight = -28;
    HFONT large = CreateFontIndirect(&description);
    SendMessage(parent, WM_SETFONT, reinterpret_cast<WPARAM>(large), FALSE);

    SendMessage(grid, WM_SETTINGCHANGE, 0, 0);
    HDC dc = GetDC(grid);
    HFONT old = SelectObject(dc, large);
    TEXTMETRIC metrics {};
    GetTextMetrics(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(grid, dc);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(grid, WM_GETFONT, 0, 0)), large);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(CListBox(list).GetItemHeight(i), metrics.tmHeight + 5);
    EXPECT_GT(CListBox(list).GetItemHeight(0), before);
    SendMessage(parent, WM_SETFONT, 0, FALSE);
    parent.DestroyWindow();
    DeleteObject(large);
}

TEST_F(PropertyGrid, RowsAsTheWindowShowsThem)
{
    Attach(PGS_EX_CATEGORYCOLUMN | PGS_EX_FILLCATEGORY);
    CTestItem* general = Item("General", "", PROPKIND_CATEGORY, false);
    general->Add(Item("Title", "Daily news"));
    general->Add(Item("Interval", "30 minutes"));
    general->Add(Item("Created", "2026-12-10", PROPKIND_SIMPLE, false));
    grid.AddItem(general);
    grid.AddItem(Item("Enabled", "yes", PROPKIND_BOOL));
    SendMessage(grid, WM_PROP_EXPAND, 0, reinterpret_cast<LPARAM>(general));
    grid.SetCurSel(2);

    HDC dc = ShownDc();
    // GDI pixels carry no alpha; the picture file shows them opaque.
    const QImage shot = taluvo::ui::ImageOfDc(dc).convertToFormat(QImage::Format_RGB32);
    const QString folder = QStringLiteral(TALUVO_CONTROLS_ARTEFACT_DIR);
    QDir().mkpath(folder);
    shot.save(folder + QStringLiteral("/property-grid.png"), "PNG");

    const RECT selected = RowRect(2);
    const int middle = (selected.top + selected.bottom) / 2;
    EXPECT_EQ(GetPixel(dc, 3, middle), GetSysColor(COLOR_BTNFACE)) << "the category column";
    EXPECT_EQ(GetPixel(dc, 18, selected.top + 1), GetSysColor(COLOR_HIGHLIGHT)) << "the selected name";
    EXPECT_EQ(GetPixel(dc, 16 + grid.GetColumnWidth(), middle), GetSysColor(COLOR_BTNFACE)) << "the border line";
    const RECT heading = RowRect(0);
    EXPECT_EQ(GetPixel(dc, 200, heading.top + 1), GetSysColor(COLOR_BTNFACE)) << "the heading's band";
    ReleaseDC(grid, dc);
}

} // namespace
