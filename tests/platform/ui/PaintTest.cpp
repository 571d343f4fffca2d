// The painting path on the offscreen platform, read back through the window's device context: the
// parent's colour answer, WM_SETFONT, a subclassed control painting itself, drawing through GetDC.
// The same scene is checked on a real X server by the X11 suite.
#include "tests/platform/ui/PaintScene.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using namespace taluvo::test::paint;

namespace {

QImage Picture(HWND hwnd)
{
    HDC dc = GetDC(hwnd);
    QImage image = taluvo::ui::ImageOfDc(dc);
    ReleaseDC(hwnd, dc);
    return image;
}

class UiPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        RECT rect { 0, 0, 340, 120 };
        ASSERT_TRUE(scene.Create(nullptr, &rect, QStringLiteral("paint"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
        QCoreApplication::processEvents();
    }
    CPaintScene scene;
};

TEST_F(UiPaint, ControlsShowWhatTheirParentAndTheirProceduresAsk)
{
    scene.DrawThroughGetDc();
    const QImage image = Picture(scene);
    ASSERT_FALSE(image.isNull());

    // The parent's white brush fills the static; its text stays black on it.
    const RECT white = PlaceOf(kWhiteStatic);
    EXPECT_GT(ShareOf(image, white, RGB(255, 255, 255)), 70);
    EXPECT_GT(InkWidth(image, white), 10) << "the text is drawn over the brush";
    // A neighbour nobody answers for keeps the window's own background.
    EXPECT_NE(ColorAt(image, PlaceOf(kNormalStatic).right - 2, PlaceOf(kNormalStatic).bottom - 2), RGB(255, 255, 255));

    // The bold font makes the same words wider.
    const int bold = InkWidth(image, PlaceOf(kBoldStatic));
    const int normal = InkWidth(image, PlaceOf(kNormalStatic));
    EXPECT_GT(normal, 50);
    EXPECT_GT(bold, normal + normal / 20);

    EXPECT_EQ(ShareOf(image, PlaceOf(kSelfPainted), kPaintedColor), 100);
    EXPECT_EQ(ShareOf(image, PlaceOf(kDrawnOn), kDrawnColor), 100);
}

TEST_F(UiPaint, FontsAreKeptPerControl)
{
    HWND bold = scene.GetDlgItem(kBoldStatic);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessage(bold, WM_GETFONT, 0, 0)), scene.m_bold);
    EXPECT_EQ(::SendMessage(scene.GetDlgItem(kWhiteStatic), WM_GETFONT, 0, 0), 0) << "the system font";
    // Back to the system font.
    ::SendMessage(bold, WM_SETFONT, 0, FALSE);
    EXPECT_EQ(::SendMessage(bold, WM_GETFONT, 0, 0), 0);
    const QImage image = Picture(scene);
    EXPECT_LT(InkWidth(image, PlaceOf(kBoldStatic)), InkWidth(image, PlaceOf(kNormalStatic)) + 20);
}

// A later WM_PAINT replaces what was drawn through GetDC, as the screen does on Windows.
TEST_F(UiPaint, PaintingAgainReplacesDirectDrawing)
{
    scene.DrawThroughGetDc();
    HWND child = scene.GetDlgItem(kDrawnOn);
    EXPECT_EQ(ShareOf(Picture(child), RECT { 0, 0, 50, 30 }, kDrawnColor), 100);
    ::InvalidateRect(child, nullptr, TRUE);
    ::UpdateWindow(child);
    EXPECT_EQ(ShareOf(Picture(child), RECT { 0, 0, 50, 30 }, kDrawnColor), 0);
}

} // namespace
