// Without a display the pointer and popup calls still answer: system cursors load and are shared,
// SetCursor keeps the current one, a leave request for a window the pointer is not over is answered
// at once, regions and point look-ups work on the offscreen windows, and bad handles fail clearly.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/AtlWin.h"
#include "platform/ui/Gdi.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

class CLeaveWindow : public CWindowImpl<CLeaveWindow> {
public:
    ~CLeaveWindow() override
    {
        if (IsWindow())
            DestroyWindow();
    }
    BEGIN_MSG_MAP(CLeaveWindow)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnLeave)
    END_MSG_MAP()
    LRESULT OnLeave(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++leaves;
        return 0;
    }
    int leaves = 0;
};

void DispatchPosted()
{
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessage(&msg);
}

TEST(UiPointerOffscreen, CursorsAnswerWithoutADisplay)
{
    taluvo::test::EnsureUiApplication();
    const LPCWSTR ids[] = { IDC_ARROW, IDC_IBEAM, IDC_WAIT, IDC_SIZEWE, IDC_HAND };
    for (LPCWSTR id : ids) {
        const HCURSOR cursor = LoadCursor(nullptr, id);
        ASSERT_TRUE(cursor);
        EXPECT_EQ(LoadCursor(nullptr, id), cursor) << "system cursors are shared";
        EXPECT_FALSE(DestroyIcon(cursor)) << "a cursor is no icon";
    }
    EXPECT_EQ(LoadCursor(nullptr, MAKEINTRESOURCE(106)), nullptr) << "no cursor resources of our own";
    const HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
    EXPECT_EQ(SetCursor(previous), LoadCursor(nullptr, IDC_WAIT));
}

TEST(UiPointerOffscreen, LeaveRequestsRegionsAndPointLookUps)
{
    taluvo::test::EnsureUiApplication();
    CLeaveWindow window;
    RECT rect { 3000, 3000, 3200, 3100 }; // far from where the pointer can be
    ASSERT_TRUE(window.Create(nullptr, &rect, QStringLiteral("leave"), WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW));
    TRACKMOUSEEVENT track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    EXPECT_TRUE(TrackMouseEvent(&track));
    DispatchPosted();
    EXPECT_EQ(window.leaves, 1) << "the pointer is not over it: the leave comes at once";
    track.hwndTrack = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777));
    EXPECT_FALSE(TrackMouseEvent(&track));

    EXPECT_EQ(SetWindowRgn(window, CreateRoundRectRgn(0, 0, 201, 101, 20, 20), TRUE), 1);
    EXPECT_EQ(SetWindowRgn(window, nullptr, TRUE), 1);
    EXPECT_EQ(SetWindowRgn(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), nullptr, TRUE), 0);

    HWND child
        = CreateWindowEx(0, u"Static", u"x", WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, window, nullptr, nullptr, nullptr);
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { 20, 15 }), child);
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { 150, 80 }), window.m_hWnd);
    EXPECT_EQ(ChildWindowFromPoint(window, POINT { 500, 80 }), nullptr);
    EXPECT_EQ(WindowFromPoint(POINT { -5000, -5000 }), nullptr);
    POINT cursor;
    EXPECT_TRUE(GetCursorPos(&cursor));
}

} // namespace
