// Where the tray host sits on the screen. On X11 the tray is the window that owns the selection
// "_NET_SYSTEM_TRAY_S<screen>" (the freedesktop system-tray protocol). Some hosts keep that window
// hidden and draw their icons in a panel of their own; the panel is then the window of the root
// that holds an icon the program embedded there. Other platforms give no such window.
#include "platform/ui/Tray.h"

#include <QApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace taluvo::ui {

namespace {

// The X screen Qt's connection uses: the number after the dot of DISPLAY (":0.1"), else 0.
int ScreenNumber()
{
    const char* display = std::getenv("DISPLAY");
    if (!display)
        return 0;
    const std::string text(display);
    const size_t colon = text.rfind(':');
    const size_t dot = text.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? 0 : std::atoi(text.c_str() + dot + 1);
}

} // namespace

namespace {

// The window's rectangle in root coordinates when it is mapped and has a size.
bool ViewableRect(xcb_connection_t* connection, xcb_window_t window, RECT* rect)
{
    xcb_get_window_attributes_reply_t* attributes
        = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    if (!attributes)
        return false;
    const bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    if (!viewable)
        return false;
    xcb_get_geometry_reply_t* geometry
        = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!geometry)
        return false;
    const xcb_window_t root = geometry->root;
    const int width = geometry->width;
    const int height = geometry->height;
    std::free(geometry);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr);
    if (!origin)
        return false;
    *rect = RECT { origin->dst_x, origin->dst_y, origin->dst_x + width, origin->dst_y + height };
    std::free(origin);
    return width > 1 && height > 1 && rect->right > 0 && rect->bottom > 0;
}

xcb_window_t SelectionOwner(xcb_connection_t* connection)
{
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(ScreenNumber());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    if (!atom)
        return XCB_WINDOW_NONE;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return XCB_WINDOW_NONE;
    const xcb_window_t window = owner->owner;
    std::free(owner);
    return window;
}

// The child of the root that holds the window; the window itself when it is one.
xcb_window_t TopLevelAncestor(xcb_connection_t* connection, xcb_window_t window)
{
    for (int depth = 0; depth < 32; ++depth) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        if (!tree)
            return XCB_WINDOW_NONE;
        const xcb_window_t root = tree->root;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE)
            return window;
        window = parent;
    }
    return XCB_WINDOW_NONE;
}

} // namespace

BOOL GetTrayAreaRect(RECT* rect)
{
    if (!rect || IsHeadless() || !qGuiApp)
        return FALSE;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return FALSE;
    const xcb_window_t owner = SelectionOwner(connection);
    if (owner == XCB_WINDOW_NONE)
        return FALSE;
    if (ViewableRect(connection, owner, rect))
        return TRUE;
    // The icons Qt embeds into the tray are small windows of this program; the panel they sit in
    // is what a hidden tray window stands for.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") != 0)
            continue;
        const auto own = static_cast<xcb_window_t>(widget->winId());
        const xcb_window_t panel = TopLevelAncestor(connection, own);
        if (panel != XCB_WINDOW_NONE && panel != own && ViewableRect(connection, panel, rect))
            return TRUE;
    }
    return FALSE;
}

} // namespace taluvo::ui
