// The frame window the main window is written on: the rebar with the command bar (menu bar) and
// the toolbar, the status bar, the client window between them, the accelerator table, the prompts
// of menu items in the status bar; the UI-update map that keeps the enabled and checked state of
// commands for menus and toolbars; and the splitter window that holds the client's panes.
//
//   class CMainFrame : public CFrameWindowImpl<CMainFrame>, public CUpdateUI<CMainFrame>,
//                      public CMessageFilter, public CIdleHandler {
//       DECLARE_FRAME_WND_CLASS(nullptr, 128)
//       BEGIN_UPDATE_UI_MAP(CMainFrame)
//           UPDATE_ELEMENT(59392, UPDUI_MENUPOPUP)
//       END_UPDATE_UI_MAP()
//       BEGIN_MSG_MAP(CMainFrame)
//           ...
//           CHAIN_MSG_MAP(CUpdateUI<CMainFrame>)
//           CHAIN_MSG_MAP(CFrameWindowImpl<CMainFrame>)
//       END_MSG_MAP()
//   };
//
// The frame's own handling: WM_SIZE and the rebar's size notifications lay out the rebar at the
// top, the status bar at the bottom and the client between; WM_SETFOCUS passes the focus to the
// client; WM_MENUSELECT shows the highlighted command's prompt (its string before the first
// newline) as the status bar's simple text and the normal text again when the menu closes;
// WM_DESTROY of a top-level frame posts WM_QUIT with 1.
#pragma once

#include "platform/ui/CommCtrl.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MessageLoop.h"

#include <vector>

constexpr UINT ATL_IDW_TOOLBAR = 0xE800;
constexpr UINT ATL_IDW_STATUS_BAR = 0xE801;
constexpr UINT ATL_IDW_COMMAND_BAR = 0xE802;
constexpr UINT ATL_IDW_BAND_FIRST = 0xEB00;
constexpr UINT ATL_IDS_IDLEMESSAGE = 0xE001; // "Ready"
constexpr UINT ID_VIEW_TOOLBAR = 0xE800;
constexpr UINT ID_VIEW_STATUS_BAR = 0xE801;
constexpr UINT ID_APP_EXIT = 0xE141;
constexpr UINT ID_APP_ABOUT = 0xE140;

constexpr DWORD ATL_SIMPLE_TOOLBAR_STYLE = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | TBSTYLE_TOOLTIPS;
constexpr DWORD ATL_SIMPLE_TOOLBAR_PANE_STYLE = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS
    | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT;
constexpr DWORD ATL_SIMPLE_CMDBAR_PANE_STYLE = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | CCS_NODIVIDER
    | CCS_NORESIZE | CCS_NOPARENTALIGN | TBSTYLE_FLAT | TBSTYLE_LIST;
constexpr DWORD ATL_SIMPLE_REBAR_STYLE
    = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | RBS_VARHEIGHT | RBS_BANDBORDERS | RBS_AUTOSIZE;
constexpr DWORD ATL_SIMPLE_REBAR_NOBORDER_STYLE
    = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | RBS_VARHEIGHT | RBS_AUTOSIZE | CCS_NODIVIDER;
constexpr DWORD ATL_SIMPLE_STATUSBAR_STYLE = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | SBARS_SIZEGRIP;

// Command bar (a menu bar in a rebar band).
inline constexpr const char16_t* COMMANDBARCLASSNAME = u"TaluvoCommandBar";
constexpr UINT CBRM_GETMENU = WM_USER + 301;
constexpr UINT CBRM_ATTACHMENU = WM_USER + 302; // wParam: the menu; the bar owns it from then on
constexpr UINT CBRM_REFRESH = WM_USER + 303; // re-reads the top-level entries' state

