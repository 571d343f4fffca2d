#include "platform/ui/TestHooks.h"

#include "platform/ui/detail/Core.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTableWidget>

#include "platform/ui/PropertySheet.h"
#include "platform/ui/TabControl.h"
#include "platform/ui/Trackbar.h"

#include <atomic>
#include <utility>

// Qt's own entry for shortcuts of synthetic key events (its test library uses it): a key with
// modifiers first goes through the shortcut map, as the window system's keys do.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
    const QString& text = QString(), bool autorep = false, ushort count = 1);

using namespace taluvo::ui::detail;

namespace {

std::mutex g_hookLock;
taluvo::ui::test::MessageBoxHook g_boxHook;
taluvo::ui::test::DialogHook g_dialogHook;
std::function<void(UINT)> g_beepHook;

// Test events carry their own increasing time stamps, so an event Qt passes on to a parent is
// recognised as the same input.
ulong NextStamp()
{
    static std::atomic<ulong> stamp { 1000 };
    return stamp.fetch_add(7);
}

// The widget that takes keys for a window: its focused descendant, the focus proxy, or itself.
QWidget* KeyTarget(QWidget* widget)
{
    QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == widget || widget->isAncestorOf(focus)))
        return focus;
    return widget->focusProxy() ? widget->focusProxy() : widget;
}

int QtKey(UINT vk, QString* text)
{
    text->clear();
    switch (vk) {
    case VK_RETURN:
        *text = QStringLiteral("\r");
        return Qt::Key_Return;
    case VK_ESCAPE:
        *text = QString(QChar(0x1B));
        return Qt::Key_Escape;
    case VK_TAB:
        *text = QStringLiteral("\t");
        return Qt::Key_Tab;
    case VK_SPACE:
        *text = QStringLiteral(" ");
        return Qt::Key_Space;
    case VK_BACK:
        return Qt::Key_Backspace;
    case VK_DELETE:
        return Qt::Key_Delete;
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_UP:
        return Qt::Key_Up;
    case VK_DOWN:
        return Qt::Key_Down;
    case VK_HOME:
        return Qt::Key_Home;
    case VK_PRIOR:
        return Qt::Key_PageUp;
    case VK_NEXT:
        return Qt::Key_PageDown;
    case VK_END:
        return Qt::Key_End;
    default:
        if (vk >= VK_F1 && vk <= VK_F1 + 23)
            return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
        if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
            *text = QString(QChar(static_cast<char16_t>(vk)));
            return static_cast<int>(vk);
        }
        return 0;
    }
}

void SendKey(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    press.setTimestamp(NextStamp());
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    release.setTimestamp(NextStamp());
    QCoreApplication::sendEvent(target, &release);
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF global = widget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    event.setTimestamp(NextStamp());
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace

namespace taluvo::ui::detail {

bool HasDialogHook()
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    return static_cast<bool>(g_dialogHook);
}

void CallDialogHook(HWND dialog, WORD templateId)
{
    taluvo::ui::test::DialogHook hook;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_dialogHook;
    }
    if (hook)
        hook(dialog, templateId);
}

bool RecordBeep(UINT type)
{
    std::function<void(UINT)> hook;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_beepHook;
    }
    if (!hook)
        return false;
    hook(type);
    return true;
}

bool HasMessageBoxHook()
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    return static_cast<bool>(g_boxHook);
}

int CallMessageBoxHook(HWND owner, const QString& text, const QString& caption, UINT type)
{
    taluvo::ui::test::MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_boxHook;
    }
    return hook ? hook({ owner, text, caption, type }) : 0;
}

} // namespace taluvo::ui::detail

namespace taluvo::ui::test {

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    std::swap(g_boxHook, hook);
    return hook;
}

DialogHook SetDialogHook(DialogHook hook)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    std::swap(g_dialogHook, hook);
    return hook;
}

ShellRequestCapture::ShellRequestCapture()
    : m_shared(std::make_shared<Shared>())
{
    auto shared = m_shared;
    m_previous = taluvo::shell::SetRequestHook([shared](const taluvo::shell::Request& request) {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->requests.push_back(request);
        return true;
    });
}

