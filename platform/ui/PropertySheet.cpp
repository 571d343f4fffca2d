// The property sheet: a dialog window of the layer's own making (no template) that holds the
// pages as child dialogs, a tab strip over a framed page area (or, for a wizard, a rule above the
// buttons) and its buttons, and speaks the sheet's messages and notifications (PropertySheet.h).
#include "platform/ui/PropertySheet.h"

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/TabControl.h"
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>

#include <memory>
#include <utility>

using namespace taluvo::ui;
using namespace taluvo::ui::detail;

struct PSP_HANDLE__ {
    PROPSHEETPAGE page; // the copy WM_INITDIALOG points to
    QString title;
};

namespace {

// Layout in dialog units of the sheet's font, as the Windows sheet lays itself out.
constexpr int kMargin = 7;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;
constexpr int kFrameInset = 4;
// The tab control's id, as the Windows sheet's.
constexpr int kTabControlId = 0x3020;

struct PageEntry {
    HPROPSHEETPAGE handle = nullptr;
    HWND hwnd = nullptr;
    WORD templateId = 0;
};

struct SheetState {
    bool wizard = false;
    bool noApply = false;
    std::vector<PageEntry> pages;
    int current = -1;
    HWND tabs = nullptr;
    QRect pageArea; // pixels, in the sheet's client area
};

std::shared_ptr<SheetState> StateOf(HWND sheet)
{
    auto record = Find(sheet);
    return record && record->isDialog && record->className == QLatin1String("#32770")
        ? std::static_pointer_cast<SheetState>(record->controlState)
        : nullptr;
}

WORD TemplateIdOf(const PROPSHEETPAGE& page)
{
    return static_cast<WORD>(reinterpret_cast<uintptr_t>(page.pszTemplate));
}

QString TabTitle(const PSP_HANDLE__& handle)
{
    if ((handle.page.dwFlags & PSP_USETITLE) && !handle.title.isNull())
        return handle.title;
    const DialogTemplate* t = FindDialogTemplate(TemplateIdOf(handle.page));
    return t && t->caption ? QString::fromUtf16(t->caption) : QString();
}

LRESULT NotifyPage(HWND sheet, HWND page, UINT code, LPARAM lParam = 0)
{
    if (!IsWindow(page))
        return 0;
    PSHNOTIFY notify;
    notify.hdr.hwndFrom = sheet;
    notify.hdr.idFrom = 0;
    notify.hdr.code = code;
    notify.lParam = lParam;
    return SendMessage(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

// Makes the page's window (once); null when it cannot be made.
HWND EnsurePage(HWND sheet, SheetState& state, int index)
{
    PageEntry& entry = state.pages[static_cast<size_t>(index)];
    if (entry.hwnd && IsWindow(entry.hwnd))
        return entry.hwnd;
    PROPSHEETPAGE& page = entry.handle->page;
    entry.hwnd = CreateChildDialog(
        entry.templateId, sheet, page.pfnDlgProc, page.pWindowObject, reinterpret_cast<LPARAM>(&page));
    if (entry.hwnd)
        MoveWindow(
            entry.hwnd, state.pageArea.x(), state.pageArea.y(), state.pageArea.width(), state.pageArea.height(), FALSE);
    return entry.hwnd;
}

void ShowWizardButtons(HWND sheet, DWORD flags, const QString& finishText = QString())
{
    const bool finish = (flags & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) || !finishText.isEmpty();
    EnableWindow(GetDlgItem(sheet, ID_WIZBACK), (flags & PSWIZB_BACK) ? TRUE : FALSE);
    EnableWindow(GetDlgItem(sheet, ID_WIZNEXT), (flags & PSWIZB_NEXT) ? TRUE : FALSE);
    EnableWindow(GetDlgItem(sheet, ID_WIZFINISH), (flags & PSWIZB_FINISH) || !finishText.isEmpty() ? TRUE : FALSE);
    ShowWindow(GetDlgItem(sheet, ID_WIZNEXT), finish ? SW_HIDE : SW_SHOWNA);
    ShowWindow(GetDlgItem(sheet, ID_WIZFINISH), finish ? SW_SHOWNA : SW_HIDE);
    if (!finishText.isEmpty())
        SetWindowText(GetDlgItem(sheet, ID_WIZFINISH), finishText);
    // Enter presses the button that goes on.
    SendMessage(GetDlgItem(sheet, ID_WIZNEXT), BM_SETSTYLE, finish ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON, TRUE);
    SendMessage(GetDlgItem(sheet, ID_WIZFINISH), BM_SETSTYLE, finish ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

// Shows page index as the active one, asking it first (PSN_SETACTIVE); a wizard skips pages that
// refuse in the direction of travel. False when no page would become active.
bool Activate(HWND sheet, SheetState& state, int index, int direction)
{
    const int count = static_cast<int>(state.pages.size());
    const int step = direction == 0 ? count + 1 : direction; // 0: that page or none
    for (int i = index; i >= 0 && i < count; i += step) {
        HWND page = EnsurePage(sheet, state, i);
        if (!page)
            continue;
        const LRESULT answer = NotifyPage(sheet, page, PSN_SETACTIVE);
        if (answer == -1) {
            if (state.wizard && direction != 0)
                continue;
            return false;
        }
        if (answer > 0 && state.wizard) {
            // The page names another page to show instead.
            for (int j = 0; j < count; ++j)
                if (state.pages[static_cast<size_t>(j)].templateId == static_cast<WORD>(answer) && j != i)
                    return Activate(sheet, state, j, 0);
        }
        const int previous = state.current;
        state.current = i;
        if (previous >= 0 && previous != i)
            ShowWindow(state.pages[static_cast<size_t>(previous)].hwnd, SW_HIDE);
        ShowWindow(page, SW_SHOWNA);
        if (state.tabs)
            SendMessage(state.tabs, TCM_SETCURSEL, static_cast<WPARAM>(i), 0);
        for (const auto& child : Children(page))
            if ((child->style & WS_TABSTOP) && !(child->style & WS_DISABLED) && (child->style & WS_VISIBLE)) {
                ::SetFocus(child->hwnd);
                break;
            }
        return true;
    }
    return false;
}

// Leaves the active page for another one, unless the active page refuses (PSN_KILLACTIVE).
bool ChangePage(HWND sheet, SheetState& state, int index)
{
    if (index < 0 || index >= static_cast<int>(state.pages.size()))
        return false;
    if (index == state.current)
        return true;
    if (state.current >= 0 && NotifyPage(sheet, state.pages[static_cast<size_t>(state.current)].hwnd, PSN_KILLACTIVE))
        return false;
    return Activate(sheet, state, index, 0);
}

void EndSheet(HWND sheet, INT_PTR result)
{
    EndDialog(sheet, result);
}

// OK (close) or Apply (stay): the active page may refuse to be left, then every page made applies.
bool Apply(HWND sheet, SheetState& state, bool close)
{
    if (state.current >= 0 && NotifyPage(sheet, state.pages[static_cast<size_t>(state.current)].hwnd, PSN_KILLACTIVE))
        return false;
    for (int i = 0; i < static_cast<int>(state.pages.size()); ++i) {
        const HWND page = state.pages[static_cast<size_t>(i)].hwnd;
        if (!page || !IsWindow(page))
            continue;
        const LRESULT answer = NotifyPage(sheet, page, PSN_APPLY, close ? TRUE : FALSE);
        if (answer == PSNRET_INVALID) {
            Activate(sheet, state, i, 0);
            return false;
        }
        if (answer == PSNRET_INVALID_NOCHANGEPAGE)
            return false;
    }
    EnableWindow(GetDlgItem(sheet, ID_APPLY_NOW), FALSE);
    if (close)
        EndSheet(sheet, 1);
    return true;
}

void Cancel(HWND sheet, SheetState& state)
{
    if (state.current >= 0 && NotifyPage(sheet, state.pages[static_cast<size_t>(state.current)].hwnd, PSN_QUERYCANCEL))
        return;
    for (const PageEntry& entry : state.pages)
        if (entry.hwnd && IsWindow(entry.hwnd))
            NotifyPage(sheet, entry.hwnd, PSN_RESET);
    EndSheet(sheet, 0);
}

// Next (+1) or Back (-1) of a wizard.
void Step(HWND sheet, SheetState& state, int direction)
{
    if (state.current < 0)
        return;
    const HWND page = state.pages[static_cast<size_t>(state.current)].hwnd;
    const LRESULT answer = NotifyPage(sheet, page, direction > 0 ? PSN_WIZNEXT : PSN_WIZBACK);
    if (answer == -1)
        return;
    int target = state.current + direction;
    if (answer > 0) {
        for (int j = 0; j < static_cast<int>(state.pages.size()); ++j)
            if (state.pages[static_cast<size_t>(j)].templateId == static_cast<WORD>(answer))
                target = j;
    }
    if (target < 0 || target >= static_cast<int>(state.pages.size()))
        return;
    if (NotifyPage(sheet, page, PSN_KILLACTIVE))
        return;
    const int before = state.current;
    if (!Activate(sheet, state, target, answer > 0 ? 0 : direction))
        state.current = before;
}

void Finish(HWND sheet, SheetState& state)
{
    if (state.current >= 0 && NotifyPage(sheet, state.pages[static_cast<size_t>(state.current)].hwnd, PSN_WIZFINISH))
        return;
    EndSheet(sheet, 1);
}

bool Pressable(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowEnabled(button) && IsWindowVisible(button);
}

LRESULT SheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = StateOf(sheet);
    if (!state)
        return DefWindowProc(sheet, message, wParam, lParam);
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (!state->wizard)
                Apply(sheet, *state, true);
            return 0;
        case ID_APPLY_NOW:
            Apply(sheet, *state, false);
            return 0;
        case IDCANCEL:
            Cancel(sheet, *state);
            return 0;
        case ID_WIZBACK:
            Step(sheet, *state, -1);
            return 0;
        case ID_WIZNEXT:
            Step(sheet, *state, +1);
            return 0;
        case ID_WIZFINISH:
            Finish(sheet, *state);
            return 0;
        default:
            return 0;
        }
    case WM_CLOSE:
        Cancel(sheet, *state);
        return 0;
    case WM_NOTIFY: {
        // A tab chosen by the user: the active page may refuse to be left, the new one to be shown.
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || !state->tabs || header->hwndFrom != state->tabs)
            return 0;
        if (header->code == TCN_SELCHANGING)
            return state->current >= 0
                    && NotifyPage(sheet, state->pages[static_cast<size_t>(state->current)].hwnd, PSN_KILLACTIVE)
                ? TRUE
                : FALSE;
        if (header->code == TCN_SELCHANGE) {
            const int chosen = static_cast<int>(SendMessage(state->tabs, TCM_GETCURSEL, 0, 0));
            if (!Activate(sheet, *state, chosen, 0))
                SendMessage(state->tabs, TCM_SETCURSEL, static_cast<WPARAM>(state->current), 0);
        }
        return 0;
    }
    case PSM_SETCURSEL: {
        int index = static_cast<int>(static_cast<intptr_t>(wParam));
        if (lParam) {
            index = -1;
            for (size_t i = 0; i < state->pages.size(); ++i)
                if (state->pages[i].handle == reinterpret_cast<HPROPSHEETPAGE>(lParam))
                    index = static_cast<int>(i);
        }
        return ChangePage(sheet, *state, index) ? TRUE : FALSE;
    }
    case PSM_SETCURSELID:
        for (size_t i = 0; i < state->pages.size(); ++i)
            if (state->pages[i].templateId == static_cast<WORD>(lParam))
                return ChangePage(sheet, *state, static_cast<int>(i)) ? TRUE : FALSE;
        return FALSE;
    case PSM_CHANGED:
    case PSM_UNCHANGED:
        EnableWindow(GetDlgItem(sheet, ID_APPLY_NOW), message == PSM_CHANGED ? TRUE : FALSE);
        return 0;
    case PSM_SETWIZBUTTONS:
        if (state->wizard)
            ShowWizardButtons(sheet, static_cast<DWORD>(lParam));
        return 0;
    case PSM_SETFINISHTEXT:
        if (state->wizard)
            ShowWizardButtons(sheet, PSWIZB_FINISH, TextParam(lParam));
        return 0;
    case PSM_PRESSBUTTON: {
        static const int ids[] = { ID_WIZBACK, ID_WIZNEXT, ID_WIZFINISH, IDOK, ID_APPLY_NOW, IDCANCEL };
        const int button = static_cast<int>(wParam);
        if (button < 0 || button >= 6 || !Pressable(sheet, ids[button]))
            return FALSE;
        SendMessage(sheet, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(ids[button]), BN_CLICKED),
            reinterpret_cast<LPARAM>(GetDlgItem(sheet, ids[button])));
        return TRUE;
    }
    case PSM_GETCURRENTPAGEHWND:
        return state->current >= 0 ? reinterpret_cast<LRESULT>(state->pages[static_cast<size_t>(state->current)].hwnd)
                                   : 0;
    case PSM_SETTITLE:
        SetWindowText(sheet, TextParam(lParam));
        return 0;
    case PSM_HWNDTOINDEX:
        for (size_t i = 0; i < state->pages.size(); ++i)
            if (state->pages[i].hwnd && state->pages[i].hwnd == reinterpret_cast<HWND>(wParam))
                return static_cast<LRESULT>(i);
        return -1;
    case PSM_INDEXTOHWND: {
        const size_t index = static_cast<size_t>(wParam);
        return index < state->pages.size() ? reinterpret_cast<LRESULT>(state->pages[index].hwnd) : 0;
    }
    case PSM_GETPAGECOUNT:
        return static_cast<LRESULT>(state->pages.size());
    default:
        return DefWindowProc(sheet, message, wParam, lParam);
    }
}

