// The trackbar and the scroll-bar control over Qt's sliders. Both tell the parent about every move
// of the user with WM_HSCROLL or WM_VSCROLL; they differ in who moves: a trackbar moves its thumb
// itself, a scroll bar leaves that to the parent (Qt's own move is undone before the parent
// hears of it).
#include "platform/ui/ScrollBar.h"
#include "platform/ui/Trackbar.h"
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>

using namespace taluvo::ui::detail;

namespace {

// The scroll code of a Qt slider action; -1 for none.
int ScrollCode(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd:
        return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub:
        return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd:
        return SB_PAGEDOWN;
    case QAbstractSlider::SliderToMinimum:
        return SB_TOP;
    case QAbstractSlider::SliderToMaximum:
        return SB_BOTTOM;
    case QAbstractSlider::SliderMove:
        return SB_THUMBTRACK;
    default:
        return -1;
    }
}

void TellParent(HWND control, Qt::Orientation orientation, WORD code, int position)
{
    auto record = Find(control);
    if (!record || !record->parent || record->destroying)
        return;
    const bool withPosition = code == SB_THUMBTRACK || code == SB_THUMBPOSITION;
    SendMessage(record->parent, orientation == Qt::Horizontal ? WM_HSCROLL : WM_VSCROLL,
        MAKEWPARAM(code, withPosition ? static_cast<WORD>(static_cast<short>(position)) : 0),
        reinterpret_cast<LPARAM>(control));
}

// The desktop style marks the focus of edits and buttons with an outline in its focus colour but
// draws none on a scroll bar (and only a faint one on a slider's handle), so a bar reached with Tab
// looked like every other. Both get the outline the edits show.
template <class Slider> class FocusMarked : public Slider {
public:
    using Slider::Slider;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        Slider::paintEvent(event);
        if (!this->hasFocus())
            return;
        QPainter painter(this);
        const QColor highlight = this->palette().color(QPalette::Highlight);
        QColor inner = highlight;
        inner.setAlpha(110);
        painter.setPen(inner);
        painter.drawRect(this->rect().adjusted(1, 1, -2, -2));
        painter.setPen(highlight.darker(125));
        painter.drawRect(this->rect().adjusted(0, 0, -1, -1));
    }
};

// ---------------------------------------------------------------------------------------------
// Trackbar

struct TrackbarState {
    bool pageSizeSet = false; // otherwise a fifth of the range, as on Windows
};

void DefaultPageSize(QSlider* slider, const TrackbarState& state)
{
    if (!state.pageSizeSet)
        slider->setPageStep(std::max(1, (slider->maximum() - slider->minimum()) / 5));
}

