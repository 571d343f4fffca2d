// The toolbar over a QToolBar: buttons with images from an image list, their states and tooltips.
// A button's command goes to the window that created the toolbar (the frame), also after a rebar
// took the toolbar into a band, as the Windows control sends to its owner.
#include "platform/ui/CommCtrl.h"

#include "platform/ui/Menu.h"
#include "platform/ui/TestHooks.h"
#include "platform/ui/detail/Bars.h"

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QToolBar>

#include <algorithm>
#include <optional>
#include <vector>

using namespace taluvo::ui::detail;

namespace {

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

void ShowButton(const ToolBarState& state, Button& button)
{
    QAction* action = button.action;
    if (button.style & BTNS_SEP)
        return;
    action->setIcon(taluvo::ui::ImageListIcon(state.images, button.image));
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

// The bar itself: sizes, style, image list, where a button is.
std::optional<LRESULT> BarMessage(ToolBarState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TB_BUTTONSTRUCTSIZE:
    case TB_SETBUTTONSIZE:
    case TB_SETBITMAPSIZE:
        return TRUE;
    case TB_AUTOSIZE:
        state.bar->adjustSize();
        return 0;
    case TB_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect || wParam >= state.buttons.size())
            return FALSE;
        const QRect r = state.bar->actionGeometry(state.buttons[wParam].action);
        *rect = RECT { r.left(), r.top(), r.right() + 1, r.bottom() + 1 };
        return TRUE;
    }
    case TB_SETIMAGELIST: {
        HIMAGELIST previous = state.images;
        state.images = reinterpret_cast<HIMAGELIST>(lParam);
        int cx = 16, cy = 16;
        if (ImageList_GetIconSize(state.images, &cx, &cy))
            state.bar->setIconSize(QSize(cx, cy));
        for (Button& b : state.buttons)
            ShowButton(state, b);
        return reinterpret_cast<LRESULT>(previous);
    }
    case TB_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(state.images);
    case TB_GETSTYLE: {
        auto record = Find(state.hwnd);
        return record ? static_cast<LRESULT>(record->style & 0xFFFF) : 0;
    }
    case TB_SETSTYLE: {
        auto record = Find(state.hwnd);
        if (record) {
            record->style = (record->style & 0xFFFF0000) | (static_cast<DWORD>(lParam) & 0xFFFF);
            Rebuild(state);
        }
        return 0;
    }
    default:
        return std::nullopt;
    }
}

// The buttons: added, removed, counted, read, found by command.
std::optional<LRESULT> ButtonListMessage(ToolBarState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TB_ADDBUTTONS:
    case TB_INSERTBUTTON: {
        const auto* in = reinterpret_cast<const TBBUTTON*>(lParam);
        if (!in)
            return FALSE;
        const int count = message == TB_ADDBUTTONS ? static_cast<int>(wParam) : 1;
        size_t at = state.buttons.size();
        if (message == TB_INSERTBUTTON && static_cast<int>(wParam) >= 0)
            at = std::min<size_t>(static_cast<size_t>(wParam), state.buttons.size());
        for (int i = 0; i < count; ++i) {
            Button button;
            button.id = in[i].idCommand;
            button.image = in[i].iBitmap;
            button.state = in[i].fsState;
            button.style = in[i].fsStyle;
            button.data = in[i].dwData;
            state.buttons.insert(state.buttons.begin() + static_cast<std::ptrdiff_t>(at++), button);
        }
        Rebuild(state);
        return TRUE;
    }
    case TB_DELETEBUTTON:
        if (wParam >= state.buttons.size())
            return FALSE;
        state.buttons.erase(state.buttons.begin() + static_cast<std::ptrdiff_t>(wParam));
        Rebuild(state);
        return TRUE;
    case TB_BUTTONCOUNT:
        return static_cast<LRESULT>(state.buttons.size());
    case TB_GETBUTTON: {
        auto* out = reinterpret_cast<TBBUTTON*>(lParam);
        if (!out || wParam >= state.buttons.size())
            return FALSE;
        const Button& b = state.buttons[wParam];
        *out = TBBUTTON {};
        out->iBitmap = b.image;
        out->idCommand = b.id;
        out->fsState = b.state;
        out->fsStyle = b.style;
        out->dwData = b.data;
        return TRUE;
    }
    case TB_COMMANDTOINDEX:
        for (size_t i = 0; i < state.buttons.size(); ++i)
            if (!(state.buttons[i].style & BTNS_SEP) && state.buttons[i].id == static_cast<int>(wParam))
                return static_cast<LRESULT>(i);
        return -1;
    default:
        return std::nullopt;
    }
}

// A button's state: enabled, checked, pressed, hidden.
std::optional<LRESULT> ButtonStateMessage(ToolBarState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TB_ENABLEBUTTON:
        return SetButtonState(state, wParam, TBSTATE_ENABLED, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_CHECKBUTTON:
        return SetButtonState(state, wParam, TBSTATE_CHECKED, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_PRESSBUTTON:
        return SetButtonState(state, wParam, TBSTATE_PRESSED, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_HIDEBUTTON:
        return SetButtonState(state, wParam, TBSTATE_HIDDEN, LOWORD(static_cast<uintptr_t>(lParam)) != 0);
    case TB_ISBUTTONENABLED: {
        Button* b = ById(state, wParam);
        return b && (b->state & TBSTATE_ENABLED) ? TRUE : FALSE;
    }
    case TB_ISBUTTONCHECKED: {
        Button* b = ById(state, wParam);
        return b && (b->state & TBSTATE_CHECKED) ? TRUE : FALSE;
    }
    case TB_ISBUTTONHIDDEN: {
        Button* b = ById(state, wParam);
        return b && (b->state & TBSTATE_HIDDEN) ? TRUE : FALSE;
    }
    case TB_GETSTATE: {
        Button* b = ById(state, wParam);
        return b ? b->state : -1;
    }
    case TB_SETSTATE: {
        Button* b = ById(state, wParam);
        if (!b)
            return FALSE;
        b->state = static_cast<BYTE>(LOWORD(static_cast<uintptr_t>(lParam)));
        ShowButton(state, *b);
        return TRUE;
    }
    default:
        return std::nullopt;
    }
}

// A button's image, state, style, command and data, read or changed together.
std::optional<LRESULT> ButtonInfoMessage(ToolBarState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TB_GETBUTTONINFO:
    case TB_SETBUTTONINFO: {
        auto* info = reinterpret_cast<TBBUTTONINFO*>(lParam);
        if (!info)
            return -1;
        Button* b = nullptr;
        if (info->dwMask & TBIF_BYINDEX)
            b = wParam < state.buttons.size() ? &state.buttons[wParam] : nullptr;
        else
            b = ById(state, wParam);
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
            return static_cast<LRESULT>(b - state.buttons.data());
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
            Rebuild(state);
        } else {
            ShowButton(state, *b);
        }
        return TRUE;
    }
    default:
        return std::nullopt;
    }
}

LRESULT ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf<ToolBarState>(hwnd);
    if (!state || !state->bar)
        return DefWindowProc(hwnd, message, wParam, lParam);
    for (auto* group : { BarMessage, ButtonListMessage, ButtonStateMessage, ButtonInfoMessage })
        if (const auto result = group(*state, message, wParam, lParam))
            return *result;
    return DefWindowProc(hwnd, message, wParam, lParam);
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

} // namespace

namespace taluvo::ui::detail {

void RegisterToolBarClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(TOOLBARCLASSNAME), ToolBarProc, MakeToolBar });
}

} // namespace taluvo::ui::detail

namespace taluvo::ui::test {

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
