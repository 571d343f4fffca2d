// The frame window built the way the main window builds itself: command bar with menu 128,
// accelerators 128, the toolbar from resource 128 with the image strip, rebar bands, status bar,
// and the tree in a single-pane splitter. Accelerators, the UI-update map, menu prompts, layout,
// bar toggles, popup menus and a screenshot of the whole.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/CommCtrl.h"
#include "platform/ui/Frame.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace {

constexpr UINT kTreeId = 2000;

struct Command {
    WORD id;
    WORD code;
};

class CTestFrame : public CFrameWindowImpl<CTestFrame>,
                   public CUpdateUI<CTestFrame>,
                   public CMessageFilter,
                   public CIdleHandler {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, IDR_MAINFRAME)

    CCommandBarCtrl m_cmdBar;
    HWND m_toolBar = nullptr;
    CSplitterWindow m_splitter;
    CTreeViewCtrl m_mainTree;
    CImageList m_treeImages;
    CImageList m_toolImages;
    std::vector<Command> commands;
    std::vector<HMENU> popupsOpened;
    int idleRuns = 0;

    BEGIN_UPDATE_UI_MAP(CTestFrame)
    UPDATE_ELEMENT(ID_FILE_WORK_OFFLINE, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_VIEW_TOOLBAR, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_VIEW_STATUS_BAR, UPDUI_MENUPOPUP)
    UPDATE_ELEMENT(ID_GROUP_ADD, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_GROUP_DELETE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_ADD, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_DELETE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_PAGE_CHECK_UPDATE, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_TOOLS_CHECK_ALL, UPDUI_MENUPOPUP | UPDUI_TOOLBAR)
    UPDATE_ELEMENT(ID_TOOLS_CANCEL_CHECKS, UPDUI_TOOLBAR)
    END_UPDATE_UI_MAP()

    BEGIN_MSG_MAP(CTestFrame)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_INITMENUPOPUP, OnInitMenuPopup)
    COMMAND_RANGE_HANDLER(32773, 32800, OnCommand)
    COMMAND_RANGE_HANDLER(57664, 57665, OnCommand)
    COMMAND_RANGE_HANDLER(59392, 59393, OnCommand)
    CHAIN_MSG_MAP(CUpdateUI<CTestFrame>)
    CHAIN_MSG_MAP(CFrameWindowImpl<CTestFrame>)
    END_MSG_MAP()

    BOOL PreTranslateMessage(MSG* msg) override { return TranslateFrameAccelerator(msg); }
    BOOL OnIdle() override
    {
        ++idleRuns;
        UIUpdateToolBar();
        UIUpdateMenuBar();
        return FALSE;
    }

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&)
    {
        // Bars: the command bar takes the window's menu; the toolbar gets the strip's images and
        // its entries with their images; a rebar with the command bar, then the toolbar on a new
        // row; the status bar with "Ready".
        m_cmdBar.Create(m_hWnd);
        m_cmdBar.AttachMenu(GetMenu());
        SetMenu(nullptr);
        m_toolBar = CreateSimpleToolBarCtrl(m_hWnd, IDR_MAINFRAME, FALSE, ATL_SIMPLE_TOOLBAR_PANE_STYLE);
        m_toolImages.Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 6);
        HBITMAP strip = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_TREE_IMAGES));
        ImageList_AddMasked(m_toolImages, strip, 0xFF00FF);
        DeleteObject(strip);
        CToolBarCtrl toolBar(m_toolBar);
        toolBar.SetImageList(m_toolImages);
        while (toolBar.GetButtonCount() > 0)
            toolBar.DeleteButton(0);
        const std::pair<int, int> entries[] = { { ID_GROUP_ADD, 4 }, { ID_GROUP_DELETE, 5 }, { ID_GROUP_MODIFY, 6 },
            { ID_GROUP_CHECK_ALL, 17 }, { 0, 0 }, { ID_PAGE_ADD, 7 }, { ID_PAGE_DELETE, 8 }, { ID_PAGE_MODIFY, 9 },
            { ID_PAGE_TOGGLE, 12 }, { ID_PAGE_PROPERTIES, 20 }, { 0, 0 }, { ID_PAGE_CHECK_UPDATE, 19 },
            { ID_TOOLS_CANCEL_CHECKS, 23 }, { 0, 0 }, { ID_PAGE_MOVE_UP, 15 }, { ID_PAGE_MOVE_DOWN, 16 }, { 0, 0 },
            { ID_TOOLS_PREFERENCES, 27 }, { 0, 0 }, { ID_TOOLS_CHECK_ALL, 22 }, { ID_TOOLS_OPEN_ALL_UPDATED, 26 },
            { 0, 0 }, { ID_APP_EXIT, 18 } };
        std::vector<TBBUTTON> buttons;
        for (const auto& [id, image] : entries) {
            TBBUTTON button;
            button.idCommand = id;
            button.iBitmap = image;
            button.fsState = id ? TBSTATE_ENABLED : 0;
            button.fsStyle = id ? BTNS_BUTTON : BTNS_SEP;
            buttons.push_back(button);
        }
        toolBar.AddButtons(static_cast<int>(buttons.size()), buttons.data());
        CreateSimpleReBar(ATL_SIMPLE_REBAR_NOBORDER_STYLE);
        AddSimpleReBarBand(m_cmdBar);
        AddSimpleReBarBand(m_toolBar, QString(), TRUE);
        CreateSimpleStatusBar();

        // The tree in a single-pane splitter, which is the client.
        m_treeImages.Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 6);
        strip = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_TREE_IMAGES));
        ImageList_AddMasked(m_treeImages, strip, 0xFF00FF);
        DeleteObject(strip);
        m_treeImages.SetOverlayImage(24, 1);
        RECT client;
        GetClientRect(&client);
        m_hWndClient = m_splitter.Create(m_hWnd, &client, QString(), WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN);
        m_mainTree.Create(m_splitter, &client, QString(),
            WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
            WS_EX_CLIENTEDGE, kTreeId);
        m_mainTree.SetImageList(m_treeImages);
        m_splitter.SetSplitterPane(SPLIT_PANE_LEFT, m_mainTree);
        m_splitter.SetSinglePaneMode(SPLIT_PANE_LEFT);
        UpdateLayout();
        UIAddToolBar(m_toolBar);
        return 0;
    }

    LRESULT OnInitMenuPopup(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
    {
        popupsOpened.push_back(reinterpret_cast<HMENU>(wParam));
        bHandled = FALSE;
        return 0;
    }

    LRESULT OnCommand(WORD code, WORD id, HWND, BOOL&)
    {
        commands.push_back({ id, code });
        return 0;
    }
};

class UiFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        taluvo::res::RegisterResources();
        RECT rect { 100, 100, 740, 550 };
        ASSERT_TRUE(frame.CreateEx(GetDesktopWindow(), &rect));
        frame.ShowWindow(SW_SHOW);
        loop.AddMessageFilter(&frame);
        loop.AddIdleHandler(&frame);
        // The Qt widgets settle their sizes when shown.
        RunLoop([] {});
    }
    void TearDown() override
    {
        if (frame.IsWindow())
            frame.DestroyWindow();
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) { } // the frame's WM_QUIT
    }
    // Runs the main loop (filters and idle handlers as the program has them) for one step.
    void RunLoop(const std::function<void()>& step)
    {
        QTimer::singleShot(0, [step]() {
            step();
            PostQuitMessage(0);
        });
        loop.Run();
    }
    // Delivers the messages posted so far.
    void DispatchPosted()
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&msg);
    }
    RECT Rect(HWND hwnd)
    {
        RECT rect;
        EXPECT_TRUE(GetWindowRect(hwnd, &rect));
        POINT topLeft { rect.left, rect.top };
        POINT bottomRight { rect.right, rect.bottom };
        ScreenToClient(frame, &topLeft);
        ScreenToClient(frame, &bottomRight);
        return RECT { topLeft.x, topLeft.y, bottomRight.x, bottomRight.y };
    }

    CTestFrame frame;
    CMessageLoop loop;
};