// Ctrl+Tab and Ctrl+PageDown (Ctrl+Shift+Tab and Ctrl+PageUp back) turn the pages from whatever
// control has the focus, before the control sees them (a list would take Ctrl+PageDown itself).
class SheetKeys : public QObject {
public:
    SheetKeys(HWND sheet, QWidget* sheetWidget)
        : QObject(sheetWidget)
        , m_sheet(sheet)
        , m_widget(sheetWidget)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !receiver->isWidgetType()
            || static_cast<QWidget*>(receiver)->window() != m_widget)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ControlModifier))
            return false;
        int step = 0;
        switch (key->key()) {
        case Qt::Key_Tab:
            step = (key->modifiers() & Qt::ShiftModifier) ? -1 : 1;
            break;
        case Qt::Key_Backtab:
        case Qt::Key_PageUp:
            step = -1;
            break;
        case Qt::Key_PageDown:
            step = 1;
            break;
        default:
            return false;
        }
        auto state = StateOf(m_sheet);
        if (!state || state->wizard || state->pages.empty())
            return false;
        const int count = static_cast<int>(state->pages.size());
        ChangePage(m_sheet, *state, (state->current + step + count) % count);
        return true;
    }

private:
    HWND m_sheet;
    QWidget* m_widget;
};

HWND MakeButton(HWND sheet, int id, const QString& text, DWORD style, const QRect& r)
{
    CreateParams c;
    c.className = QStringLiteral("Button");
    c.text = text;
    c.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | style;
    c.x = r.x();
    c.y = r.y();
    c.width = r.width();
    c.height = r.height();
    c.parent = sheet;
    c.id = static_cast<UINT_PTR>(id);
    return CreateWindowObject(c);
}

