// The toolbar's and the tree's images on a real screen, pixel for pixel: on a plain screen the
// 16 x 16 pictures of the strip, on a screen of twice the density (this suite runs a second time
// with QT_SCALE_FACTOR=2) the strip's 32 x 32 pictures, never the small ones enlarged. The
// screenshots are kept under artefacts/.
#include "tests/platform/ui/x11/X11TestSupport.h"

#include "platform/ui/CommCtrl.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>

using namespace taluvo::test::x11;

namespace {

class CImageHost : public CWindowImpl<CImageHost> {
public:
    // NOLINTNEXTLINE(bugprone-branch-clone): an empty map passes every message on, its own case as the default
    BEGIN_MSG_MAP(CImageHost)
    END_MSG_MAP()
};

// Whether the picture stands on the screen somewhere inside the area (device pixels): every
// opaque pixel of it equal, at one place. Soft edges are left out, they blend with the background.
bool Shows(const QImage& shot, const QRect& area, const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int top = area.top(); top + image.height() <= area.bottom() + 1; ++top)
        for (int left = area.left(); left + image.width() <= area.right() + 1; ++left) {
            bool same = true;
            for (int y = 0; same && y < image.height(); ++y)
                for (int x = 0; same && x < image.width(); ++x) {
                    const QRgb p = image.pixel(x, y);
                    if (qAlpha(p) == 255)
                        same = (shot.pixel(left + x, top + y) & 0xFFFFFF) == (p & 0xFFFFFF);
                }
            if (same)
                return true;
        }
    return false;
}

// The widget's place on the screen in device pixels.
QRect DeviceRect(HWND hwnd, qreal ratio)
{
    QWidget* widget = Widget(hwnd);
    const QRect logical(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    return QRect(std::lround(logical.left() * ratio), std::lround(logical.top() * ratio),
        std::lround(logical.width() * ratio), std::lround(logical.height() * ratio));
}

TEST(UiDensity, ToolbarAndTreeShowTheStripDrawnForTheScreen)
{
    taluvo::test::EnsureUiApplication();
    taluvo::res::RegisterResources();
    ASSERT_TRUE(WindowManagerRuns()) << "the session has no window manager";

    CImageList images;
    ASSERT_TRUE(images.Create(IDB_TREE_IMAGES, 16, 6, 0xFF00FF));
    ASSERT_TRUE(images.SetOverlayImage(24, 1));
    CImageHost host;
    RECT rect { 40, 40, 360, 260 };
    ASSERT_TRUE(host.Create(nullptr, &rect, QStringLiteral("Images"), WS_OVERLAPPEDWINDOW));

    RECT barRect { 0, 0, 320, 30 };
    HWND bar = CreateWindowEx(0, TOOLBARCLASSNAME, nullptr, WS_CHILD | WS_VISIBLE | CCS_NOPARENTALIGN, 0, 0, 320, 30,
        host, nullptr, nullptr, nullptr);
    ASSERT_NE(bar, nullptr);
    MoveWindow(bar, barRect.left, barRect.top, barRect.right, barRect.bottom, TRUE);
    CToolBarCtrl toolBar(bar);
    SendMessage(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(static_cast<HIMAGELIST>(images)));
    const int toolImages[] = { 7, 19, 22, 27 };
    std::vector<TBBUTTON> buttons;
    for (int i = 0; i < 4; ++i) {
        TBBUTTON button {};
        button.idCommand = 100 + i;
        button.iBitmap = toolImages[i];
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;
        buttons.push_back(button);
    }
    ASSERT_TRUE(toolBar.AddButtons(4, buttons.data()));

    CTreeViewCtrl tree;
    RECT treeRect { 0, 34, 320, 200 };
    ASSERT_TRUE(tree.Create(host, &treeRect, QString(), WS_CHILD | WS_VISIBLE | TVS_LINESATROOT, 0, 2000));
    tree.SetImageList(images);
    tree.InsertItem(
        TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, QStringLiteral("News"), 0, 1, 0, 0, 0, TVI_ROOT, TVI_LAST);
    tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE, QStringLiteral("Switched off"), 12, 12,
        INDEXTOOVERLAYMASK(1), TVIS_OVERLAYMASK, 0, TVI_ROOT, TVI_LAST);

    host.ShowWindow(SW_SHOW);
    // WaitOnScreen compares the X server's place of the window with Qt's, which differ by the
    // scale here; the pictures themselves are waited for below.
    ASSERT_TRUE(PumpUntil(
        [&] {
            QWindow* window = Widget(host)->window()->windowHandle();
            return window && window->isExposed();
        },
        5000));
    const qreal ratio = Widget(host)->devicePixelRatioF();
    ASSERT_TRUE(ratio == 1.0 || ratio == 2.0) << ratio;
    const bool doubled = ratio == 2.0;
    const auto expected = [&](int index, int overlay = 0) {
        return doubled ? taluvo::ui::DoubledImageListImage(images, index, overlay)
                       : taluvo::ui::ImageListImage(images, index, overlay);
    };

    const QRect barArea = DeviceRect(bar, ratio);
    const QRect treeArea = DeviceRect(tree, ratio);
    EXPECT_TRUE(WaitForScreen([&](const QImage& shot) {
        for (int index : toolImages)
            if (!Shows(shot, barArea, expected(index)))
                return false;
        return Shows(shot, treeArea, expected(0)) && Shows(shot, treeArea, expected(12, 1));
    })) << "ratio "
        << ratio;
    const QImage shot = Screenshot();
    SaveArtefact(shot.copy(barArea.united(treeArea)), doubled ? "images-at-2x.png" : "images-at-1x.png");
    if (doubled) {
        // Not the small picture enlarged: its blocky form is nowhere.
        const QImage blocky = taluvo::ui::ImageListImage(images, 27).scaled(32, 32);
        EXPECT_FALSE(Shows(shot, barArea, blocky));
    }
    host.DestroyWindow();
    images.Destroy();
}

} // namespace
