// The dialog framework: templates in dialog units, the dialog manager's default handling, modal
// loops, and the helpers on dialog items.
#include "platform/ui/AtlWin.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/detail/Core.h"

#include "platform/base/DebugOutput.h"
#include "platform/base/KernelObjects.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>

#include <cstdio>
#include <map>
#include <mutex>

using namespace taluvo::ui;
using namespace taluvo::ui::detail;

namespace {

class Templates {
public:
    static Templates& Instance()
    {
        static Templates* templates = new Templates;
        return *templates;
    }
    void Add(const DialogTemplate& t)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_templates.erase(t.id);
        m_templates.emplace(t.id, t);
    }
    const DialogTemplate* Find(WORD id)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_templates.find(id);
        return it == m_templates.end() ? nullptr : &it->second;
    }

private:
    std::mutex m_lock;
    std::map<WORD, DialogTemplate> m_templates; // node-based: pointers stay valid
};

QString Text(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

// The template of a dialog about to be made. A missing one fails the dialog, and the caller sees
// only -1 or a null handle, so the trace and standard error say which id was asked for.
const DialogTemplate* TemplateToShow(WORD id)
{
    const DialogTemplate* t = FindDialogTemplate(id);
    if (!t) {
        const QString line = QStringLiteral("taluvo: dialog template %1 is not registered\n").arg(id);
        taluvo::OutputDebugText(line);
        std::fputs(qPrintable(line), stderr);
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    return t;
}

HWND TopLevelOf(HWND hwnd)
{
    auto record = Find(hwnd);
    while (record && (record->style & WS_CHILD) && record->parent)
        record = Find(record->parent);
    return record ? record->hwnd : nullptr;
}

// The dialog's own keys: Escape cancels, Enter presses the focused push button or the default one.
class DialogWidget : public QDialog {
public:
    DialogWidget(HWND hwnd, QWidget* owner)
        : QDialog(owner)
        , m_hwnd(hwnd)
    {
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            SendCommand(IDCANCEL);
            return;
        }
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            && !(event->modifiers() & ~Qt::KeypadModifier)) {
            if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
                focused && isAncestorOf(focused)) {
                focused->click();
                return;
            }
            for (auto* button : findChildren<QPushButton*>()) {
                if (button->isDefault() && button->isEnabled()) {
                    button->click();
                    return;
                }
            }
            SendCommand(IDOK);
            return;
        }
        QDialog::keyPressEvent(event);
    }
    void reject() override { SendCommand(IDCANCEL); }

private:
    void SendCommand(int id)
    {
        HWND control = ::GetDlgItem(m_hwnd, id);
        if (control && !::IsWindowEnabled(control))
            return;
        SendMessage(
            m_hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(control));
    }

    HWND m_hwnd;
};

// The dialog manager's window procedure: the dialog procedure first, then the default handling.
LRESULT DialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record)
        return 0;
    if (message != WM_NCCREATE && message != WM_CREATE && record->dlgProc) {
        record->msgResult = 0;
        const INT_PTR handled = record->dlgProc(hwnd, message, wParam, lParam);
        if (handled) {
            switch (message) {
            case WM_INITDIALOG:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLOREDIT:
                return handled;
            default:
                if (auto alive = Find(hwnd))
                    return alive->msgResult;
                return 0;
            }
        }
    }
    switch (message) {
    case WM_INITDIALOG:
        return TRUE; // unhandled: the dialog manager sets the focus
    case WM_CLOSE: {
        // The close box of a dialog is its Cancel button.
        HWND cancel = ::GetDlgItem(hwnd, IDCANCEL);
        if (cancel && !::IsWindowEnabled(cancel))
            return 0;
        SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

int Scale(int value, int numerator, int denominator)
{
    // MulDiv rounding, as MapDialogRect does.
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) / denominator);
}

RECT MapUnits(const WindowRecord& record, int x, int y, int cx, int cy)
{
    RECT rect;
    rect.left = Scale(x, record.baseUnitX, 4);
    rect.top = Scale(y, record.baseUnitY, 8);
    rect.right = Scale(x + cx, record.baseUnitX, 4);
    rect.bottom = Scale(y + cy, record.baseUnitY, 8);
    return rect;
}

HWND FirstTabStop(HWND dialog)
{
    for (const auto& child : Children(dialog))
        if ((child->style & WS_CHILD) && (child->style & WS_TABSTOP) && !(child->style & WS_DISABLED))
            return child->hwnd;
    return nullptr;
}