int Units(int value, int base, int divisor)
{
    return (value * base + divisor / 2) / divisor;
}

// Lays out the sheet around a page area of the largest page's size, and makes its buttons.
void Build(HWND sheet, SheetState& state)
{
    auto record = Find(sheet);
    QWidget* widget = record->widget.data();
    const int bx = record->baseUnitX;
    const int by = record->baseUnitY;
    QSize page(0, 0);
    for (const PageEntry& entry : state.pages) {
        const DialogTemplate* t = FindDialogTemplate(entry.templateId);
        int px = bx;
        int py = by;
        DialogBaseUnits(t->fontName ? QString::fromUtf16(t->fontName) : QString(), t->fontSize, &px, &py);
        page = page.expandedTo(QSize(Units(t->cx, px, 4), Units(t->cy, py, 8)));
    }
    const int margin = Units(kMargin, bx, 4);
    const int inset = Units(kFrameInset, bx, 4);
    int top = margin;
    int contentWidth = page.width();
    if (!state.wizard) {
        // The tabs stand in as many rows as the page's width needs, as on Windows: a row that
        // scrolled would hide tabs behind arrows. The page keeps the inset inside the tabs' frame.
        contentWidth = page.width() + 2 * inset;
        CreateParams c;
        c.className = QString::fromUtf16(WC_TABCONTROL);
        c.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_MULTILINE | TCS_FOCUSNEVER;
        c.x = margin;
        c.y = margin;
        c.width = contentWidth;
        c.height = page.height() + 2 * inset;
        c.parent = sheet;
        c.id = kTabControlId;
        state.tabs = CreateWindowObject(c);
        CTabCtrl tabs(state.tabs);
        for (const PageEntry& entry : state.pages)
            tabs.InsertItem(tabs.GetItemCount(), TabTitle(*entry.handle));
        RECT display { 0, 0, contentWidth, 0 };
        tabs.AdjustRect(FALSE, &display);
        const int frameTop = display.top - display.left; // the display area's margin is the frame's
        tabs.MoveWindow(margin, margin, contentWidth, frameTop + page.height() + 2 * inset, FALSE);
        state.pageArea = QRect(margin + inset, margin + frameTop + inset, page.width(), page.height());
        top = margin + frameTop + page.height() + 2 * inset + margin;
    } else {
        state.pageArea = QRect(margin, margin, page.width(), page.height());
        auto* rule = new QFrame(widget);
        rule->setFrameShape(QFrame::HLine);
        rule->setFrameShadow(QFrame::Sunken);
        rule->setGeometry(0, state.pageArea.bottom() + 1 + margin, page.width() + 2 * margin, 2);
        top = rule->geometry().bottom() + 1 + margin;
    }
    const int width = contentWidth + 2 * margin;
    const int bw = Units(kButtonWidth, bx, 4);
    const int bh = Units(kButtonHeight, by, 8);
    const int gap = Units(kButtonGap, bx, 4);
    struct Button {
        int id;
        const char* text;
        DWORD style;
    };
    std::vector<Button> buttons;
    if (state.wizard) {
        // Back and Next sit together; Finish stands where Next does while it shows.
        buttons = { { ID_WIZBACK, "< &Back", BS_PUSHBUTTON }, { ID_WIZNEXT, "&Next >", BS_DEFPUSHBUTTON },
            { IDCANCEL, "Cancel", BS_PUSHBUTTON } };
    } else {
        buttons = { { IDOK, "OK", BS_DEFPUSHBUTTON }, { IDCANCEL, "Cancel", BS_PUSHBUTTON } };
        if (!state.noApply)
            buttons.push_back({ ID_APPLY_NOW, "&Apply", BS_PUSHBUTTON });
    }
    int x = width - margin - static_cast<int>(buttons.size()) * bw - (static_cast<int>(buttons.size()) - 1) * gap;
    for (const Button& b : buttons) {
        // Windows' wizards put Back and Next without a gap between them.
        MakeButton(sheet, b.id, QString::fromLatin1(b.text), b.style, QRect(x, top, bw, bh));
        if (b.id == ID_WIZNEXT)
            MakeButton(sheet, ID_WIZFINISH, QStringLiteral("Finish"), BS_PUSHBUTTON, QRect(x, top, bw, bh));
        x += bw + (b.id == ID_WIZBACK ? 0 : gap);
    }
    if (!state.wizard && !state.noApply)
        EnableWindow(GetDlgItem(sheet, ID_APPLY_NOW), FALSE);
    if (state.wizard)
        ShowWizardButtons(sheet, PSWIZB_BACK | PSWIZB_NEXT);
    widget->setFixedSize(width, top + bh + margin);
}

