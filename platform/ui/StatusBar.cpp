// The status bar over a QStatusBar: its parts (the first one shown) and the simple mode's text.
#include "platform/ui/CommCtrl.h"

#include "platform/ui/detail/Bars.h"

#include <QLabel>
#include <QStatusBar>

#include <algorithm>
#include <vector>

using namespace taluvo::ui::detail;

namespace {

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
    // The bar paints its own face, as on Windows, whatever its parent paints under it.
    state->bar->setAutoFillBackground(true);
    state->bar->setSizeGripEnabled((record.style & SBARS_SIZEGRIP) != 0);
    state->label = new QLabel(state->bar);
    state->bar->addWidget(state->label, 1);
    state->parts.front() = record.text;
    record.controlState = state;
    ShowStatus(*state);
    return state->bar;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterStatusBarClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(STATUSCLASSNAME), StatusProc, MakeStatus });
}

} // namespace taluvo::ui::detail