ShellRequestCapture::~ShellRequestCapture()
{
    taluvo::shell::SetRequestHook(std::move(m_previous));
}

std::vector<taluvo::shell::Request> ShellRequestCapture::Requests() const
{
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->requests;
}

BeepRecorder::BeepRecorder()
    : m_shared(std::make_shared<Shared>())
{
    auto shared = m_shared;
    std::lock_guard<std::mutex> guard(g_hookLock);
    m_previous = std::exchange(g_beepHook, [shared](UINT type) {
        std::lock_guard<std::mutex> lock(shared->lock);
        shared->beeps.push_back(type);
    });
}

BeepRecorder::~BeepRecorder()
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    g_beepHook = std::move(m_previous);
}

std::vector<UINT> BeepRecorder::Beeps() const
{
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->beeps;
}

HWND TopMessageBox()
{
    auto& boxes = OpenMessageBoxes();
    return boxes.empty() ? nullptr : boxes.back();
}

BOOL AnswerMessageBox(HWND box, int id)
{
    auto record = Find(box);
    auto* qbox = record ? qobject_cast<QMessageBox*>(record->widget.data()) : nullptr;
    if (!qbox)
        return FALSE;
    // Press the real button, so the box ends the way a click ends it.
    const BOOL before = IsWindow(box);
    SendMessage(box, WM_COMMAND, static_cast<WPARAM>(id), 0);
    return before;
}

void TypeText(HWND control, const QString& text)
{
    QWidget* widget = WidgetOf(control);
    if (!widget)
        return;
    widget->setFocus(Qt::OtherFocusReason);
    QWidget* target = KeyTarget(widget);
    for (QChar ch : text) {
        int key = ch.unicode();
        if (ch.toUpper().unicode() >= 'A' && ch.toUpper().unicode() <= 'Z')
            key = Qt::Key_A + (ch.toUpper().unicode() - 'A');
        SendKey(target, key, QString(ch), ch.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    }
}

void PressKey(HWND window, UINT vk)
{
    QWidget* widget = WidgetOf(window);
    if (!widget)
        return;
    QString text;
    const int key = QtKey(vk, &text);
    SendKey(KeyTarget(widget), key, text);
}

void PressKey(HWND window, UINT vk, bool ctrl, bool shift, bool alt)
{
    QWidget* widget = WidgetOf(window);
    if (!widget)
        return;
    QString text;
    const int key = QtKey(vk, &text);
    Qt::KeyboardModifiers modifiers;
    if (ctrl)
        modifiers |= Qt::ControlModifier;
    if (shift)
        modifiers |= Qt::ShiftModifier;
    if (alt)
        modifiers |= Qt::AltModifier;
    QWidget* target = KeyTarget(widget);
    const QString shown = modifiers == Qt::NoModifier ? text : QString();
    if (modifiers != Qt::NoModifier && qt_sendShortcutOverrideEvent(target, NextStamp(), key, modifiers, shown))
        return; // a shortcut took it (a label's mnemonic, say)
    SendKey(target, key, shown, modifiers);
}

void Click(HWND control)
{
    QWidget* widget = WidgetOf(control);
    if (!widget)
        return;
    QPoint centre = widget->rect().center();
    // A check box or radio takes clicks on its box and label only, which sit at its left.
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget))
        centre.setX(std::min(widget->width() / 2, 6));
    SendMouse(widget, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    if (IsWindow(control) && WidgetOf(control) == widget)
        SendMouse(widget, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
}

void MoveMouse(HWND window, int x, int y)
{
    QWidget* widget = WidgetOf(window);
    if (widget)
        SendMouse(widget, QEvent::MouseMove, QPoint(x, y), Qt::NoButton, Qt::NoButton);
}

// A press of the given kind and its release at a client point of the window's widget.
static void PressAndRelease(HWND window, QEvent::Type press, QPoint point)
{
    QWidget* widget = WidgetOf(window);
    if (!widget)
        return;
    SendMouse(widget, press, point, Qt::LeftButton, Qt::LeftButton);
    if (IsWindow(window) && WidgetOf(window) == widget)
        SendMouse(widget, QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton);
}

void ClickAt(HWND window, int x, int y)
{
    PressAndRelease(window, QEvent::MouseButtonPress, QPoint(x, y));
}

void DoubleClickAt(HWND window, int x, int y)
{
    ClickAt(window, x, y);
    PressAndRelease(window, QEvent::MouseButtonDblClick, QPoint(x, y));
}

void DragMouse(HWND window, int fromX, int fromY, int toX, int toY)
{
    QWidget* widget = WidgetOf(window);
    if (!widget)
        return;
    SendMouse(widget, QEvent::MouseButtonPress, QPoint(fromX, fromY), Qt::LeftButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, QPoint((fromX + toX) / 2, (fromY + toY) / 2), Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, QPoint(toX, toY), Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, QPoint(toX, toY), Qt::LeftButton, Qt::NoButton);
}

BOOL SelectComboItem(HWND combo, int index)
{
    auto* box = qobject_cast<QComboBox*>(WidgetOf(combo));
    if (!box || index < 0 || index >= box->count() || !box->isEnabled())
        return FALSE;
    box->setCurrentIndex(index);
    emit box->activated(index);
    emit box->textActivated(box->itemText(index));
    return TRUE;
}

} // namespace taluvo::ui::test

