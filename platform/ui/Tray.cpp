// Tray icons over QSystemTrayIcon.
#include "platform/ui/Tray.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/detail/Core.h"
#include "platform/ui/detail/TrayPlaces.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>

#include <map>
#include <memory>

using namespace taluvo::ui::detail;

namespace {

struct TrayIcon {
    HWND hwnd = nullptr;
    UINT id = 0;
    UINT callback = 0;
    HICON icon = nullptr;
    QString tip;
    std::unique_ptr<QSystemTrayIcon> qicon;
    RECT place {}; // where the icon's owner last heard the tray put it
    bool placed = false;
};

// Icons belong to the user-interface thread, like the windows they report to.
std::map<std::pair<HWND, UINT>, std::unique_ptr<TrayIcon>>& Icons()
{
    static auto* icons = new std::map<std::pair<HWND, UINT>, std::unique_ptr<TrayIcon>>;
    return *icons;
}

TrayIcon* FindIcon(HWND hwnd, UINT id)
{
    auto it = Icons().find({ hwnd, id });
    return it == Icons().end() ? nullptr : it->second.get();
}

void Report(const TrayIcon& icon, UINT mouseMessage)
{
    // The shell posts the callback: the tray never waits for the program.
    if (icon.callback && IsWindow(icon.hwnd))
        PostMessage(icon.hwnd, icon.callback, icon.id, static_cast<LPARAM>(mouseMessage));
}

// Each icon whose rectangle differs from the one its owner last heard of: the owner hears of the
// new place. An icon the tray does not show (any more) is placed anew when it shows.
void NoteIconPlaces()
{
    for (auto& [key, icon] : Icons()) {
        RECT now {};
        if (!taluvo::ui::GetTrayIconRect(icon->hwnd, icon->id, &now)) {
            icon->placed = false;
            continue;
        }
        const RECT& was = icon->place;
        if (icon->placed && now.left == was.left && now.top == was.top && now.right == was.right
            && now.bottom == was.bottom)
            continue;
        icon->place = now;
        icon->placed = true;
        Report(*icon, NIN_ICONPLACED);
    }
}

void TellTopLevelWindows()
{
    for (const RecordPtr& record : TopLevelWindows())
        PostMessage(record->hwnd, WM_TASKBARCREATED, 0, 0);
}

// Every top-level window hears when a tray is there again. On X11 the platform plugin signals
// each change of the tray's window ("systemTrayWindowChanged"; Qt itself moves the icons it shows
// into the new tray on it); a change that leaves a tray in place is a new tray. The signal is no
// public API, so it is looked up by name and reached through a QAction's trigger slot (the layer
// has no meta-object compiler). Where the platform has no such signal, the tray's presence is
// looked at once a second, and a tray that is there again after none was counts.
class TrayWatcher : public QObject {
public:
    static void Start()
    {
        static TrayWatcher* watcher = nullptr;
        if (!watcher && QCoreApplication::instance())
            watcher = new TrayWatcher(QCoreApplication::instance());
    }

private:
    explicit TrayWatcher(QObject* parent)
        : QObject(parent)
        , m_available(taluvo::ui::IsTrayAvailable())
    {
        // QPlatformNativeInterface derives from QObject alone: its address is its QObject's.
        auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
        if (native && native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0) {
            QObject::connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), &m_changed, SLOT(trigger()));
            QObject::connect(&m_changed, &QAction::triggered, this, [] {
                if (taluvo::ui::IsTrayAvailable())
                    TellTopLevelWindows();
            });
            return;
        }
        m_timer.setInterval(1000);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const bool available = taluvo::ui::IsTrayAvailable();
            if (available && !m_available)
                TellTopLevelWindows();
            m_available = available;
        });
        m_timer.start();
    }

    QAction m_changed;
    QTimer m_timer;
    bool m_available;
};