LRESULT TrackbarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    auto* slider = record ? qobject_cast<QSlider*>(record->widget.data()) : nullptr;
    if (!slider)
        return DefWindowProc(hwnd, message, wParam, lParam);
    auto& state = *std::static_pointer_cast<TrackbarState>(record->controlState);
    const int value = static_cast<int>(lParam);
    switch (message) {
    case TBM_GETPOS:
        return slider->sliderPosition(); // already the new one while the parent hears of a move
    case TBM_GETRANGEMIN:
        return slider->minimum();
    case TBM_GETRANGEMAX:
        return slider->maximum();
    case TBM_SETPOS:
        slider->setValue(value); // Qt keeps it inside the range
        return 0;
    case TBM_SETRANGE:
        slider->setRange(static_cast<short>(LOWORD(static_cast<DWORD>(lParam))),
            static_cast<short>(HIWORD(static_cast<DWORD>(lParam))));
        DefaultPageSize(slider, state);
        return 0;
    case TBM_SETRANGEMIN:
        slider->setMinimum(value);
        DefaultPageSize(slider, state);
        return 0;
    case TBM_SETRANGEMAX:
        slider->setMaximum(value);
        DefaultPageSize(slider, state);
        return 0;
    case TBM_SETTICFREQ:
        slider->setTickInterval(std::max(1, static_cast<int>(wParam)));
        return 0;
    case TBM_SETPAGESIZE: {
        const int previous = slider->pageStep();
        state.pageSizeSet = true;
        slider->setPageStep(std::max(1, value));
        return previous;
    }
    case TBM_GETPAGESIZE:
        return slider->pageStep();
    case TBM_SETLINESIZE: {
        const int previous = slider->singleStep();
        slider->setSingleStep(std::max(1, value));
        return previous;
    }
    case TBM_GETLINESIZE:
        return slider->singleStep();
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeTrackbar(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<TrackbarState>();
    record.controlState = state;
    const HWND hwnd = record.hwnd;
    const Qt::Orientation orientation = (record.style & TBS_VERT) ? Qt::Vertical : Qt::Horizontal;
    auto* slider = new FocusMarked<QSlider>(orientation, parent);
    slider->setRange(0, 100);
    slider->setSingleStep(1);
    DefaultPageSize(slider, *state);
    if ((record.style & TBS_AUTOTICKS) && !(record.style & TBS_NOTICKS)) {
        slider->setTickInterval(1);
        slider->setTickPosition((record.style & TBS_BOTH) ? QSlider::TicksBothSides
                : (record.style & TBS_TOP)                ? QSlider::TicksAbove
                                                          : QSlider::TicksBelow);
    }
    slider->setFocusPolicy((record.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    QObject::connect(slider, &QAbstractSlider::actionTriggered, [hwnd, slider, orientation](int action) {
        const int code = ScrollCode(action);
        if (code < 0)
            return;
        TellParent(hwnd, orientation, static_cast<WORD>(code), slider->sliderPosition());
        if (code != SB_THUMBTRACK)
            TellParent(hwnd, orientation, TB_ENDTRACK, 0);
    });
    QObject::connect(slider, &QAbstractSlider::sliderReleased, [hwnd, slider, orientation]() {
        TellParent(hwnd, orientation, TB_THUMBPOSITION, slider->sliderPosition());
        TellParent(hwnd, orientation, TB_ENDTRACK, 0);
    });
    return slider;
}

// ---------------------------------------------------------------------------------------------
// Scroll bar

struct ScrollBarState {
    int min = 0;
    int max = 100;
    UINT page = 0;
    int trackPos = 0;
};

int HighestPosition(const ScrollBarState& state)
{
    return std::max(state.min, state.max - std::max(0, static_cast<int>(state.page) - 1));
}

void ApplyRange(QScrollBar* bar, const ScrollBarState& state)
{
    bar->setRange(state.min, HighestPosition(state));
    bar->setPageStep(std::max(1, static_cast<int>(state.page)));
}

LRESULT ScrollBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    auto* bar = record ? qobject_cast<QScrollBar*>(record->widget.data()) : nullptr;
    if (!bar)
        return DefWindowProc(hwnd, message, wParam, lParam);
    auto& state = *std::static_pointer_cast<ScrollBarState>(record->controlState);
    switch (message) {
    case SBM_SETPOS: {
        const int previous = bar->value();
        bar->setValue(static_cast<int>(wParam));
        return previous;
    }
    case SBM_GETPOS:
        return bar->value();
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
        const int previous = bar->value();
        state.min = static_cast<int>(wParam);
        state.max = std::max(state.min, static_cast<int>(lParam));
        ApplyRange(bar, state);
        return previous;
    }
    case SBM_GETRANGE:
        if (wParam)
            *reinterpret_cast<int*>(wParam) = state.min;
        if (lParam)
            *reinterpret_cast<int*>(lParam) = state.max;
        return 0;
    case SBM_SETSCROLLINFO: {
        auto* info = reinterpret_cast<const SCROLLINFO*>(lParam);
        if (!info)
            return bar->value();
        if (info->fMask & SIF_RANGE) {
            state.min = info->nMin;
            state.max = std::max(info->nMin, info->nMax);
        }
        if (info->fMask & SIF_PAGE)
            state.page = std::min<UINT>(info->nPage, static_cast<UINT>(state.max - state.min + 1));
        ApplyRange(bar, state);
        if (info->fMask & SIF_POS)
            bar->setValue(info->nPos);
        return bar->value();
    }
    case SBM_GETSCROLLINFO: {
        auto* info = reinterpret_cast<SCROLLINFO*>(lParam);
        if (!info)
            return FALSE;
        if (info->fMask & SIF_RANGE) {
            info->nMin = state.min;
            info->nMax = state.max;
        }
        if (info->fMask & SIF_PAGE)
            info->nPage = state.page;
        if (info->fMask & SIF_POS)
            info->nPos = bar->value();
        if (info->fMask & SIF_TRACKPOS)
            info->nTrackPos = bar->isSliderDown() ? state.trackPos : bar->value();
        return TRUE;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeScrollBar(WindowRecord& record, QWidget* parent)
{
    auto state = std::make_shared<ScrollBarState>();
    record.controlState = state;
    const HWND hwnd = record.hwnd;
    const Qt::Orientation orientation = (record.style & SBS_VERT) ? Qt::Vertical : Qt::Horizontal;
    auto* bar = new FocusMarked<QScrollBar>(orientation, parent);
    ApplyRange(bar, *state);
    bar->setSingleStep(1);
    bar->setFocusPolicy((record.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::NoFocus);
    std::weak_ptr<ScrollBarState> weak = state;
    QObject::connect(bar, &QAbstractSlider::actionTriggered, [hwnd, bar, orientation, weak](int action) {
        const int code = ScrollCode(action);
        auto shared = weak.lock();
        if (code < 0 || !shared)
            return;
        // The bar stays where it was until the parent moves it.
        const int requested = bar->sliderPosition();
        bar->setSliderPosition(bar->value());
        if (code == SB_THUMBTRACK)
            shared->trackPos = requested;
        TellParent(hwnd, orientation, static_cast<WORD>(code), requested);
        if (code != SB_THUMBTRACK)
            TellParent(hwnd, orientation, SB_ENDSCROLL, 0);
    });
    QObject::connect(bar, &QAbstractSlider::sliderReleased, [hwnd, orientation, weak]() {
        auto shared = weak.lock();
        if (!shared)
            return;
        TellParent(hwnd, orientation, SB_THUMBPOSITION, shared->trackPos);
        TellParent(hwnd, orientation, SB_ENDSCROLL, 0);
    });
    return bar;
}

bool IsControlBar(HWND hwnd, int bar)
{
    if (bar == SB_CTL && IsWindow(hwnd))
        return true;
    SetLastError(IsWindow(hwnd) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterListViewClass();
void RegisterTabControlClass();

void RegisterDialogControlClasses()
{
    RegisterListViewClass();
    RegisterTabControlClass();
    RegisterBuiltinClass({ QString::fromUtf16(TRACKBAR_CLASS), TrackbarProc, MakeTrackbar });
    RegisterBuiltinClass({ QStringLiteral("ScrollBar"), ScrollBarProc, MakeScrollBar });
}

} // namespace taluvo::ui::detail

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw)
{
    if (!IsControlBar(hwnd, bar))
        return 0;
    return static_cast<int>(SendMessage(hwnd, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(info)));
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info)
{
    if (!IsControlBar(hwnd, bar))
        return FALSE;
    return static_cast<BOOL>(SendMessage(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw)
{
    if (!IsControlBar(hwnd, bar))
        return 0;
    return static_cast<int>(SendMessage(hwnd, SBM_SETPOS, static_cast<WPARAM>(pos), redraw));
}

int GetScrollPos(HWND hwnd, int bar)
{
    if (!IsControlBar(hwnd, bar))
        return 0;
    return static_cast<int>(SendMessage(hwnd, SBM_GETPOS, 0, 0));
}

BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw)
{
    if (!IsControlBar(hwnd, bar))
        return FALSE;
    SendMessage(hwnd, redraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, static_cast<WPARAM>(min), max);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max)
{
    if (!IsControlBar(hwnd, bar))
        return FALSE;
    SendMessage(hwnd, SBM_GETRANGE, reinterpret_cast<WPARAM>(min), reinterpret_cast<LPARAM>(max));
    return TRUE;
}