TEST_F(UiFrame, BuiltFromTheResources)
{
    EXPECT_EQ(frame.GetWindowText(), QStringLiteral("Taluvo"));
    EXPECT_NE(frame.GetIcon(TRUE), nullptr);
    EXPECT_EQ(frame.GetMenu(), nullptr); // the command bar has it
    const HMENU menu = frame.m_cmdBar.GetMenu();
    ASSERT_EQ(GetMenuItemCount(menu), 6);
    const char16_t* popups[] = { u"&File", u"&Group", u"&Page", u"&Tools", u"&View", u"&Help" };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(GetMenuString(menu, static_cast<UINT>(i), MF_BYPOSITION), QString::fromUtf16(popups[i]));
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, 2)), 11); // the Page popup with its separators

    CToolBarCtrl toolBar(frame.m_toolBar);
    EXPECT_EQ(toolBar.GetButtonCount(), 23);
    TBBUTTONINFO info;
    info.dwMask = TBIF_IMAGE;
    EXPECT_EQ(toolBar.GetButtonInfo(ID_PAGE_TOGGLE, &info), 8);
    EXPECT_EQ(info.iImage, 12);
    info.iImage = 25;
    EXPECT_TRUE(toolBar.SetButtonInfo(ID_PAGE_TOGGLE, &info));
    info.iImage = 0;
    toolBar.GetButtonInfo(ID_PAGE_TOGGLE, &info);
    EXPECT_EQ(info.iImage, 25);

    CReBarCtrl rebar(frame.m_hWndToolBar);
    EXPECT_EQ(rebar.GetBandCount(), 2u);
    EXPECT_EQ(rebar.GetRowCount(), 2u); // the toolbar on its own row
    EXPECT_EQ(rebar.IdToIndex(ATL_IDW_BAND_FIRST + 1), 1);
    EXPECT_EQ(GetDlgCtrlID(frame.m_hWndStatusBar), 59393);
    EXPECT_EQ(CStatusBarCtrl(frame.m_hWndStatusBar).GetText(0), QStringLiteral("Ready"));
    EXPECT_EQ(GetDlgCtrlID(frame.m_toolBar), 0xE800);
}

TEST_F(UiFrame, AcceleratorRunsItsCommandEvenWhenDisabled)
{
    frame.UIEnable(ID_PAGE_DELETE, FALSE);
    frame.UIEnable(ID_PAGE_CHECK_UPDATE, FALSE);
    RunLoop([this] {
        frame.m_mainTree.SetFocus();
        struct Key {
            UINT vk;
            bool ctrl, shift, alt;
        };
        const Key keys[] = {
            { 'D', true, false, false }, // Ctrl+D: page delete, disabled
            { 'D', true, true, false }, // Ctrl+Shift+D: group delete
            { VK_F5, false, false, false }, // F5: check for update, disabled
            { VK_RETURN, false, false, true }, // Alt+Enter: properties
            { 'X', false, true, true }, // Alt+Shift+X: minimise to tray
            { 'Q', true, false, false }, // no accelerator
        };
        for (const Key& key : keys)
            taluvo::ui::test::PressKey(frame.m_mainTree, key.vk, key.ctrl, key.shift, key.alt);
    });
    ASSERT_EQ(frame.commands.size(), 5u);
    const WORD expected[]
        = { ID_PAGE_DELETE, ID_GROUP_DELETE, ID_PAGE_CHECK_UPDATE, ID_PAGE_PROPERTIES, ID_FILE_MIN_TO_TRAY };
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(frame.commands[i].id, expected[i]);
        EXPECT_EQ(frame.commands[i].code, 1) << "accelerators send notify code 1";
    }
    // The disabled commands stay disabled where the user sees them.
    EXPECT_FALSE(CToolBarCtrl(frame.m_toolBar).IsButtonEnabled(ID_PAGE_DELETE));
    EXPECT_FALSE(taluvo::ui::test::ClickToolBarButton(frame.m_toolBar, ID_PAGE_DELETE));
}

