// The X11 side of hearing where the tray puts the program's icons. A tray host embeds an icon's
// window into a window of its own (a socket), often first at one end of its area, and later moves
// that socket rather than the icon's window: the icon's window itself hears nothing of the move.
// So the program also asks the X server for the structure events of every window that holds an
// icon, up to the tray's top-level window, through Qt's own connection, and reads them in a
// native event filter before Qt, which knows none of those windows, drops them.
#include "platform/ui/detail/TrayPlaces.h"

#include "platform/ui/UserApi.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace taluvo::ui::detail {

namespace {

xcb_connection_t* Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The windows of the program's tray icons (Qt embeds each icon as a small top-level window).
std::vector<xcb_window_t> IconWindows()
{
    std::vector<xcb_window_t> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->internalWinId() && qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0)
            windows.push_back(static_cast<xcb_window_t>(widget->internalWinId()));
    return windows;
}

class TrayPlaceWatcher : public QObject, public QAbstractNativeEventFilter {
public:
    TrayPlaceWatcher(xcb_connection_t* connection, std::function<void()> changed)
        : QObject(QCoreApplication::instance())
        , m_connection(connection)
        , m_changed(std::move(changed))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        xcb_window_t window = XCB_WINDOW_NONE;
        switch (event->response_type & 0x7F) {
        case XCB_REPARENT_NOTIFY:
            window = reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window;
            break;
        case XCB_CONFIGURE_NOTIFY:
            window = reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window;
            break;
        case XCB_MAP_NOTIFY:
            window = reinterpret_cast<const xcb_map_notify_event_t*>(event)->window;
            break;
        default:
            return false;
        }
        if (m_holders.count(window) || IsIconWindow(window))
            Schedule();
        return false; // Qt handles its own windows' events as ever
    }

private:
    static bool IsIconWindow(xcb_window_t window)
    {
        for (const xcb_window_t icon : IconWindows())
            if (icon == window)
                return true;
        return false;
    }

    // Once the events at hand are handled: the holders may have changed (an icon embedded anew),
    // and the places with them.
    void Schedule()
    {
        if (m_scheduled)
            return;
        m_scheduled = true;
        QTimer::singleShot(0, this, [this] {
            m_scheduled = false;
            WatchHolders();
            m_changed();
        });
    }

    // Asks for the structure events of every window between an icon's window and the root. A
    // window that went away meanwhile only ends the walk: its error comes back here rather than
    // to Qt, which would print it.
    void WatchHolders()
    {
        std::set<xcb_window_t> holders;
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        for (xcb_window_t window : IconWindows()) {
            for (int depth = 0; depth < 16; ++depth) {
                xcb_generic_error_t* error = nullptr;
                xcb_query_tree_reply_t* tree
                    = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), &error);
                std::free(error);
                if (!tree)
                    break;
                const xcb_window_t parent = tree->parent;
                const xcb_window_t root = tree->root;
                std::free(tree);
                // The program's own windows keep the events Qt asked for.
                if (parent == XCB_WINDOW_NONE || parent == root || QWidget::find(parent))
                    break;
                if (!m_holders.count(parent))
                    std::free(xcb_request_check(m_connection,
                        xcb_change_window_attributes_checked(m_connection, parent, XCB_CW_EVENT_MASK, &mask)));
                holders.insert(parent);
                window = parent;
            }
        }
        m_holders = std::move(holders);
    }

    xcb_connection_t* m_connection;
    std::function<void()> m_changed;
    std::set<xcb_window_t> m_holders;
    bool m_scheduled = false;
};

} // namespace

void WatchTrayIconPlaces(std::function<void()> changed)
{
    // One watcher for the application it lives in.
    static QPointer<TrayPlaceWatcher> watcher;
    if (watcher || IsHeadless() || !QCoreApplication::instance())
        return;
    if (xcb_connection_t* connection = Connection())
        watcher = new TrayPlaceWatcher(connection, std::move(changed));
}

} // namespace taluvo::ui::detail