void ReportBadControl(WORD dialogId, const DialogItem& item, DWORD error)
{
    const QString line = error == 1407
        ? QStringLiteral("taluvo: dialog %1: unknown control class \"%2\" (control %3)\n")
              .arg(dialogId)
              .arg(Text(item.cls))
              .arg(item.id)
        : QStringLiteral("taluvo: dialog %1: control %2 of class \"%3\" could not be created (error %4)\n")
              .arg(dialogId)
              .arg(item.id)
              .arg(Text(item.cls))
              .arg(error);
    taluvo::OutputDebugText(line);
    std::fputs(qPrintable(line), stderr);
}

HWND CreateFromTemplate(const DialogTemplate& t, HWND parent, DLGPROC proc, void* object, LPARAM initParam, bool modal)
{
    const bool child = (t.style & WS_CHILD) != 0;
    CreateParams params;
    params.className = QStringLiteral("#32770");
    params.text = Text(t.caption);
    params.style = t.style & ~WS_VISIBLE;
    params.exStyle = t.exStyle;
    params.parent = child ? parent : TopLevelOf(parent);
    params.procOverride = DialogWindowProc;
    params.object = object;
    params.prepare = [&](WindowRecord& record) {
        record.isDialog = true;
        record.dlgProc = proc;
        record.modal = modal;
        record.templateId = t.id;
        DialogBaseUnits(Text(t.fontName), t.fontSize, &record.baseUnitX, &record.baseUnitY);
    };
    const HWND hwnd = CreateWindowObject(params);
    auto record = Find(hwnd);
    if (!record)
        return nullptr;
    QWidget* widget = record->widget.data();
    const RECT client = MapUnits(*record, 0, 0, t.cx, t.cy);
    widget->resize(client.right, client.bottom);
    if (!child)
        widget->setFixedSize(widget->size());

    for (const auto& item : t.items) {
        const RECT r = MapUnits(*record, item.x, item.y, item.cx, item.cy);
        CreateParams c;
        c.className = Text(item.cls);
        c.text = Text(item.text);
        c.style = item.style | WS_CHILD | (item.hidden ? 0 : WS_VISIBLE);
        c.exStyle = item.exStyle;
        c.x = r.left;
        c.y = r.top;
        c.width = r.right - r.left;
        c.height = r.bottom - r.top;
        c.parent = hwnd;
        c.id = static_cast<UINT_PTR>(static_cast<WORD>(item.id));
        if (!CreateWindowObject(c)) {
            // A control that cannot be made fails the dialog, as on Windows; say which, since the
            // caller only sees -1.
            const DWORD error = GetLastError();
            ReportBadControl(t.id, item, error);
            DestroyWindow(hwnd);
            SetLastError(error);
            return nullptr;
        }
    }
    LinkLabelMnemonics(hwnd);
    if (!child)
        CWindow(hwnd).CenterWindow(params.parent);
    HWND focus = FirstTabStop(hwnd);
    if (SendMessage(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam) && focus && IsWindow(focus))
        ::SetFocus(focus);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

} // namespace

namespace taluvo::ui {

void RegisterDialogTemplate(const DialogTemplate& dialogTemplate)
{
    Templates::Instance().Add(dialogTemplate);
}
const DialogTemplate* FindDialogTemplate(WORD id)
{
    return Templates::Instance().Find(id);
}

} // namespace taluvo::ui