TEST_F(UiFrame, UpdateUiMapDrivesToolbarAndMenus)
{
    CToolBarCtrl toolBar(frame.m_toolBar);
    frame.UIEnable(ID_PAGE_ADD, FALSE);
    frame.UIEnable(ID_TOOLS_CANCEL_CHECKS, FALSE);
    frame.UISetCheck(ID_VIEW_TOOLBAR, TRUE);
    frame.UISetCheck(ID_FILE_WORK_OFFLINE, TRUE);
    // The toolbar takes the map's state at the next idle moment, not before.
    EXPECT_TRUE(toolBar.IsButtonEnabled(ID_PAGE_ADD));
    const int idleBefore = frame.idleRuns;
    RunLoop([] {});
    EXPECT_GT(frame.idleRuns, idleBefore);
    EXPECT_FALSE(toolBar.IsButtonEnabled(ID_PAGE_ADD));
    EXPECT_FALSE(toolBar.IsButtonEnabled(ID_TOOLS_CANCEL_CHECKS));
    EXPECT_TRUE(toolBar.IsButtonEnabled(ID_GROUP_ADD));

    // Popups of the menu bar take the state when they open.
    bool enabled = true, checked = false;
    ASSERT_TRUE(taluvo::ui::test::MenuItemShown(frame.m_cmdBar, 2, ID_PAGE_ADD, &enabled, &checked));
    EXPECT_FALSE(enabled);
    taluvo::ui::test::CloseMenus(frame.m_cmdBar);
    ASSERT_TRUE(taluvo::ui::test::MenuItemShown(frame.m_cmdBar, 4, ID_VIEW_TOOLBAR, &enabled, &checked));
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(checked);
    ASSERT_TRUE(taluvo::ui::test::MenuItemShown(frame.m_cmdBar, 4, ID_VIEW_STATUS_BAR, &enabled, &checked));
    EXPECT_FALSE(checked);
    taluvo::ui::test::CloseMenus(frame.m_cmdBar);
    ASSERT_GE(frame.popupsOpened.size(), 2u);
    EXPECT_EQ(frame.popupsOpened.back(), GetSubMenu(frame.m_cmdBar.GetMenu(), 4));

    // Disabled items and buttons cannot be chosen; enabled ones send their command.
    frame.commands.clear();
    EXPECT_FALSE(taluvo::ui::test::ChooseMenuItem(frame.m_cmdBar, 2, ID_PAGE_ADD));
    EXPECT_FALSE(taluvo::ui::test::ClickToolBarButton(frame.m_toolBar, ID_PAGE_ADD));
    EXPECT_TRUE(taluvo::ui::test::ChooseMenuItem(frame.m_cmdBar, 2, ID_PAGE_MODIFY));
    EXPECT_TRUE(taluvo::ui::test::ClickToolBarButton(frame.m_toolBar, ID_GROUP_ADD));
    DispatchPosted();
    ASSERT_EQ(frame.commands.size(), 2u);
    EXPECT_EQ(frame.commands[0].id, ID_GROUP_ADD); // the toolbar sends at once
    EXPECT_EQ(frame.commands[1].id, ID_PAGE_MODIFY); // the menu's command is posted

    // Enabled again: the next idle moment brings the button back; an unchanged state is not
    // written again (the toolbar keeps a state set behind the map's back until forced).
    frame.UIEnable(ID_PAGE_ADD, TRUE);
    toolBar.CheckButton(ID_GROUP_ADD, TRUE);
    RunLoop([] {});
    EXPECT_TRUE(toolBar.IsButtonEnabled(ID_PAGE_ADD));
    EXPECT_TRUE(toolBar.IsButtonChecked(ID_GROUP_ADD));
    frame.UIUpdateToolBar(TRUE);
    EXPECT_FALSE(toolBar.IsButtonChecked(ID_GROUP_ADD));
}

