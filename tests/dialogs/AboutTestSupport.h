// Running the about box from a test: the hook acts on the open box, and the picture button's link
// area is found through the renderer the way the pointer would find it.
#pragma once

#include "dialogs/AboutDlg.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <functional>
#include <optional>

namespace taluvo::test {

// Runs the about box owned by owner; act runs once the box is on the screen. DoModal's result; a
// box that act left open (a failed assertion) ends with kLeftOpen.
constexpr INT_PTR kLeftOpen = -2;
inline INT_PTR RunAboutBox(CAboutDlg& dlg, HWND owner, const std::function<void(HWND dialog, HWND html)>& act)
{
    taluvo::ui::test::ScopedDialogHook hook([&](HWND dialog, WORD) {
        HWND html = ::GetDlgItem(dialog, IDC_ABOUT_HTML);
        // Reading what the control shows makes it paint when it has not yet.
        ::ReleaseDC(html, ::GetDC(html));
        act(dialog, html);
        if (::IsWindowVisible(dialog))
            ::EndDialog(dialog, kLeftOpen);
    });
    return dlg.DoModal(owner);
}

// The smallest rectangle holding every client point where the renderer finds a link (the picture
// button is the box's only link); none when the text has no link on the control.
inline std::optional<RECT> LinkArea(CHtmlStaticCtrl& html)
{
    RECT client;
    html.GetClientRect(&client);
    std::optional<RECT> area;
    for (int y = client.top; y < client.bottom; ++y) {
        for (int x = client.left; x < client.right; ++x) {
            if (html.m_renderer.FindLinkAt(POINT { x, y }) < 0)
                continue;
            if (!area)
                area = RECT { x, y, x + 1, y + 1 };
            area->left = std::min<LONG>(area->left, x);
            area->right = std::max<LONG>(area->right, x + 1);
            area->top = std::min<LONG>(area->top, y);
            area->bottom = std::max<LONG>(area->bottom, y + 1);
        }
    }
    return area;
}

} // namespace taluvo::test
