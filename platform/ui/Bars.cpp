// The frame's bars over Qt widgets: toolbar (QToolBar), status bar (QStatusBar), rebar (rows of
// bands) and the command bar (a QMenuBar built from a menu object).
//
// The toolbar and the command bar send their commands to the window that created them (the frame),
// also after a rebar took them into a band, as the Windows controls send to their owner.
#include "platform/ui/CommCtrl.h"

#include "platform/ui/Frame.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Core.h"
#include "platform/ui/detail/MenuWidgets.h"

#include <QAction>
#include <QBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>

#include <memory>

using namespace taluvo::ui::detail;

namespace {

// ---------------------------------------------------------------------------------------------
// Toolbar

struct Button {
    int id = 0;
    int image = 0;
    BYTE state = TBSTATE_ENABLED;
    BYTE style = BTNS_BUTTON;
    DWORD_PTR data = 0;
    QAction* action = nullptr;
};

struct ToolBarState {
    HWND hwnd = nullptr;
    QToolBar* bar = nullptr;
    std::vector<Button> buttons;
    HIMAGELIST images = nullptr;
};

template <class State> std::shared_ptr<State> StateOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? std::static_pointer_cast<State>(record->controlState) : nullptr;
}

void ShowButton(const ToolBarState& state, Button& button)
{
    QAction* action = button.action;
    if (button.style & BTNS_SEP)
        return;
    const QImage image = taluvo::ui::ImageListImage(state.images, button.image);
    action->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    action->setEnabled((button.state & TBSTATE_ENABLED) != 0);
    action->setCheckable((button.style & BTNS_CHECK) || (button.state & TBSTATE_CHECKED));
    action->setChecked((button.state & TBSTATE_CHECKED) != 0);
    action->setVisible(!(button.state & TBSTATE_HIDDEN));
}

// The toolbar's tooltip of a command: its string after the newline.
QString ToolTipOf(int id)
{
    QString text;
    if (!taluvo::ui::LoadStringResource(static_cast<UINT>(id), &text))
        return QString();
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.mid(newline + 1);
}