TEST_F(UiFrame, MenuPromptsReachTheStatusBar)
{
    CStatusBarCtrl status(frame.m_hWndStatusBar);
    struct Case {
        int popup;
        UINT id;
        const char16_t* prompt;
    };
    const Case cases[] = {
        { 1, ID_GROUP_ADD, u"Add new group" }, { 2, ID_PAGE_COPY_ADDRESS, u"Copy page address in buffer" },
        { 0, ID_APP_EXIT, u"Quit the application" }, { 4, ID_VIEW_STATUS_BAR, u"Show or hide the status bar" },
        { 5, ID_APP_ABOUT, u"" }, // a command without a string shows an empty prompt
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(taluvo::ui::test::HoverMenuItem(frame.m_cmdBar, c.popup, c.id)) << c.id;
        EXPECT_TRUE(status.IsSimple());
        EXPECT_EQ(status.GetText(SB_SIMPLEID), QString::fromUtf16(c.prompt)) << c.id;
        taluvo::ui::test::CloseMenus(frame.m_cmdBar);
        EXPECT_FALSE(status.IsSimple());
        EXPECT_EQ(status.GetText(0), QStringLiteral("Ready"));
    }
    // A disabled item still shows its prompt.
    frame.UIEnable(ID_GROUP_DELETE, FALSE);
    ASSERT_TRUE(taluvo::ui::test::HoverMenuItem(frame.m_cmdBar, 1, ID_GROUP_DELETE));
    EXPECT_EQ(status.GetText(SB_SIMPLEID), QStringLiteral("Delete group"));
    taluvo::ui::test::CloseMenus(frame.m_cmdBar);
}

TEST_F(UiFrame, LayoutFollowsTheBarsShownOrHidden)
{
    RECT client;
    frame.GetClientRect(&client);
    auto check = [&](bool toolBarRow, bool statusBar) {
        const RECT rebar = Rect(frame.m_hWndToolBar);
        const RECT splitter = Rect(frame.m_hWndClient);
        EXPECT_EQ(rebar.top, 0);
        EXPECT_EQ(splitter.top, rebar.bottom);
        EXPECT_EQ(splitter.right - splitter.left, client.right);
        if (statusBar) {
            const RECT status = Rect(frame.m_hWndStatusBar);
            EXPECT_EQ(splitter.bottom, status.top);
            EXPECT_EQ(status.bottom, client.bottom);
        } else {
            EXPECT_EQ(splitter.bottom, client.bottom);
        }
        // The tree fills the splitter.
        const RECT tree = Rect(frame.m_mainTree);
        EXPECT_EQ(tree.top, splitter.top);
        EXPECT_EQ(tree.bottom, splitter.bottom);
        (void)toolBarRow;
        return rebar.bottom - rebar.top;
    };
    const int withToolBar = check(true, true);

    // Hiding the toolbar's band: the rebar shrinks and tells the frame, which lays out again.
    CReBarCtrl rebar(frame.m_hWndToolBar);
    REBARBANDINFO band;
    band.fMask = RBBIM_CHILD;
    ASSERT_TRUE(rebar.GetBandInfo(1, &band));
    frame.ShowWindow(SW_SHOW);
    EXPECT_TRUE(::IsWindowVisible(band.hwndChild));
    ASSERT_TRUE(rebar.ShowBand(rebar.IdToIndex(ATL_IDW_BAND_FIRST + 1), FALSE));
    EXPECT_EQ(rebar.GetRowCount(), 1u);
    // The band's child is hidden as a window, not only drawn away.
    EXPECT_FALSE(::IsWindowVisible(band.hwndChild));
    const int withoutToolBar = check(false, true);
    EXPECT_LT(withoutToolBar, withToolBar);

    ::ShowWindow(frame.m_hWndStatusBar, SW_HIDE);
    frame.UpdateLayout();
    check(false, false);

    ASSERT_TRUE(rebar.ShowBand(1, TRUE));
    EXPECT_TRUE(::IsWindowVisible(band.hwndChild));
    ::ShowWindow(frame.m_hWndStatusBar, SW_SHOWNOACTIVATE);
    frame.UpdateLayout();
    EXPECT_EQ(check(true, true), withToolBar);
}

