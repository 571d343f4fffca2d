// Where a tooltip lands: the side and alignment it turns to at each screen edge, its window's
// place, and the outline cut from it.
#include "Controls/HtmlToolTipPlacement.h"

#include <gtest/gtest.h>

namespace {

constexpr RECT kScreen { 0, 0, 1920, 1080 };
constexpr SIZE kText { 100, 20 }; // balloon body 124 × 44

void ExpectRect(const RECT& actual, RECT expected)
{
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

TEST(HtmlToolTipPlacementTest, TurnsAwayFromEachScreenEdge)
{
    struct Case {
        const char* name;
        int direction;
        POINT point;
        RECT screen;
        int expectDirection;
        POINT expectAnchor;
        POINT expectOrigin;
    } cases[] = {
        { "middle: above the point, anchor near the left", 16, { 960, 540 }, kScreen, 16, { 16, 60 }, { 944, 480 } },
        { "right edge: extends to the left", 16, { 1900, 540 }, kScreen, 17, { 108, 60 }, { 1792, 480 } },
        { "tray corner", 16, { 1900, 1070 }, kScreen, 17, { 108, 60 }, { 1792, 1010 } },
        { "top edge: turns below the point", 16, { 960, 30 }, kScreen, 0, { 16, 0 }, { 944, 30 } },
        { "bottom edge: turns above the point", 0, { 960, 1060 }, kScreen, 16, { 16, 60 }, { 944, 1000 } },
        { "left edge: extends to the right", 17, { 20, 540 }, kScreen, 16, { 16, 60 }, { 4, 480 } },
        { "right edge, tip beside the point: goes left", 32, { 1850, 540 }, kScreen, 48, { 140, 16 }, { 1710, 524 } },
        { "left edge, tip beside the point: goes right", 48, { 50, 540 }, kScreen, 32, { 0, 16 }, { 50, 524 } },
        { "bottom edge beside the point: extends up, held on the screen", 32, { 500, 1070 }, kScreen, 33, { 0, 34 },
            { 500, 1036 } },
        { "top edge beside the point: held on the screen", 34, { 500, 10 }, kScreen, 32, { 0, 10 }, { 500, 0 } },
        { "centred near the right edge: slides back onto the screen", 18, { 1880, 540 }, kScreen, 18, { 84, 60 },
            { 1796, 480 } },
        { "left screen at negative coordinates", 17, { -1270, 540 }, { -1280, 0, 1920, 1080 }, 16, { 10, 60 },
            { -1280, 480 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HtmlTipPlacement p
            = CalculateTipPlacement(c.direction, c.point, kText, HtmlTipSizes::Balloon(), c.screen);
        EXPECT_EQ(p.direction, c.expectDirection);
        EXPECT_EQ(p.anchor.x, c.expectAnchor.x);
        EXPECT_EQ(p.anchor.y, c.expectAnchor.y);
        EXPECT_EQ(p.screenOrigin.x, c.expectOrigin.x);
        EXPECT_EQ(p.screenOrigin.y, c.expectOrigin.y);
        // Every one of these fits: the window lies on the screen whole.
        const int width = p.window.right - p.window.left;
        const int height = p.window.bottom - p.window.top;
        EXPECT_GE(p.screenOrigin.x, c.screen.left);
        EXPECT_GE(p.screenOrigin.y, c.screen.top);
        EXPECT_LE(p.screenOrigin.x + width, c.screen.right);
        EXPECT_LE(p.screenOrigin.y + height, c.screen.bottom);
    }
}

TEST(HtmlToolTipPlacementTest, TextAndBodySitBesideTheAnchorStrip)
{
    struct Case {
        int direction;
        POINT point;
        RECT text, body, window;
    } cases[] = {
        { 16, { 960, 540 }, { 12, 12, 112, 32 }, { 0, 0, 124, 44 }, { 0, 0, 124, 60 } }, // strip below
        { 0, { 960, 540 }, { 12, 28, 112, 48 }, { 0, 16, 124, 60 }, { 0, 0, 124, 60 } }, // strip above
        { 32, { 960, 540 }, { 28, 12, 128, 32 }, { 16, 0, 140, 44 }, { 0, 0, 140, 44 } }, // strip left
        { 48, { 960, 540 }, { 12, 12, 112, 32 }, { 0, 0, 124, 44 }, { 0, 0, 140, 44 } }, // strip right
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        const HtmlTipPlacement p = CalculateTipPlacement(c.direction, c.point, kText, HtmlTipSizes::Balloon(), kScreen);
        EXPECT_EQ(p.direction, c.direction);
        ExpectRect(p.text, c.text);
        ExpectRect(p.body, c.body);
        ExpectRect(p.window, c.window);
    }
}

TEST(HtmlToolTipPlacementTest, PlainTipHasItsCornerOnThePoint)
{
    const HtmlTipPlacement p = CalculateTipPlacement(0, { 100, 100 }, kText, HtmlTipSizes::Plain(), kScreen);
    EXPECT_EQ(p.direction, 0);
    ExpectRect(p.text, { 3, 1, 103, 21 });
    ExpectRect(p.window, { 0, 0, 106, 22 });
    EXPECT_EQ(p.screenOrigin.x, 100);
    EXPECT_EQ(p.screenOrigin.y, 100);
}

TEST(HtmlToolTipPlacementTest, TipLargerThanTheScreenIsPinnedToItsNearEdges)
{
    constexpr RECT small { 0, 0, 800, 600 };
    struct Case {
        int direction;
        POINT point;
        int expectDirection;
        POINT expectOrigin;
    } cases[] = {
        { 16, { 400, 300 }, 2, { 0, 300 } }, // centred, below the point
        { 17, { 790, 590 }, 2, { 0, 590 } },
        { 48, { 400, 300 }, 34, { 400, 0 } }, // no room on the left: turns right, held at the top
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        const HtmlTipPlacement p
            = CalculateTipPlacement(c.direction, c.point, { 1000, 700 }, HtmlTipSizes::Balloon(), small);
        EXPECT_EQ(p.direction, c.expectDirection);
        EXPECT_EQ(p.screenOrigin.x, c.expectOrigin.x);
        EXPECT_EQ(p.screenOrigin.y, c.expectOrigin.y);
        // It keeps its size: nothing is cut.
        EXPECT_EQ(p.body.right - p.body.left, 1024);
        EXPECT_EQ(p.body.bottom - p.body.top, 724);
    }
}

TEST(HtmlToolTipPlacementTest, OutlineJoinsRoundedBodyAndAnchorTriangle)
{
    struct Case {
        int direction;
        POINT anchor;
        int width, height;
        RECT rounded;
        POINT triangle[3];
    } cases[] = {
        { 16, { 16, 60 }, 124, 60, { 0, 0, 125, 45 }, { { 16, 60 }, { 16, 44 }, { 28, 44 } } },
        { 17, { 108, 60 }, 124, 60, { 0, 0, 125, 45 }, { { 108, 60 }, { 108, 44 }, { 96, 44 } } },
        { 18, { 84, 60 }, 124, 60, { 0, 0, 125, 45 }, { { 84, 60 }, { 78, 44 }, { 90, 44 } } },
        { 0, { 16, 0 }, 124, 60, { 0, 16, 125, 61 }, { { 16, 0 }, { 16, 16 }, { 28, 16 } } },
        { 48, { 140, 16 }, 140, 44, { 0, 0, 125, 45 }, { { 140, 16 }, { 124, 16 }, { 124, 28 } } },
        { 33, { 0, 34 }, 140, 44, { 16, 0, 141, 45 }, { { 0, 34 }, { 16, 28 }, { 16, 16 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        const HtmlTipShape shape = CalculateTipShape(c.direction, c.anchor, c.width, c.height, HtmlTipSizes::Balloon());
        ExpectRect(shape.roundedBody, c.rounded);
        EXPECT_EQ(shape.ellipseCx, 16);
        ASSERT_TRUE(shape.hasTriangle);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(shape.triangle[i].x, c.triangle[i].x) << i;
            EXPECT_EQ(shape.triangle[i].y, c.triangle[i].y) << i;
        }
    }
    const HtmlTipShape plain = CalculateTipShape(0, { 0, 0 }, 106, 22, HtmlTipSizes::Plain());
    EXPECT_FALSE(plain.hasTriangle);
    ExpectRect(plain.roundedBody, { 0, 0, 107, 23 });
    EXPECT_EQ(plain.ellipseCx, 0);
}

} // namespace
