// What the painting path puts on a real screen: the parent's colours, a font set with WM_SETFONT, a
// control that paints itself, drawing through GetDC, and the crash dialog's white band and bold
// headline. Each check reads the pixels of a screenshot, kept under artefacts/.
#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/PaintScene.h"
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "crash/CrashReportDlg.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <gtest/gtest.h>

using namespace taluvo::test::x11;
using namespace taluvo::test::paint;

namespace {

RECT Offset(RECT r, POINT by)
{
    return RECT { r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y };
}

POINT ClientOrigin(HWND hwnd)
{
    POINT origin { 0, 0 };
    ClientToScreen(hwnd, &origin);
    return origin;
}

class UiOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";
    }
};

TEST_F(UiOnScreen, ControlsShowTheirColoursFontsAndOwnPainting)
{
    CPaintScene scene;
    RECT rect { 100, 100, 440, 240 };
    ASSERT_TRUE(scene.Create(nullptr, &rect, QStringLiteral("Painting"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(scene));
    // The window manager may still move the window after it maps it: the place is read each time.
    POINT origin {};
    ASSERT_TRUE(WaitForScreen([&](const QImage& shot) {
        origin = ClientOrigin(scene);
        return ShareOf(shot, Offset(PlaceOf(kSelfPainted), origin), kPaintedColor) == 100;
    })) << "the subclassed static's own painting reaches the screen";

    scene.DrawThroughGetDc();
    const RECT drawn = Offset(PlaceOf(kDrawnOn), origin);
    EXPECT_TRUE(WaitForScreen([&](const QImage& shot) { return ShareOf(shot, drawn, kDrawnColor) == 100; }))
        << "drawing through GetDC reaches the screen";

    const QImage shot = Screenshot();
    SaveArtefact(shot, "paint-scene.png");
    const RECT white = Offset(PlaceOf(kWhiteStatic), origin);
    EXPECT_GT(ShareOf(shot, white, RGB(255, 255, 255)), 70);
    EXPECT_GT(InkWidth(shot, white), 10);
    const int bold = InkWidth(shot, Offset(PlaceOf(kBoldStatic), origin));
    const int normal = InkWidth(shot, Offset(PlaceOf(kNormalStatic), origin));
    EXPECT_GT(normal, 50);
    EXPECT_GT(bold, normal + normal / 20) << "bold " << bold << ", normal " << normal;
}

// Dark pixels of the text drawn into a white rectangle of the given size with the font.
int InkOf(const QString& text, HFONT font, int width, int height)
{
    const taluvo::test::Canvas canvas(width, height);
    RECT all { 0, 0, width, height };
    HGDIOBJ oldFont = SelectObject(canvas.dc, FontObject(font));
    SetBkMode(canvas.dc, TRANSPARENT);
    DrawText(canvas.dc, text, &all, DT_LEFT | DT_WORDBREAK);
    SelectObject(canvas.dc, oldFont);
    int ink = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ink += Brightness(canvas.Rgb(x, y)) < 128;
    return ink;
}

TEST_F(UiOnScreen, CrashDialogShowsItsWhiteBandAndBoldHeadline)
{
    taluvo::res::RegisterResources();
    QImage shot;
    RECT band {};
    RECT headline {};
    QString headlineText;
    HFONT headlineFont = nullptr;
    taluvo::ui::test::ScopedDialogHook hook([&](HWND dialog, WORD id) {
        if (id != CCrashReportDlg::IDD)
            return;
        // The window manager places the dialog once it maps it: measure after that.
        const bool shown = WaitOnScreen(dialog);
        const POINT origin = ClientOrigin(dialog);
        band = RECT { 0, 0, 269, 32 };
        MapDialogRect(dialog, &band);
        GetWindowRect(GetDlgItem(dialog, IDC_CRASH_HEADLINE), &headline);
        headlineText = GetDlgItemText(dialog, IDC_CRASH_HEADLINE);
        headlineFont = reinterpret_cast<HFONT>(SendDlgItemMessage(dialog, IDC_CRASH_HEADLINE, WM_GETFONT, 0, 0));
        // The band's strip left of the headline: white once the dialog is on the screen.
        const RECT strip = Offset(RECT { 0, 0, headline.left - origin.x - 1, band.bottom }, origin);
        band = Offset(band, origin);
        if (shown)
            WaitForScreen([&](const QImage& s) { return ShareOf(s, strip, RGB(255, 255, 255)) == 100; });
        shot = Screenshot(); // the checks below say what is missing, the artefact shows it
        taluvo::ui::test::Click(GetDlgItem(dialog, IDCANCEL));
    });
    CCrashReportDlg dialog(
        QStringLiteral("/opt/taluvo/taluvo"), QStringLiteral("/tmp/none.RPT"), QStringLiteral("/tmp/none.dmp"));
    dialog.DoModal(nullptr);
    ASSERT_FALSE(shot.isNull()) << "the dialog did not show";
    SaveArtefact(shot, "crash-dialog.png");

    const RECT strip { band.left, band.top, headline.left - 1, band.bottom };
    EXPECT_EQ(ShareOf(shot, strip, RGB(255, 255, 255)), 100) << "the band is white";
    EXPECT_GT(ShareOf(shot, band, RGB(255, 255, 255)), 60) << "the band is white behind the headline and the icon";

    LOGFONT font {};
    ASSERT_TRUE(headlineFont);
    ASSERT_EQ(GetObject(headlineFont, sizeof(font), &font), int(sizeof(font)));
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    // The headline's ink on the screen is that of the bold font, not of the normal one.
    const int width = headline.right - headline.left;
    const int height = headline.bottom - headline.top;
    int onScreen = 0;
    for (int y = headline.top; y < headline.bottom; ++y)
        for (int x = headline.left; x < headline.right; ++x)
            onScreen += Brightness(shot.pixel(x, y)) < 128;
    font.lfWeight = FW_NORMAL;
    HFONT normalFont = CreateFontIndirect(&font);
    const int normal = InkOf(headlineText, normalFont, width, height);
    const int bold = InkOf(headlineText, headlineFont, width, height);
    DeleteObject(FontObject(normalFont));
    EXPECT_GT(bold, normal) << "the measuring itself tells bold from normal";
    EXPECT_GT(onScreen, (normal + bold) / 2) << "screen " << onScreen << ", normal " << normal << ", bold " << bold;
}

} // namespace

namespace {

// Reading the screen shows the program's own windows as their last requests to paint left them:
// a window invalidated just before is drawn before the screen is read.
TEST_F(UiOnScreen, TheScreenIsReadAfterTheProgramsOwnPendingPaints)
{
    CColourWindow window(RGB(200, 40, 40));
    ASSERT_TRUE(window.Open(150, 150, 200, 120, WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    ASSERT_TRUE(WaitOnScreen(window));
    POINT middle { 100, 60 };
    ClientToScreen(window, &middle);
    ASSERT_TRUE(
        WaitForScreen([&](const QImage& shot) { return ScreenColor(shot, middle.x, middle.y) == RGB(200, 40, 40); }));

    window.m_colour = RGB(20, 180, 60);
    ::InvalidateRect(window, nullptr, TRUE);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, middle.x, middle.y), RGB(20, 180, 60));
    ReleaseDC(nullptr, screen);
}

} // namespace