HWND TopLevelOf(HWND hwnd)
{
    auto record = Find(hwnd);
    while (record && (record->style & WS_CHILD) && record->parent)
        record = Find(record->parent);
    return record ? record->hwnd : nullptr;
}

} // namespace

HPROPSHEETPAGE CreatePropertySheetPage(const PROPSHEETPAGE* page)
{
    if (!page || !IS_INTRESOURCE(page->pszTemplate) || !FindDialogTemplate(TemplateIdOf(*page))) {
        SetLastError(page ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* handle = new PSP_HANDLE__;
    handle->page = *page;
    if (page->pszTitle)
        handle->title = QString::fromUtf16(page->pszTitle);
    handle->page.pszTitle = reinterpret_cast<LPCWSTR>(handle->title.utf16());
    return handle;
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page)
{
    if (!page)
        return FALSE;
    delete page;
    return TRUE;
}

INT_PTR PropertySheet(const PROPSHEETHEADER* header)
{
    EnsureUiSetup();
    if (!header || !IsUiThread()) {
        SetLastError(header ? ERROR_WRONG_THREAD : ERROR_INVALID_PARAMETER);
        return -1;
    }
    // The sheet owns the handles from here on, whatever happens.
    std::vector<std::unique_ptr<PSP_HANDLE__>> owned;
    auto state = std::make_shared<SheetState>();
    state->wizard = (header->dwFlags & PSH_WIZARD) != 0;
    state->noApply = (header->dwFlags & PSH_NOAPPLYNOW) != 0;
    for (UINT i = 0; i < header->nPages && header->phpage; ++i) {
        HPROPSHEETPAGE handle = header->phpage[i];
        if (!handle)
            continue;
        owned.emplace_back(handle);
        state->pages.push_back({ handle, nullptr, TemplateIdOf(handle->page) });
    }
    if (state->pages.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const HWND owner = TopLevelOf(header->hwndParent ? header->hwndParent : GetActiveWindow());
    CreateParams params;
    params.className = QStringLiteral("#32770");
    params.text = header->pszCaption ? QString::fromUtf16(header->pszCaption) : QString();
    params.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    params.parent = owner;
    params.procOverride = SheetProc;
    params.prepare = [&](WindowRecord& record) {
        record.isDialog = true;
        record.modal = true;
        record.controlState = state;
        DialogBaseUnits(QString(), 0, &record.baseUnitX, &record.baseUnitY);
    };
    const HWND sheet = CreateWindowObject(params);
    if (!sheet)
        return -1;
    if (header->hIcon)
        SendMessage(sheet, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(header->hIcon));
    Build(sheet, *state);
    new SheetKeys(sheet, WidgetOf(sheet)); // lives as long as the sheet's widget

    // Pages made at opening, in page order; then the start page (a wizard's pages cannot refuse
    // their way off the start).
    for (int i = 0; i < static_cast<int>(state->pages.size()); ++i)
        if (state->pages[static_cast<size_t>(i)].handle->page.dwFlags & PSP_PREMATURE)
            EnsurePage(sheet, *state, i);
    const int count = static_cast<int>(state->pages.size());
    const int start = header->nStartPage < static_cast<UINT>(count) ? static_cast<int>(header->nStartPage) : 0;
    if (!Activate(sheet, *state, start, 1) && !Activate(sheet, *state, 0, 1)) {
        std::fprintf(stderr, "taluvo: property sheet \"%s\": no page could be shown\n", qPrintable(params.text));
        DestroyWindow(sheet);
        return -1;
    }
    CWindow(sheet).CenterWindow(owner);
    if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback)
        header->pfnCallback(sheet, PSCB_INITIALIZED, 0);
    if (IsWindow(sheet))
        SendMessage(sheet, WM_INITDIALOG, 0, 0);
    if (!IsWindow(sheet))
        return -1;
    // OK and Finish end the sheet with 1, everything else that ends it is a cancel.
    return RunModalDialogWindow(sheet, owner, 0) == 1 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Page and sheet classes

CPropertyPageImplBase::CPropertyPageImplBase(WORD templateId, const QString& title)
{
    m_psp.pszTemplate = MAKEINTRESOURCE(templateId);
    m_psp.pfnDlgProc = CDialogImplBase::DialogProc;
    m_psp.pWindowObject = static_cast<CDialogImplBase*>(this);
    if (!title.isNull())
        SetTitle(title);
}

void CPropertyPageImplBase::SetTitle(const QString& title)
{
    m_title = title;
    m_psp.pszTitle = reinterpret_cast<LPCWSTR>(m_title.utf16());
    m_psp.dwFlags |= PSP_USETITLE;
}

void CPropertyPageImplBase::SetModified(BOOL changed)
{
    ::SendMessage(GetParent(), changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

void CPropertyPageImplBase::SetWizardButtons(DWORD flags)
{
    ::SendMessage(GetParent(), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags));
}

LRESULT CPropertyPageImplBase::OnSheetNotify(UINT, WPARAM, LPARAM lParam, BOOL& bHandled)
{
    auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->hwndFrom != GetParent()) {
        bHandled = FALSE;
        return 0;
    }
    switch (header->code) {
    case PSN_SETACTIVE:
        return OnSetActive();
    case PSN_KILLACTIVE:
        return OnKillActive();
    case PSN_APPLY:
        return OnApply();
    case PSN_RESET:
        OnReset();
        return 0;
    case PSN_QUERYCANCEL:
        return OnQueryCancel();
    case PSN_WIZBACK:
        return OnWizardBack();
    case PSN_WIZNEXT:
        return OnWizardNext();
    case PSN_WIZFINISH:
        return OnWizardFinish();
    default:
        bHandled = FALSE;
        return 0;
    }
}

namespace {
// The sheet object whose DoModal runs on this thread right now (sheets nest, each call keeps its own).
thread_local CPropertySheetImplBase* t_starting = nullptr;
} // namespace

CPropertySheetImplBase::CPropertySheetImplBase(const QString& title, UINT startPage, HWND parent)
{
    m_psh.dwFlags = PSH_USECALLBACK;
    m_psh.nStartPage = startPage;
    m_psh.hwndParent = parent;
    m_psh.pfnCallback = &CPropertySheetImplBase::CALLBACK_Initialized;
    SetTitle(title);
}

CPropertySheetImplBase::~CPropertySheetImplBase()
{
    for (HPROPSHEETPAGE page : m_pages)
        ::DestroyPropertySheetPage(page);
}

BOOL CPropertySheetImplBase::AddPage(HPROPSHEETPAGE page)
{
    if (!page)
        return FALSE;
    m_pages.push_back(page);
    return TRUE;
}

BOOL CPropertySheetImplBase::AddPage(CPropertyPageImplBase& page)
{
    return AddPage(page.Create());
}

int CPropertySheetImplBase::GetPageCount() const
{
    return m_hWnd ? static_cast<int>(SendMessage(PSM_GETPAGECOUNT)) : static_cast<int>(m_pages.size());
}

void CPropertySheetImplBase::SetTitle(const QString& title)
{
    m_caption = title;
    m_psh.pszCaption = reinterpret_cast<LPCWSTR>(m_caption.utf16());
    if (m_hWnd)
        SetWindowText(title);
}

INT_PTR CPropertySheetImplBase::DoModal(HWND parent)
{
    if (taluvo::ui::detail::RefuseSecondWindow(m_hWnd))
        return -1;
    if (parent)
        m_psh.hwndParent = parent;
    m_psh.nPages = static_cast<UINT>(m_pages.size());
    m_psh.phpage = m_pages.data();
    std::vector<HPROPSHEETPAGE> handed;
    handed.swap(m_pages); // the sheet destroys them
    CPropertySheetImplBase* outer = std::exchange(t_starting, this);
    const INT_PTR result = ::PropertySheet(&m_psh);
    t_starting = outer;
    m_psh.phpage = nullptr;
    m_psh.nPages = 0;
    return result;
}

int CPropertySheetImplBase::CALLBACK_Initialized(HWND sheet, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED && t_starting) {
        CPropertySheetImplBase* self = std::exchange(t_starting, nullptr);
        self->SubclassWindow(sheet);
    }
    return 0;
}
