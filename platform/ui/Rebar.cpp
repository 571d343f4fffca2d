// The rebar: rows of bands, each holding a child window (the command bar, the toolbar). It takes
// the height its rows need and tells its parent when that changes.
#include "platform/ui/CommCtrl.h"

#include "platform/ui/detail/Bars.h"

#include <QBoxLayout>
#include <QWidget>

#include <algorithm>
#include <vector>

using namespace taluvo::ui::detail;

namespace {

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

} // namespace

namespace taluvo::ui::detail {

void RegisterRebarClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(REBARCLASSNAME), RebarProc, MakeRebar });
}

} // namespace taluvo::ui::detail