TEST_F(UiFrame, PopupMenuCommandReachesItsOwner)
{
    CMenu tray;
    ASSERT_TRUE(tray.LoadMenu(IDR_TRAY_POPUP));
    CMenuHandle popup = tray.GetSubMenu(0);
    EXPECT_EQ(GetMenuDefaultItem(popup, FALSE, 0), ID_RESTORE_FROM_TRAY);
    EXPECT_TRUE(popup.SetMenuDefaultItem(ID_APP_EXIT));
    EXPECT_EQ(GetMenuDefaultItem(popup, FALSE, 0), ID_APP_EXIT); // one default per menu
    EXPECT_TRUE(popup.SetMenuDefaultItem(ID_RESTORE_FROM_TRAY));

    frame.UISetCheck(ID_FILE_WORK_OFFLINE, TRUE);
    UINT seenState = 0;
    POINT seenAt;
    {
        taluvo::ui::test::ScopedPopupMenuHook hook([&](HMENU menu, HWND owner, POINT at) -> UINT {
            EXPECT_EQ(owner, frame.m_hWnd);
            seenAt = at;
            seenState = GetMenuState(menu, ID_FILE_WORK_OFFLINE, MF_BYCOMMAND);
            return ID_RESTORE_FROM_TRAY;
        });
        frame.commands.clear();
        EXPECT_TRUE(popup.TrackPopupMenu(TPM_LEFTALIGN, 300, 200, frame));
        EXPECT_TRUE(frame.commands.empty()); // posted, as Windows does
        DispatchPosted();
    }
    EXPECT_EQ(seenAt.x, 300);
    EXPECT_EQ(seenAt.y, 200);
    EXPECT_TRUE(seenState & MF_CHECKED); // the map's state reached the popup before it showed
    EXPECT_EQ(frame.popupsOpened.back(), popup.m_hMenu);
    ASSERT_EQ(frame.commands.size(), 1u);
    EXPECT_EQ(frame.commands[0].id, ID_RESTORE_FROM_TRAY);
    EXPECT_EQ(frame.commands[0].code, 0);

    // A disabled command cannot be chosen; TPM_RETURNCMD returns the choice instead of posting.
    frame.UIEnable(ID_TOOLS_CHECK_ALL, FALSE);
    taluvo::ui::test::ScopedPopupMenuHook hook([](HMENU, HWND, POINT) -> UINT { return ID_TOOLS_CHECK_ALL; });
    frame.commands.clear();
    EXPECT_EQ(popup.TrackPopupMenu(TPM_RETURNCMD, 0, 0, frame), 0);
    frame.UIEnable(ID_TOOLS_CHECK_ALL, TRUE);
    EXPECT_EQ(popup.TrackPopupMenu(TPM_RETURNCMD, 0, 0, frame), static_cast<BOOL>(ID_TOOLS_CHECK_ALL));
    DispatchPosted();
    EXPECT_TRUE(frame.commands.empty());
}

TEST_F(UiFrame, ScreenshotOfTheFrameWithTree)
{
    CTreeViewCtrl& tree = frame.m_mainTree;
    const HTREEITEM news = tree.InsertItem(QStringLiteral("News sites"), 0, 1, TVI_ROOT, TVI_LAST);
    const HTREEITEM off = tree.InsertItem(QStringLiteral("Paused group"), 2, 3, TVI_ROOT, TVI_LAST);
    const struct {
        const char16_t* text;
        int status;
        bool disabled;
        HTREEITEM group;
    } pages[] = {
        { u"Front page (new)", 1, false, news },
        { u"Feed that failed", 2, false, news },
        { u"Quiet page", 3, false, news },
        { u"Never checked", 4, false, news },
        { u"Disabled page", 3, true, off },
    };
    for (const auto& page : pages)
        tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE, QString::fromUtf16(page.text),
            page.status + 9, page.status + 9, page.disabled ? INDEXTOOVERLAYMASK(1) : 0, TVIS_OVERLAYMASK, 0,
            page.group, TVI_LAST);
    tree.Expand(news);
    tree.Expand(off);
    tree.SelectItem(tree.GetChildItem(news));
    RunLoop([] {});

    QWidget* widget = taluvo::ui::detail::WidgetOf(frame);
    ASSERT_NE(widget, nullptr);
    const QImage shot = widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(shot.isNull());
    // The yellow of the group folders shows somewhere in the tree.
    int yellow = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            yellow += qRed(p) > 230 && qGreen(p) > 180 && qGreen(p) < 220 && qBlue(p) < 90;
        }
    EXPECT_GT(yellow, 50);
    const QString folder = QStringLiteral(TALUVO_UI_ARTEFACT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/frame-with-tree.png");
    ASSERT_TRUE(shot.save(path, "PNG")) << path.toStdString();
    std::printf("screenshot: %s\n", qPrintable(path));
}

} // namespace