void Apply(TrayIcon& icon, const NOTIFYICONDATA& data)
{
    if (data.uFlags & NIF_MESSAGE)
        icon.callback = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON) {
        icon.icon = data.hIcon;
        icon.qicon->setIcon(IconOf(data.hIcon));
    }
    if (data.uFlags & NIF_TIP) {
        size_t length = 0;
        while (length < std::size(data.szTip) - 1 && data.szTip[length])
            ++length;
        icon.tip = QString::fromUtf16(data.szTip, static_cast<qsizetype>(length));
        icon.qicon->setToolTip(icon.tip);
    }
    // Qt refuses to show an icon without an image. A visible icon also appears in a tray that
    // starts later.
    if (!taluvo::ui::IsHeadless() && !icon.qicon->icon().isNull())
        icon.qicon->show();
}

} // namespace

BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data)
{
    if (!data || !taluvo::ui::IsUiThread() || !QCoreApplication::instance()) {
        SetLastError(data ? ERROR_WRONG_THREAD : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto key = std::make_pair(data->hWnd, data->uID);
    TrayIcon* icon = FindIcon(data->hWnd, data->uID);
    switch (message) {
    case NIM_ADD: {
        if (icon || !IsWindow(data->hWnd))
            return FALSE;
        auto added = std::make_unique<TrayIcon>();
        added->hwnd = data->hWnd;
        added->id = data->uID;
        added->qicon = std::make_unique<QSystemTrayIcon>();
        TrayIcon* raw = added.get();
        QObject::connect(raw->qicon.get(), &QSystemTrayIcon::activated, raw->qicon.get(),
            [raw](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    Report(*raw, WM_LBUTTONUP);
                    break;
                case QSystemTrayIcon::Context:
                    Report(*raw, WM_RBUTTONUP);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    Report(*raw, WM_LBUTTONDBLCLK);
                    break;
                case QSystemTrayIcon::MiddleClick:
                    Report(*raw, WM_MBUTTONUP);
                    break;
                default:
                    break;
                }
            });
        Apply(*raw, *data);
        Icons().emplace(key, std::move(added));
        if (!taluvo::ui::IsHeadless()) {
            TrayWatcher::Start();
            WatchTrayIconPlaces(NoteIconPlaces);
        }
        return TRUE;
    }
    case NIM_MODIFY:
        if (!icon)
            return FALSE;
        Apply(*icon, *data);
        return TRUE;
    case NIM_DELETE:
        if (!icon)
            return FALSE;
        icon->qicon->hide();
        Icons().erase(key);
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

BOOL HideWindowToTray(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return FALSE;
    ShowWindow(hwnd, taluvo::ui::IsTrayAvailable() ? SW_HIDE : SW_MINIMIZE);
    return TRUE;
}

BOOL ShowWindowFromTray(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return FALSE;
    ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
    SetActiveWindow(hwnd);
    SetForegroundWindow(hwnd);
    return TRUE;
}

namespace taluvo::ui {

bool IsTrayAvailable()
{
    return !IsHeadless() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool IsTrayIconShown(HWND hwnd, UINT id)
{
    TrayIcon* icon = FindIcon(hwnd, id);
    return icon && IsTrayAvailable() && icon->qicon->isVisible();
}

BOOL GetTrayIconRect(HWND hwnd, UINT id, RECT* rect)
{
    TrayIcon* icon = FindIcon(hwnd, id);
    if (!icon || !rect || !IsTrayIconShown(hwnd, id))
        return FALSE;
    // Until the tray has taken the icon in, Qt reports it at the screen's origin: not known yet.
    const QRect where = icon->qicon->geometry();
    if (where.isEmpty() || where.topLeft() == QPoint(0, 0))
        return FALSE;
    *rect = RECT { where.left(), where.top(), where.right() + 1, where.bottom() + 1 };
    return TRUE;
}

namespace test {

BOOL ClickTrayIcon(HWND hwnd, UINT id, UINT mouseMessage)
{
    TrayIcon* icon = FindIcon(hwnd, id);
    if (!icon)
        return FALSE;
    Report(*icon, mouseMessage);
    return TRUE;
}

} // namespace test
} // namespace taluvo::ui