namespace taluvo::ui::detail {

void RegisterDialogClass()
{
    ClassInfo info;
    info.name = QStringLiteral("#32770");
    info.proc = DialogWindowProc;
    info.makeWidget = [](WindowRecord& record, QWidget* parentWidget) -> QWidget* {
        QWidget* widget;
        if (record.style & WS_CHILD) {
            widget = new QWidget(parentWidget);
        } else {
            auto* dialog = new DialogWidget(record.hwnd, parentWidget ? parentWidget->window() : nullptr);
            // Only the buttons the style asks for: a fixed-size dialog has no minimise or
            // maximise box, so the window manager must not add them.
            Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
            if (record.style & WS_SYSMENU)
                flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
            if (record.style & WS_MINIMIZEBOX)
                flags |= Qt::WindowMinimizeButtonHint;
            if (record.style & WS_MAXIMIZEBOX)
                flags |= Qt::WindowMaximizeButtonHint;
            dialog->setWindowFlags(flags);
            dialog->setSizeGripEnabled(false);
            widget = dialog;
        }
        return widget;
    };
    RegisterBuiltinClass(std::move(info));
}

void DialogBaseUnits(const QString& family, int pointSize, int* baseX, int* baseY)
{
    QFont font = QApplication::font();
    if (!family.isEmpty())
        font.setFamily(family);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    *baseX = std::max(1, (width / 26 + 1) / 2);
    *baseY = std::max(1, metrics.height());
}

void* WindowObject(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? record->object : nullptr;
}

HWND CreateImplWindow(WNDPROC proc, void* object, const QString& className, HWND parent, const RECT* rect,
    const QString& name, DWORD style, DWORD exStyle, UINT_PTR id, LPVOID createParam)
{
    EnsureUiSetup();
    CreateParams params;
    params.className = className;
    params.text = name;
    params.style = style;
    params.exStyle = exStyle;
    if (rect) {
        params.x = rect->left;
        params.y = rect->top;
        params.width = rect->right - rect->left;
        params.height = rect->bottom - rect->top;
    }
    params.parent = parent;
    params.id = id;
    params.createParam = createParam;
    params.procOverride = proc;
    params.object = object;
    // A window implementation's class needs no registration of its own: an unknown name becomes a
    // plain class on first use.
    const HWND hwnd = CreateWindowObject(params);
    if (hwnd || GetLastError() != 1407)
        return hwnd;
    ClassInfo info;
    info.name = className;
    info.proc = ::DefWindowProc;
    RegisterBuiltinClass(std::move(info));
    return CreateWindowObject(params);
}

INT_PTR RunDialog(WORD templateId, HWND parent, DLGPROC proc, void* object, LPARAM initParam)
{
    EnsureUiSetup();
    const DialogTemplate* t = TemplateToShow(templateId);
    if (!t)
        return -1;
    if (!IsUiThread()) {
        SetLastError(ERROR_WRONG_THREAD);
        return -1;
    }
    const HWND owner = TopLevelOf(parent);
    const HWND hwnd = CreateFromTemplate(*t, owner, proc, object, initParam, true);
    if (!hwnd)
        return -1;
    return RunModalDialogWindow(hwnd, owner, templateId);
}

INT_PTR RunModalDialogWindow(HWND hwnd, HWND owner, WORD templateId)
{
    auto record = Find(hwnd);
    if (!record)
        return -1;
    QPointer<QWidget> widget = record->widget.data();
    const auto ended = [hwnd]() {
        auto r = Find(hwnd);
        return !r || r->ended;
    };
    if (!ended()) {
        const bool hooked = HasDialogHook();
        if (!hooked && IsHeadless()) {
            // Nobody can answer: the dialog is cancelled, as its Cancel button would do.
            std::fprintf(stderr, "taluvo: no display: dialog \"%s\" cancelled\n", qPrintable(record->text));
            SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDCANCEL)));
        } else {
            // The owner takes no input while the dialog runs; Qt's modality does the blocking (a
            // disabled Qt parent would disable the dialog with it), the style bit tells the program.
            auto ownerRecord = Find(owner);
            const bool ownerWasEnabled = ownerRecord && !(ownerRecord->style & WS_DISABLED);
            if (ownerWasEnabled)
                ownerRecord->style |= WS_DISABLED;
            widget->setWindowModality(Qt::ApplicationModal);
            record->style |= WS_VISIBLE;
            widget->show();
            widget->raise();
            widget->activateWindow();
            if (hooked) {
                // The test answers from inside the modal loop, as a user would.
                QMetaObject::invokeMethod(
                    widget.data(),
                    [hwnd, templateId]() {
                        if (IsWindow(hwnd))
                            CallDialogHook(hwnd, templateId);
                    },
                    Qt::QueuedConnection);
            }
            RunModalLoop(ended);
            if (ownerWasEnabled)
                ownerRecord->style &= ~WS_DISABLED;
        }
    }
    const INT_PTR result = record->ended ? record->result : IDCANCEL;
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    delete widget.data(); // no handler of the dialog is running any more
    if (owner && IsWindow(owner))
        ::SetActiveWindow(owner);
    return result;
}

HWND CreateChildDialog(WORD templateId, HWND parent, DLGPROC proc, void* object, LPARAM initParam)
{
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    DialogTemplate child = *t;
    child.style
        = (child.style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME | WS_VISIBLE)) | WS_CHILD;
    return CreateFromTemplate(child, parent, proc, object, initParam, false);
}