void Rebuild(ToolBarState& state)
{
    auto record = Find(state.hwnd);
    const bool tips = record && (record->style & TBSTYLE_TOOLTIPS);
    state.bar->clear();
    for (Button& button : state.buttons) {
        if (button.style & BTNS_SEP) {
            button.action = state.bar->addSeparator();
            continue;
        }
        button.action = state.bar->addAction(QString());
        button.action->setToolTip(tips ? ToolTipOf(button.id) : QString());
        const int id = button.id;
        const HWND hwnd = state.hwnd;
        QObject::connect(button.action, &QAction::triggered, button.action, [hwnd, id]() {
            auto r = Find(hwnd);
            if (!r || !r->parent || r->destroying)
                return;
            if (auto s = StateOf<ToolBarState>(hwnd))
                for (Button& b : s->buttons)
                    if (b.id == id && b.action)
                        b.state = static_cast<BYTE>(
                            b.action->isChecked() ? (b.state | TBSTATE_CHECKED) : (b.state & ~TBSTATE_CHECKED));
            SendMessage(
                r->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
        });
        ShowButton(state, button);
    }
}

Button* ById(ToolBarState& state, WPARAM id)
{
    for (Button& button : state.buttons)
        if (!(button.style & BTNS_SEP) && button.id == static_cast<int>(id))
            return &button;
    return nullptr;
}

LRESULT SetButtonState(ToolBarState& state, WPARAM id, BYTE bit, bool on)
{
    Button* button = ById(state, id);
    if (!button)
        return FALSE;
    button->state = static_cast<BYTE>(on ? (button->state | bit) : (button->state & ~bit));
    ShowButton(state, *button);
    return TRUE;
}

LRESULT ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf<ToolBarState>(hwnd);
    if (!state || !state->bar)
        return DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
    case TB_BUTTONSTRUCTSIZE:
    case TB_SETBUTTONSIZE:
    case TB_SETBITMAPSIZE:
        return TRUE;
    case TB_AUTOSIZE:
        state->bar->adjustSize();
        return 0;
    case TB_ADDBUTTONS:
    case TB_INSERTBUTTON: {
        const auto* in = reinterpret_cast<const TBBUTTON*>(lParam);
        if (!in)
            return FALSE;
        const int count = message == TB_ADDBUTTONS ? static_cast<int>(wParam) : 1;
        size_t at = state->buttons.size();
        if (message == TB_INSERTBUTTON && static_cast<int>(wParam) >= 0)
            at = std::min<size_t>(static_cast<size_t>(wParam), state->buttons.size());
        for (int i = 0; i < count; ++i) {
            Button button;
            button.id = in[i].idCommand;
            button.image = in[i].iBitmap;
            button.state = in[i].fsState;
            button.style = in[i].fsStyle;
            button.data = in[i].dwData;
            state->buttons.insert(state->buttons.begin() + static_cast<std::ptrdiff_t>(at++), button);
        }
        Rebuild(*state);
        return TRUE;
    }
    case TB_DELETEBUTTON:
        if (wParam >= state->buttons.size())
            return FALSE;
        state->buttons.erase(state->buttons.begin() + static_cast<std::ptrdiff_t>(wParam));
        Rebuild(*state);
        return TRUE;
    case TB_BUTTONCOUNT:
        return static_cast<LRESULT>(state->buttons.size());
    case TB_GETBUTTON: {
        auto* out = reinterpret_cast<TBBUTTON*>(lParam);
        if (!out || wParam >= state->buttons.size())
            return FALSE;
        const Button& b = state->buttons[wParam];
        *out = TBBUTTON {};
        out->iBitmap = b.image;
        out->idCommand = b.id;
        out->fsState = b.state;
        out->fsStyle = b.style;
        out->dwData = b.data;
        return TRUE;
    }
    case TB_COMMANDTOINDEX:
        for (size_t i = 0; i < state->buttons.size(); ++i)
            if (!(state->buttons[i].style & BTNS_SEP) && state->buttons[i].id == static_cast<int>(wParam))
                return static_cast<LRESULT>(i);
        return -1;
    case TB_ENABLEBUTTON:
        return SetButtonState(*state, wParam, TBSTATE_ENABLED, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_CHECKBUTTON:
        return SetButtonState(*state, wParam, TBSTATE_CHECKED, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_PRESSBUTTON:
        return SetButtonState(*state, wParam, TBSTATE_PRESSED, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_HIDEBUTTON:
        return SetButtonState(*state, wParam, TBSTATE_HIDDEN, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_ISBUTTONENABLED: {
        Button* b = ById(*state, wParam);
        return b && (b->state & TBSTATE_ENABLED) ? TRUE : FALSE;
    }
    case TB_ISBUTTONCHECKED: {
        Button* b = ById(*state, wParam);
        return b && (b->state & TBSTATE_CHECKED) ? TRUE : FALSE;
    }
    case TB_ISBUTTONHIDDEN: {
        Button* b = ById(*state, wParam);
        return b && (b->state & TBSTATE_HIDDEN) ? TRUE : FALSE;
    }
    case TB_GETSTATE: {
        Button* b = ById(*state, wParam);
        return b ? b->state : -1;
    }
    case TB_SETSTATE: {
        Button* b = ById(*state, wParam);
        if (!b)
            return FALSE;
        b->state = static_cast<BYTE>(LOWORD(static_cast<uintptr_t>(lParam)));
        ShowButton(*state, *b);
        return TRUE;
    }
    case TB_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect || wParam >= state->buttons.size())
            return FALSE;
        const QRect r = state->bar->actionGeometry(state->buttons[wParam].action);
        *rect = RECT { r.left(), r.top(), r.right() + 1, r.bottom() + 1 };
        return TRUE;
    }
    case TB_SETIMAGELIST: {
        HIMAGELIST previous = state->images;
        state->images = reinterpret_cast<HIMAGELIST>(lParam);
        int cx = 16, cy = 16;
        if (ImageList_GetIconSize(state->images, &cx, &cy))
            state->bar->setIconSize(QSize(cx, cy));
        for (Button& b : state->buttons)
            ShowButton(*state, b);
        return reinterpret_cast<LRESULT>(previous);
    }
    case TB_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(state->images);
    case TB_GETSTYLE: {
        auto record = Find(hwnd);
        return record ? static_cast<LRESULT>(record->style & 0xFFFF) : 0;
    }
    case TB_SETSTYLE: {
        auto record = Find(hwnd);
        if (record) {
            record->style = (record->style & 0xFFFF0000) | (static_cast<DWORD>(lParam) & 0xFFFF);
            Rebuild(*state);
        }
        return 0;
    }
    case TB_GETBUTTONINFO:
    case TB_SETBUTTONINFO: {
        auto* info = reinterpret_cast<TBBUTTONINFO*>(lParam);
        if (!info)
            return -1;
        Button* b = nullptr;
        if (info->dwMask & TBIF_BYINDEX)
            b = wParam < state->buttons.size() ? &state->buttons[wParam] : nullptr;
        else
            b = ById(*state, wParam);
        if (!b)
            return message == TB_GETBUTTONINFO ? -1 : FALSE;
        if (message == TB_GETBUTTONINFO) {
            if (info->dwMask & TBIF_IMAGE)
                info->iImage = b->image;
            if (info->dwMask & TBIF_STATE)
                info->fsState = b->state;
            if (info->dwMask & TBIF_STYLE)
                info->fsStyle = b->style;
            if (info->dwMask & TBIF_COMMAND)
                info->idCommand = b->id;
            if (info->dwMask & TBIF_LPARAM)
                info->lParam = b->data;
            return static_cast<LRESULT>(b - state->buttons.data());
        }
        if (info->dwMask & TBIF_IMAGE)
            b->image = info->iImage;
        if (info->dwMask & TBIF_STATE)
            b->state = info->fsState;
        if (info->dwMask & TBIF_LPARAM)
            b->data = info->lParam;
        if (info->dwMask & TBIF_COMMAND)
            b->id = info->idCommand;
        if (info->dwMask & (TBIF_STYLE | TBIF_COMMAND)) {
            if (info->dwMask & TBIF_STYLE)
                b->style = info->fsStyle;
            Rebuild(*state);
        } else {
            ShowButton(*state, *b);
        }
        return TRUE;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeToolBar(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<ToolBarState>();
    state->hwnd = record.hwnd;
    state->bar = new QToolBar(parent);
    state->bar->setMovable(false);
    state->bar->setFloatable(false);
    state->bar->setIconSize(QSize(16, 16));
    state->bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    record.controlState = state;
    return state->bar;
}

// ---------------------------------------------------------------------------------------------
// Status bar

struct StatusState {
    HWND hwnd = nullptr;
    QStatusBar* bar = nullptr;
    QLabel* label = nullptr;
    std::vector<QString> parts { QString() };
    QString simpleText;
    bool simple = false;
    bool placing = false;
};

void ShowStatus(StatusState& state)
{
    state.label->setText(state.parts.empty() ? QString() : state.parts.front());
    if (state.simple)
        // An empty message would show the parts again; a blank keeps the simple pane.
        state.bar->showMessage(state.simpleText.isEmpty() ? QStringLiteral(" ") : state.simpleText);
    else
        state.bar->clearMessage();
}

// Bars that align themselves to their parent (CCS_TOP / CCS_BOTTOM) do it when they get WM_SIZE,
// as the Windows controls do; the frame sends it before it lays itself out.
void AlignToParent(HWND hwnd, int height, bool bottom)
{
    auto record = Find(hwnd);
    if (!record || !record->parent)
        return;
    RECT client;
    if (!GetClientRect(record->parent, &client))
        return;
    const int width = client.right - client.left;
    MoveWindow(hwnd, 0, bottom ? client.bottom - height : 0, width, height, TRUE);
}

LRESULT StatusProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf<StatusState>(hwnd);
    if (!state || !state->bar)
        return DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SIZE: {
        if (state->placing)
            return 0;
        auto record = Find(hwnd);
        if (record && !(record->style & CCS_NOPARENTALIGN)) {
            state->placing = true;
            AlignToParent(hwnd, state->bar->sizeHint().height(), true);
            state->placing = false;
        }
        return 0;
    }
    case WM_SETTEXT:
        state->parts.front() = TextParam(lParam);
        DefWindowProc(hwnd, message, wParam, lParam);
        ShowStatus(*state);
        return TRUE;
    case SB_SETTEXT: {
        const UINT part = static_cast<UINT>(wParam & 0xFF);
        if (part == SB_SIMPLEID) {
            state->simpleText = TextParam(lParam);
        } else {
            if (part >= state->parts.size())
                return FALSE;
            state->parts[part] = TextParam(lParam);
        }
        ShowStatus(*state);
        return TRUE;
    }
    case SB_GETTEXTLENGTH:
    case SB_GETTEXT: {
        const UINT part = static_cast<UINT>(wParam & 0xFF);
        QString text;
        if (part == SB_SIMPLEID)
            text = state->simpleText;
        else if (part < state->parts.size())
            text = state->parts[part];
        if (message == SB_GETTEXTLENGTH)
            return MAKELONG(static_cast<WORD>(text.size()), 0);
        if (lParam) {
            auto* out = reinterpret_cast<char16_t*>(lParam);
            std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), text.size(), out);
            out[text.size()] = u'\0';
        }
        return MAKELONG(static_cast<WORD>(text.size()), 0);
    }
    case SB_SETPARTS: {
        const int count = static_cast<int>(wParam);
        if (count < 1 || count > 256)
            return FALSE;
        state->parts.resize(static_cast<size_t>(count));
        ShowStatus(*state);
        return TRUE;
    }
    case SB_GETPARTS:
        return static_cast<LRESULT>(state->parts.size());
    case SB_SIMPLE:
        state->simple = wParam != 0;
        ShowStatus(*state);
        return TRUE;
    case SB_ISSIMPLE:
        return state->simple ? TRUE : FALSE;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeStatus(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<StatusState>();
    state->hwnd = record.hwnd;
    state->bar = new QStatusBar(parent);
    state->bar->setSizeGripEnabled((record.style & SBARS_SIZEGRIP) != 0);
    state->label = new QLabel(state->bar);
    state->bar->addWidget(state->label, 1);
    state->parts.front() = record.text;
    record.controlState = state;
    ShowStatus(*state);
    return state->bar;
}

// ---------------------------------------------------------------------------------------------
// Rebar

struct Band {
    UINT id = 0;
    UINT style = 0;
    HWND child = nullptr;
    QString text;
    UINT cx = 0;
    UINT cyMinChild = 0;
    LPARAM param = 0;
};

struct RebarState {
    HWND hwnd = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* rows = nullptr;
    std::vector<Band> bands;
    int height = 0;
    bool placing = false;
};

void LayOutBands(RebarState& state)
{
    while (QLayoutItem* row = state.rows->takeAt(0)) {
        if (QLayout* layout = row->layout())
            while (QLayoutItem* cell = layout->takeAt(0))
                delete cell;
        delete row;
    }
    QHBoxLayout* row = nullptr;
    for (const Band& band : state.bands) {
        QWidget* child = WidgetOf(band.child);
        const bool shown = !(band.style & RBBS_HIDDEN);
        if (child) {
            child->setParent(state.widget);
            child->setVisible(shown);
        }
        // A hidden band's child is a hidden window, as IsWindowVisible and its parent see it.
        if (auto childRecord = Find(band.child)) {
            if (shown)
                childRecord->style |= WS_VISIBLE;
            else
                childRecord->style &= ~WS_VISIBLE;
        }
        if (!shown || !child)
            continue;
        if (!row || (band.style & RBBS_BREAK)) {
            row = new QHBoxLayout();
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(2);
            state.rows->addLayout(row);
        }
        if (band.cyMinChild)
            child->setMinimumHeight(static_cast<int>(band.cyMinChild));
        row->addWidget(child, 1);
    }
    state.rows->invalidate();
    state.rows->activate();
    const int height = state.rows->count() ? state.rows->sizeHint().height() : 0;
    if (height != state.height) {
        state.height = height;
        auto record = Find(state.hwnd);
        // The rebar takes its new height itself, then tells the parent to lay out around it.
        if (record && !(record->style & CCS_NOPARENTALIGN) && !state.placing) {
            state.placing = true;
            AlignToParent(state.hwnd, height, false);
            state.placing = false;
        }
        if (record && record->parent && !record->destroying) {
            NMHDR header;
            header.hwndFrom = state.hwnd;
            header.idFrom = record->id;
            header.code = RBN_HEIGHTCHANGE;
            SendMessage(record->parent, WM_NOTIFY, record->id, reinterpret_cast<LPARAM>(&header));
            if (record->style & RBS_AUTOSIZE) {
                header.code = RBN_AUTOSIZE;
                SendMessage(record->parent, WM_NOTIFY, record->id, reinterpret_cast<LPARAM>(&header));
            }
        }
    }
}

void ReadBand(Band& band, const REBARBANDINFO& info)
{
    if (info.fMask & RBBIM_STYLE)
        band.style = info.fStyle;
    if (info.fMask & RBBIM_ID)
        band.id = info.wID;
    if (info.fMask & RBBIM_CHILD)
        band.child = info.hwndChild;
    if ((info.fMask & RBBIM_TEXT) && info.lpText)
        band.text = QString::fromUtf16(info.lpText);
    if (info.fMask & RBBIM_SIZE)
        band.cx = info.cx;
    if (info.fMask & RBBIM_CHILDSIZE)
        band.cyMinChild = info.cyMinChild;
    if (info.fMask & 0x0400) // RBBIM_LPARAM
        band.param = info.lParam;
}

LRESULT RebarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf<RebarState>(hwnd);
    if (!state || !state->widget)
        return DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SIZE: {
        auto record = Find(hwnd);
        if (state->placing || !record || (record->style & CCS_NOPARENTALIGN))
            return 0;
        state->placing = true;
        AlignToParent(hwnd, state->height, false);
        state->placing = false;
        return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY: {
        // A band's child that names the rebar as its parent still talks to the frame.
        auto record = Find(hwnd);
        return record && record->parent ? SendMessage(record->parent, message, wParam, lParam) : 0;
    }
    case RB_INSERTBAND: {
        const auto* info = reinterpret_cast<const REBARBANDINFO*>(lParam);
        if (!info)
            return FALSE;
        Band band;
        ReadBand(band, *info);
        const int index = static_cast<int>(wParam);
        const size_t at
            = index < 0 ? state->bands.size() : std::min<size_t>(static_cast<size_t>(index), state->bands.size());
        state->bands.insert(state->bands.begin() + static_cast<std::ptrdiff_t>(at), band);
        LayOutBands(*state);
        return TRUE;
    }
    case RB_DELETEBAND:
        if (wParam >= state->bands.size())
            return FALSE;
        if (QWidget* child = WidgetOf(state->bands[wParam].child))
            child->hide();
        state->bands.erase(state->bands.begin() + static_cast<std::ptrdiff_t>(wParam));
        LayOutBands(*state);
        return TRUE;
    case RB_SETBANDINFO: {
        const auto* info = reinterpret_cast<const REBARBANDINFO*>(lParam);
        if (!info || wParam >= state->bands.size())
            return FALSE;
        ReadBand(state->bands[wParam], *info);
        LayOutBands(*state);
        return TRUE;
    }
    case RB_GETBANDINFO: {
        auto* info = reinterpret_cast<REBARBANDINFO*>(lParam);
        if (!info || wParam >= state->bands.size())
            return FALSE;
        const Band& band = state->bands[wParam];
        info->fStyle = band.style;
        info->wID = band.id;
        info->hwndChild = band.child;
        info->cx = band.cx;
        info->cyMinChild = band.cyMinChild;
        info->lParam = band.param;
        return TRUE;
    }
    case RB_GETBANDCOUNT:
        return static_cast<LRESULT>(state->bands.size());
    case RB_GETROWCOUNT:
        return state->rows->count();
    case RB_GETBARHEIGHT:
        return state->height;
    case RB_IDTOINDEX:
        for (size_t i = 0; i < state->bands.size(); ++i)
            if (state->bands[i].id == static_cast<UINT>(wParam))
                return static_cast<LRESULT>(i);
        return -1;
    case RB_SHOWBAND: {
        if (wParam >= state->bands.size())
            return FALSE;
        Band& band = state->bands[wParam];
        band.style = lParam ? (band.style & ~RBBS_HIDDEN) : (band.style | RBBS_HIDDEN);
        LayOutBands(*state);
        return TRUE;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeRebar(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<RebarState>();
    state->hwnd = record.hwnd;
    state->widget = new QWidget(parent);
    state->rows = new QVBoxLayout(state->widget);
    state->rows->setContentsMargins(0, 0, 0, 0);
    state->rows->setSpacing(0);
    record.controlState = state;
    return state->widget;
}

// ---------------------------------------------------------------------------------------------
// Command bar

struct CommandBarState {
    HWND hwnd = nullptr;
    QMenuBar* bar = nullptr;
    HMENU menu = nullptr;
    std::vector<QMenu*> popups;
};

HWND OwnerOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? record->parent : nullptr;
}

void AttachMenu(CommandBarState& state, HMENU menu)
{
    state.bar->clear();
    state.popups.clear();
    state.menu = menu;
    const HWND owner = OwnerOf(state.hwnd);
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const HMENU popup = GetSubMenu(menu, i);
        const QString text = GetMenuString(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (!popup) {
            // A command on the bar itself.
            const UINT id = GetMenuItemID(menu, i);
            QAction* action = state.bar->addAction(text);
            action->setData(id);
            QObject::connect(action, &QAction::triggered, action,
                [owner, id]() { PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0); });
            state.popups.push_back(nullptr);
            continue;
        }
        QMenu* qmenu = state.bar->addMenu(text);
        state.popups.push_back(qmenu);
        auto chosen = [owner](UINT id) {
            // As a tracked popup does: the command is posted once the menu has closed.
            PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
        };
        FillQMenu(qmenu, popup, owner, chosen);
        QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [qmenu, popup, owner, i, chosen]() {
            if (IsWindow(owner))
                SendMessage(
                    owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(static_cast<WORD>(i), FALSE));
            FillQMenu(qmenu, popup, owner, chosen);
        });
        QObject::connect(qmenu, &QMenu::aboutToHide, qmenu, [owner]() { SendMenuSelect(owner, nullptr, 0, 0); });
        const HMENU bar = menu;
        QObject::connect(qmenu->menuAction(), &QAction::hovered, qmenu,
            [owner, bar, i]() { SendMenuSelect(owner, bar, static_cast<UINT>(i), MF_POPUP); });
    }
}

LRESULT CommandBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf<CommandBarState>(hwnd);
    if (!state || !state->bar)
        return DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
    case CBRM_GETMENU:
        return reinterpret_cast<LRESULT>(state->menu);
    case CBRM_ATTACHMENU:
        if (state->menu && state->menu != reinterpret_cast<HMENU>(wParam))
            DestroyMenu(state->menu);
        AttachMenu(*state, reinterpret_cast<HMENU>(wParam));
        return TRUE;
    case WM_DESTROY:
        // The bar owns the menu it shows.
        if (state->menu)
            DestroyMenu(state->menu);
        state->menu = nullptr;
        return DefWindowProc(hwnd, message, wParam, lParam);
    case CBRM_REFRESH: {
        // Top-level entries take the menu's enabled state.
        const auto actions = state->bar->actions();
        for (int i = 0; i < actions.size(); ++i) {
            const UINT flags = GetMenuState(state->menu, static_cast<UINT>(i), MF_BYPOSITION);
            if (flags != static_cast<UINT>(-1))
                actions[i]->setEnabled(!(flags & (MF_GRAYED | MF_DISABLED)));
        }
        return TRUE;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeCommandBar(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<CommandBarState>();
    state->hwnd = record.hwnd;
    state->bar = new QMenuBar(parent);
    state->bar->setNativeMenuBar(false);
    record.controlState = state;
    return state->bar;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterBarClasses()
{
    RegisterBuiltinClass({ QString::fromUtf16(TOOLBARCLASSNAME), ToolBarProc, MakeToolBar });
    RegisterBuiltinClass({ QString::fromUtf16(STATUSCLASSNAME), StatusProc, MakeStatus });
    RegisterBuiltinClass({ QString::fromUtf16(REBARCLASSNAME), RebarProc, MakeRebar });
    RegisterBuiltinClass({ QString::fromUtf16(COMMANDBARCLASSNAME), CommandBarProc, MakeCommandBar });
}

} // namespace taluvo::ui::detail

// ---------------------------------------------------------------------------------------------
// Test hooks of the bars

namespace taluvo::ui::test {

namespace {

QMenu* OpenPopup(HWND commandBar, int popupIndex)
{
    auto state = StateOf<CommandBarState>(commandBar);
    if (!state || popupIndex < 0 || static_cast<size_t>(popupIndex) >= state->popups.size())
        return nullptr;
    QMenu* menu = state->popups[static_cast<size_t>(popupIndex)];
    if (menu && !menu->isVisible())
        menu->popup(state->bar->mapToGlobal(QPoint(0, state->bar->height())));
    return menu;
}

QAction* ActionOf(QMenu* menu, UINT id)
{
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && !action->menu() && action->data().toUInt() == id)
            return action;
    return nullptr;
}

} // namespace

BOOL HoverMenuItem(HWND commandBar, int popupIndex, UINT id)
{
    QAction* action = ActionOf(OpenPopup(commandBar, popupIndex), id);
    if (!action)
        return FALSE;
    action->hover();
    return TRUE;
}

BOOL ChooseMenuItem(HWND commandBar, int popupIndex, UINT id)
{
    QMenu* menu = OpenPopup(commandBar, popupIndex);
    QAction* action = ActionOf(menu, id);
    if (!action || !action->isEnabled())
        return FALSE;
    menu->hide();
    action->trigger();
    return TRUE;
}

BOOL MenuItemShown(HWND commandBar, int popupIndex, UINT id, bool* enabled, bool* checked)
{
    QAction* action = ActionOf(OpenPopup(commandBar, popupIndex), id);
    if (!action)
        return FALSE;
    if (enabled)
        *enabled = action->isEnabled();
    if (checked)
        *checked = action->isChecked();
    return TRUE;
}

void CloseMenus(HWND commandBar)
{
    auto state = StateOf<CommandBarState>(commandBar);
    if (!state)
        return;
    for (QMenu* menu : state->popups)
        if (menu && menu->isVisible())
            menu->hide();
}

BOOL ClickToolBarButton(HWND toolBar, int id)
{
    auto state = StateOf<ToolBarState>(toolBar);
    Button* button = state ? ById(*state, static_cast<WPARAM>(id)) : nullptr;
    if (!button || !button->action || !button->action->isEnabled())
        return FALSE;
    button->action->trigger();
    return TRUE;
}

} // namespace taluvo::ui::test