class CCommandBarCtrl : public CWindow {
public:
    CCommandBarCtrl(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    // The bar's commands go to the parent given here (the frame), wherever the bar is placed later.
    HWND Create(HWND parent, const RECT* rect = nullptr, const QString& name = QString(),
        DWORD style = ATL_SIMPLE_CMDBAR_PANE_STYLE, DWORD exStyle = 0, UINT id = ATL_IDW_COMMAND_BAR);
    BOOL AttachMenu(HMENU menu)
    {
        return static_cast<BOOL>(SendMessage(CBRM_ATTACHMENU, reinterpret_cast<WPARAM>(menu)));
    }
    HMENU GetMenu() const { return reinterpret_cast<HMENU>(SendMessage(CBRM_GETMENU)); }
    // Button images of menu items are not shown; kept for the frame's creation sequence.
    BOOL LoadImages(WORD) { return TRUE; }
};

// ---------------------------------------------------------------------------------------------
// UI-update map

constexpr WORD UPDUI_MENUPOPUP = 0x0001;
constexpr WORD UPDUI_MENUBAR = 0x0002;
constexpr WORD UPDUI_CHILDWINDOW = 0x0004;
constexpr WORD UPDUI_TOOLBAR = 0x0008;
constexpr WORD UPDUI_STATUSBAR = 0x0010;
constexpr WORD UPDUI_ENABLED = 0x0000;
constexpr WORD UPDUI_DISABLED = 0x0100;
constexpr WORD UPDUI_CHECKED = 0x0200;
constexpr WORD UPDUI_DEFAULT = 0x1000;

struct _AtlUpdateUIMap {
    WORD m_nID;
    WORD m_wType;
};

#define BEGIN_UPDATE_UI_MAP(thisClass)                                                                                 \
    static const _AtlUpdateUIMap* GetUpdateUIMap()                                                                     \
    {                                                                                                                  \
        static const _AtlUpdateUIMap theMap[] = {
#define UPDATE_ELEMENT(nID, wType) { static_cast<WORD>(nID), static_cast<WORD>(wType) },
#define END_UPDATE_UI_MAP()                                                                                            \
    {                                                                                                                  \
        static_cast<WORD>(-1), 0                                                                                       \
    }                                                                                                                  \
    }                                                                                                                  \
    ;                                                                                                                  \
    return theMap;                                                                                                     \
    }

// One state word per map entry; a change marks the entry for the toolbars and the menu bar, which
// take it when UIUpdateToolBar / UIUpdateMenuBar run (from the idle handler). Popup menus take
// the state when they open (WM_INITMENUPOPUP).
class CUpdateUIBase {
public:
    BOOL UIAddToolBar(HWND toolBar);
    BOOL UIAddMenuBar(HWND menuBarOrCommandBar);
    BOOL UIEnable(int id, BOOL enable, BOOL force = FALSE);
    BOOL UISetCheck(int id, int check, BOOL force = FALSE);
    BOOL UISetCheck(int id, bool check, BOOL force = FALSE) { return UISetCheck(id, check ? 1 : 0, force); }
    BOOL UISetDefault(int id, BOOL isDefault, BOOL force = FALSE);
    // UPDUI_DISABLED / UPDUI_CHECKED / UPDUI_DEFAULT bits of the entry; 0 for an id not in the map.
    DWORD UIGetState(int id) const;
    BOOL UIUpdateToolBar(BOOL force = FALSE);
    BOOL UIUpdateMenuBar(BOOL force = FALSE, BOOL mainMenu = FALSE);

    // WM_INITMENUPOPUP: the popup's items in the map take their state. Leaves the message to others.
    BOOL ProcessUpdateUIMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

protected:
    void InitUpdateUI(const _AtlUpdateUIMap* map);

private:
    struct Element {
        HWND hwnd;
        WORD type;
    };
    BOOL SetState(int id, WORD mask, WORD value, BOOL force);
    std::vector<Element> m_elements;
    std::vector<_AtlUpdateUIMap> m_map;
    std::vector<WORD> m_state;
    std::vector<WORD> m_dirty; // element kinds that have not taken the state yet
};

template <class T> class CUpdateUI : public CUpdateUIBase {
public:
    CUpdateUI() { InitUpdateUI(T::GetUpdateUIMap()); }
    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD = 0)
    {
        return ProcessUpdateUIMessage(uMsg, wParam, lParam, lResult);
    }
};