HWND CreateModelessDialog(WORD templateId, HWND parent, DLGPROC proc, void* object, LPARAM initParam)
{
    EnsureUiSetup();
    const DialogTemplate* t = TemplateToShow(templateId);
    if (!t)
        return nullptr;
    const HWND hwnd = CreateFromTemplate(*t, parent, proc, object, initParam, false);
    if (hwnd && (t->style & WS_VISIBLE))
        ::ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

LRESULT ReflectNotification(HWND parent, UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    HWND child = nullptr;
    switch (uMsg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        child = lParam ? reinterpret_cast<LPNMHDR>(lParam)->hwndFrom : nullptr;
        break;
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
        child = wParam ? ::GetDlgItem(parent, static_cast<int>(wParam)) : nullptr;
        break;
    default:
        break;
    }
    if (!child || !IsWindow(child)) {
        bHandled = FALSE;
        return 0;
    }
    return SendMessage(child, OCM__BASE + uMsg, wParam, lParam);
}

BOOL DefaultReflection(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (uMsg < OCM__BASE || uMsg >= OCM__BASE + WM_USER)
        return FALSE;
    lResult = ::DefWindowProc(hWnd, uMsg - OCM__BASE, wParam, lParam);
    return TRUE;
}

} // namespace taluvo::ui::detail

INT_PTR DialogBoxParam(HINSTANCE, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    if (!IS_INTRESOURCE(templateName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    return RunDialog(static_cast<WORD>(reinterpret_cast<uintptr_t>(templateName)), parent, proc, nullptr, initParam);
}

HWND CreateDialogParam(HINSTANCE, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    if (!IS_INTRESOURCE(templateName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return CreateModelessDialog(
        static_cast<WORD>(reinterpret_cast<uintptr_t>(templateName)), parent, proc, nullptr, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    auto record = Find(dialog);
    if (!record || !record->isDialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    record->ended = true;
    record->result = result;
    record->style &= ~WS_VISIBLE;
    if (record->widget)
        record->widget->hide();
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect)
{
    auto record = Find(dialog);
    if (!record || !record->isDialog || !rect)
        return FALSE;
    *rect = MapUnits(*record, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    return TRUE;
}

BOOL SetDlgItemText(HWND dialog, int id, const QString& text)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item ? ::SetWindowText(item, text) : FALSE;
}

QString GetDlgItemText(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item ? ::GetWindowText(item) : QString();
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    if (translated)
        *translated = FALSE;
    HWND item = ::GetDlgItem(dialog, id);
    if (!item)
        return 0;
    qint64 value = 0;
    if (ParseIntegerText(::GetWindowText(item), isSigned != FALSE, &value) != IntegerText::Ok)
        return 0;
    if (translated)
        *translated = TRUE;
    return static_cast<UINT>(value);
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned)
{
    const QString text = isSigned ? QString::number(static_cast<int>(value)) : QString::number(value);
    return ::SetDlgItemText(dialog, id, text);
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item ? SendMessage(item, message, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND item = ::GetDlgItem(dialog, id);
    if (!item)
        return FALSE;
    SendMessage(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(SendMessage(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId)
{
    if (!IsWindow(dialog))
        return FALSE;
    for (int id = firstId; id <= lastId; ++id)
        if (HWND item = ::GetDlgItem(dialog, id))
            SendMessage(item, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

BOOL CWindow::CenterWindow(HWND hWndCenter)
{
    auto record = Find(m_hWnd);
    if (!record || !record->widget)
        return FALSE;
    // A child's parent and a popup's owner are both kept as its parent.
    if (!hWndCenter)
        hWndCenter = record->parent;
    const RECT work = GetWorkArea(hWndCenter ? hWndCenter : m_hWnd);
    RECT area = work;
    if (hWndCenter && ::IsWindow(hWndCenter) && ::IsWindowVisible(hWndCenter) && !::IsIconic(hWndCenter))
        ::GetWindowRect(hWndCenter, &area);
    RECT own;
    ::GetWindowRect(m_hWnd, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = (area.left + area.right) / 2 - width / 2;
    int y = (area.top + area.bottom) / 2 - height / 2;
    // Keep it inside the work area, the top-left corner winning when it is too big.
    x = std::max<int>(work.left, std::min<int>(x, work.right - width));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
    if (record->style & WS_CHILD) {
        POINT p { x, y };
        ::ScreenToClient(record->parent, &p);
        x = p.x;
        y = p.y;
    }
    record->widget->move(x, y);
    return TRUE;
}
