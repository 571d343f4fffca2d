// taluvo_moving_tray_host: a tray host for the screen tests that places icons as some real ones do,
// only on cue. It owns the screen's tray selection with a bar at the screen's top right, takes in
// each icon that asks to dock (the system-tray protocol) into a holder window some way from the
// bar's left end, and moves every holder to the bar's right end when it receives SIGUSR1, as a
// host moves icons after it first placed them. It prints one line per event and ends on SIGTERM.
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kBarWidth = 200;
constexpr int kBarHeight = 24;
constexpr int kIconSize = 22;
constexpr int kFirstSlot = 60; // where an icon is first placed, from the bar's left end
constexpr uint32_t kRequestDock = 0;

int g_wake[2] = { -1, -1 };

void OnSignal(int signal)
{
    const char byte = signal == SIGUSR1 ? 'm' : 'q';
    [[maybe_unused]] const ssize_t written = write(g_wake[1], &byte, 1);
}

xcb_atom_t Atom(xcb_connection_t* c, const std::string& name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::printf("tray host: no display\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;

    // The bar: above everything, no frame, a light grey face.
    const xcb_window_t bar = xcb_generate_id(c);
    const uint32_t barValues[] = { 0xC8C8C8, 1, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY };
    xcb_create_window(c, XCB_COPY_FROM_PARENT, bar, screen->root,
        static_cast<int16_t>(screen->width_in_pixels - kBarWidth), 0, kBarWidth, kBarHeight, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, barValues);
    xcb_map_window(c, bar);

    const xcb_atom_t selection = Atom(c, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));
    const xcb_atom_t opcode = Atom(c, "_NET_SYSTEM_TRAY_OPCODE");
    const xcb_atom_t manager = Atom(c, "MANAGER");
    const xcb_atom_t orientation = Atom(c, "_NET_SYSTEM_TRAY_ORIENTATION");
    const uint32_t horizontal = 0;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, bar, orientation, XCB_ATOM_CARDINAL, 32, 1, &horizontal);
    xcb_set_selection_owner(c, bar, selection, XCB_CURRENT_TIME);
    // Programs waiting for a tray hear of this one.
    xcb_client_message_event_t announce {};
    announce.response_type = XCB_CLIENT_MESSAGE;
    announce.format = 32;
    announce.window = screen->root;
    announce.type = manager;
    announce.data.data32[0] = XCB_CURRENT_TIME;
    announce.data.data32[1] = selection;
    announce.data.data32[2] = bar;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&announce));
    xcb_flush(c);
    std::printf("tray host: ready\n");

    if (pipe(g_wake) != 0)
        return 1;
    std::signal(SIGUSR1, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::vector<xcb_window_t> holders;
    pollfd watched[2] = { { xcb_get_file_descriptor(c), POLLIN, 0 }, { g_wake[0], POLLIN, 0 } };
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE && message->type == opcode
                && message->data.data32[1] == kRequestDock) {
                const xcb_window_t icon = message->data.data32[2];
                const xcb_window_t holder = xcb_generate_id(c);
                const int16_t x = static_cast<int16_t>(kFirstSlot + static_cast<int>(holders.size()) * kIconSize);
                const uint32_t holderValues[] = { 0xC8C8C8 };
                xcb_create_window(c, XCB_COPY_FROM_PARENT, holder, bar, x, 1, kIconSize, kIconSize, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, holderValues);
                xcb_map_window(c, holder);
                xcb_reparent_window(c, icon, holder, 0, 0);
                const uint32_t size[] = { kIconSize, kIconSize };
                xcb_configure_window(c, icon, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
                xcb_map_window(c, icon);
                xcb_flush(c);
                holders.push_back(holder);
                std::printf("tray host: docked 0x%x at %d\n", icon, x);
            }
            std::free(event);
        }
        if (xcb_connection_has_error(c))
            return 1;
        if (poll(watched, 2, -1) < 0)
            continue;
        if (watched[1].revents & POLLIN) {
            char cue = 0;
            if (read(g_wake[0], &cue, 1) == 1 && cue == 'q')
                break;
            int x = kBarWidth - kIconSize - 2;
            for (const xcb_window_t holder : holders) {
                const uint32_t place[] = { static_cast<uint32_t>(x), 1 };
                xcb_configure_window(c, holder, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
                x -= kIconSize;
            }
            xcb_flush(c);
            std::printf("tray host: moved %zu icons to the right end\n", holders.size());
        }
    }
    xcb_disconnect(c);
    return 0;
}
