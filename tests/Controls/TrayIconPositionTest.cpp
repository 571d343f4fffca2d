// Where the update popup points when the tray cannot be asked: the work area's corner beside the
// panel, and the locator's answers without a display or a tray (no call blocks, a point is given
// while an icon is tracked).
#include "Controls/TrayIconPosition.h"

#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/Gdi.h"

#include <gtest/gtest.h>

namespace {

TEST(TrayIconPosition, TheWorkAreasCornerLiesBesideThePanel)
{
    const RECT screen { 0, 0, 1024, 768 };
    struct Case {
        const char* panel;
        RECT work;
        POINT corner;
    };
    const Case cases[] = {
        { "bottom", { 0, 0, 1024, 740 }, { 1023, 739 } },
        { "top", { 0, 24, 1024, 768 }, { 1023, 24 } },
        { "left", { 48, 0, 1024, 768 }, { 48, 767 } },
        { "right", { 0, 0, 980, 768 }, { 979, 767 } },
        { "none", { 0, 0, 1024, 768 }, { 1023, 767 } },
        { "top and left", { 48, 24, 1024, 768 }, { 1023, 24 } },
    };
    for (const Case& c : cases) {
        const POINT corner = WorkAreaCornerPoint(screen, c.work);
        EXPECT_EQ(corner.x, c.corner.x) << c.panel;
        EXPECT_EQ(corner.y, c.corner.y) << c.panel;
    }
}

TEST(TrayIconPosition, WithoutADisplayEveryMethodAnswersAtOnce)
{
    taluvo::test::EnsureUiApplication();
    CTrayIconPosition position;
    POINT point { -5, -5 };
    EXPECT_EQ(position.LocateIcon(&point, 0, 0), -1) << "nothing tracked";
    EXPECT_EQ(point.x, -5);

    position.TrackIcon(reinterpret_cast<HWND>(0x1234), 210);
    EXPECT_EQ(position.LocateIcon(&point, 2, 0), 0) << "no tray to ask for the icon's rectangle";
    EXPECT_EQ(position.LocateIcon(&point, 9, 0), 0) << "an unknown method";
    ASSERT_EQ(position.LocateIcon(&point, 0, 0), 1);
    EXPECT_EQ(position.LastSource(), CTrayIconPosition::Source::WorkAreaCorner);
    const RECT work = GetWorkArea(nullptr);
    EXPECT_EQ(point.x, work.right - 1);
    EXPECT_EQ(point.y, work.bottom - 1);
    // Nothing was found, so nothing is kept: the next call looks again.
    EXPECT_EQ(position.LocateIcon(&point, 3, 3), 1);
    EXPECT_EQ(position.LastSource(), CTrayIconPosition::Source::WorkAreaCorner);

    const RECT area = GetTrayToolbarRect();
    EXPECT_EQ(area.right - area.left, 40);
    EXPECT_EQ(area.bottom - area.top, 20);
    EXPECT_EQ(area.right, GetSystemMetrics(SM_CXSCREEN));
}

} // namespace