namespace taluvo::ui::test {

bool WaitForActiveWindow(HWND window)
{
    QWidget* widget = WidgetOf(window);
    if (!widget)
        return false;
    QWidget* top = widget->window();
    top->activateWindow();
    QElapsedTimer timer;
    timer.start();
    while (QApplication::activeWindow() != top) {
        if (timer.elapsed() > 5000 || !WidgetOf(window))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace taluvo::ui::test

namespace taluvo::ui::test {

BOOL SelectSheetTab(HWND sheet, int index)
{
    HWND tabs = nullptr;
    for (const auto& child : Children(sheet))
        if (child->className == QString::fromUtf16(WC_TABCONTROL))
            tabs = child->hwnd;
    RECT rect;
    if (!tabs || !SendMessage(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)))
        return FALSE;
    ClickAt(tabs, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return SendMessage(tabs, TCM_GETCURSEL, 0, 0) == index ? TRUE : FALSE;
}

BOOL PressSheetButton(HWND sheet, int button)
{
    static const int ids[] = { ID_WIZBACK, ID_WIZNEXT, ID_WIZFINISH, IDOK, ID_APPLY_NOW, IDCANCEL };
    if (button < 0 || button >= 6)
        return FALSE;
    HWND control = GetDlgItem(sheet, ids[button]);
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control))
        return FALSE;
    Click(control);
    return TRUE;
}

BOOL CheckListRow(HWND list, int row, bool checked)
{
    auto* table = qobject_cast<QTableWidget*>(WidgetOf(list));
    QTableWidgetItem* item = table && row >= 0 && row < table->rowCount() ? table->item(row, 0) : nullptr;
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable) || !table->isEnabled())
        return FALSE;
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return TRUE;
}

BOOL ScrollControl(HWND control, WORD code)
{
    auto* slider = qobject_cast<QAbstractSlider*>(WidgetOf(control));
    if (!slider || !slider->isEnabled())
        return FALSE;
    switch (code) {
    case TB_LINEUP:
        slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return TRUE;
    case TB_LINEDOWN:
        slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return TRUE;
    case TB_PAGEUP:
        slider->triggerAction(QAbstractSlider::SliderPageStepSub);
        return TRUE;
    case TB_PAGEDOWN:
        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        return TRUE;
    case TB_TOP:
        slider->triggerAction(QAbstractSlider::SliderToMinimum);
        return TRUE;
    case TB_BOTTOM:
        slider->triggerAction(QAbstractSlider::SliderToMaximum);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL DragThumb(HWND control, int position)
{
    auto* slider = qobject_cast<QAbstractSlider*>(WidgetOf(control));
    if (!slider || !slider->isEnabled())
        return FALSE;
    slider->setSliderDown(true);
    slider->setSliderPosition(position);
    slider->setSliderDown(false);
    return TRUE;
}

BOOL ClickLink(HWND link)
{
    if (!IsWindowVisible(link) || !IsWindowEnabled(link))
        return FALSE;
    Click(link);
    return TRUE;
}

} // namespace taluvo::ui::test