// ---------------------------------------------------------------------------------------------
// Frame window

#define DECLARE_FRAME_WND_CLASS(name, resourceId)                                                                      \
    static const char16_t* GetWndClassName()                                                                           \
    {                                                                                                                  \
        const char16_t* n = name;                                                                                      \
        return n ? n : u"TaluvoFrame";                                                                                 \
    }                                                                                                                  \
    static WORD GetWndResourceID()                                                                                     \
    {                                                                                                                  \
        return static_cast<WORD>(resourceId);                                                                          \
    }

class CFrameWindowImplBase : public CWindowImplBase {
public:
    HWND m_hWndToolBar = nullptr; // the rebar, or the toolbar when there is no rebar
    HWND m_hWndStatusBar = nullptr;
    HWND m_hWndClient = nullptr;
    HACCEL m_hAccel = nullptr;
    HMENU m_hMenu = nullptr; // the window's menu until a command bar takes it

    ~CFrameWindowImplBase() override;

    HMENU GetMenu() const { return m_hMenu; }
    BOOL SetMenu(HMENU menu)
    {
        m_hMenu = menu;
        return TRUE;
    }

    // A toolbar from a toolbar resource: its buttons in order (images numbered along the
    // buttons), enabled, tooltips from the commands' strings.
    static HWND CreateSimpleToolBarCtrl(HWND parent, WORD resourceId, BOOL initialSeparator = FALSE,
        DWORD style = ATL_SIMPLE_TOOLBAR_STYLE, UINT id = ATL_IDW_TOOLBAR);
    static HWND CreateSimpleReBarCtrl(HWND parent, DWORD style = ATL_SIMPLE_REBAR_STYLE, UINT id = ATL_IDW_TOOLBAR);
    // Adds a band with id ATL_IDW_BAND_FIRST + its number; a new row on request.
    static BOOL AddSimpleReBarBandCtrl(HWND rebar, HWND band, int id = 0, const QString& title = QString(),
        BOOL newRow = FALSE, int cx = 0, BOOL fullWidthAlways = FALSE);
    BOOL CreateSimpleReBar(DWORD style = ATL_SIMPLE_REBAR_STYLE, UINT id = ATL_IDW_TOOLBAR);
    BOOL AddSimpleReBarBand(
        HWND band, const QString& title = QString(), BOOL newRow = FALSE, int cx = 0, BOOL fullWidthAlways = FALSE);
    BOOL CreateSimpleStatusBar(
        UINT textId = ATL_IDS_IDLEMESSAGE, DWORD style = ATL_SIMPLE_STATUSBAR_STYLE, UINT id = ATL_IDW_STATUS_BAR);
    BOOL CreateSimpleStatusBar(
        const QString& text, DWORD style = ATL_SIMPLE_STATUSBAR_STYLE, UINT id = ATL_IDW_STATUS_BAR);

    // Rebar at the top and status bar at the bottom (each sized by itself first), client between.
    void UpdateLayout(BOOL resizeBars = TRUE);
    void UpdateBarsPosition(RECT& rect, BOOL resizeBars = TRUE);

    // Translates the frame's accelerators (for the message filter).
    BOOL TranslateFrameAccelerator(MSG* msg);

    BEGIN_MSG_MAP(CFrameWindowImplBase)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    MESSAGE_HANDLER(WM_MENUSELECT, OnMenuSelect)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    NOTIFY_CODE_HANDLER(RBN_AUTOSIZE, OnReBarAutoSize)
    NOTIFY_CODE_HANDLER(RBN_HEIGHTCHANGE, OnReBarAutoSize)
    END_MSG_MAP()

    LRESULT OnSize(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
    LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled);
    LRESULT OnMenuSelect(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
    LRESULT OnReBarAutoSize(int, LPNMHDR, BOOL& bHandled);

protected:
    HWND CreateFrame(const char16_t* className, WORD resourceId, HWND parent, const RECT* rect, DWORD style,
        DWORD exStyle, LPVOID param);
};

template <class T, class TBase = CWindow> class CFrameWindowImpl : public CFrameWindowImplBase {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, 0)

    // Title, menu, accelerators and icon from the frame's resource id. Style 0 means an
    // overlapped window with clip-children and clip-siblings; extended style 0 means app-window
    // and window-edge.
    HWND CreateEx(
        HWND parent = nullptr, const RECT* rect = nullptr, DWORD style = 0, DWORD exStyle = 0, LPVOID param = nullptr)
    {
        return CreateFrame(T::GetWndClassName(), T::GetWndResourceID(), parent, rect, style, exStyle, param);
    }

    BEGIN_MSG_MAP(CFrameWindowImpl)
    CHAIN_MSG_MAP(CFrameWindowImplBase)
    END_MSG_MAP()
};

// ---------------------------------------------------------------------------------------------
// Splitter

constexpr int SPLIT_PANE_LEFT = 0;
constexpr int SPLIT_PANE_RIGHT = 1;
constexpr int SPLIT_PANE_TOP = SPLIT_PANE_LEFT;
constexpr int SPLIT_PANE_BOTTOM = SPLIT_PANE_RIGHT;
constexpr int SPLIT_PANE_NONE = -1;

// Two panes side by side (vertical bar) or one above the other; in single-pane mode one pane fills
// the splitter and the other is hidden. Commands and notifications of the panes go on to the
// splitter's parent, so the panes talk to the frame as if they were its children.
class CSplitterWindowBase : public CWindowImpl<CSplitterWindowBase> {
public:
    DECLARE_WND_CLASS(u"TaluvoSplitter")

    explicit CSplitterWindowBase(bool vertical)
        : m_vertical(vertical)
    {
    }

    BOOL SetSplitterPane(int pane, HWND hwnd, bool update = true);
    void SetSplitterPanes(HWND first, HWND second, bool update = true);
    HWND GetSplitterPane(int pane) const { return pane == 0 || pane == 1 ? m_panes[pane] : nullptr; }
    BOOL SetSinglePaneMode(int pane = SPLIT_PANE_NONE);
    int GetSinglePaneMode() const { return m_singlePane; }
    BOOL SetSplitterPos(int position = -1, bool update = true);
    int GetSplitterPos() const { return m_position; }
    void UpdateSplitterLayout();

    BEGIN_MSG_MAP(CSplitterWindowBase)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    MESSAGE_HANDLER(WM_COMMAND, OnForward)
    MESSAGE_HANDLER(WM_NOTIFY, OnForward)
    END_MSG_MAP()

    LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnForward(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&);

private:
    bool m_vertical;
    HWND m_panes[2] = { nullptr, nullptr };
    int m_singlePane = SPLIT_PANE_NONE;
    int m_position = -1; // -1: in the middle
    static constexpr int kBarWidth = 4;
};

template <bool t_bVertical = true> class CSplitterWindowT : public CSplitterWindowBase {
public:
    CSplitterWindowT()
        : CSplitterWindowBase(t_bVertical)
    {
    }
};
using CSplitterWindow = CSplitterWindowT<true>;
using CHorSplitterWindow = CSplitterWindowT<false>;

namespace taluvo::ui::test {

// Menus of a command bar the way a user works them: open the popup at that position of the bar
// and highlight (hover) or choose an item of it; read what the open popup shows; close it.
BOOL HoverMenuItem(HWND commandBar, int popupIndex, UINT id);
BOOL ChooseMenuItem(HWND commandBar, int popupIndex, UINT id); // FALSE for a disabled item
BOOL MenuItemShown(HWND commandBar, int popupIndex, UINT id, bool* enabled, bool* checked);
void CloseMenus(HWND commandBar);
// Clicks a toolbar button; FALSE when it is disabled or missing.
BOOL ClickToolBarButton(HWND toolBar, int id);

} // namespace taluvo::ui::test
