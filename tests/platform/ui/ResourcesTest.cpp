// Resource tables and what is made from them: menus (states, default item, stale handles),
// accelerator tables and their translation, the string table, image lists from the image strip
// (magenta transparent, overlays), and the clipboard's text through the codec.
#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/base/KernelObjects.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Menu.h"
#include "res/DialogIds.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstring>
#include <thread>

namespace {

class UiResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        taluvo::res::RegisterResources();
    }
};

TEST_F(UiResources, MenuStatesAndDefaultItem)
{
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_MAINFRAME));
    const HMENU file = menu.GetSubMenu(0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(GetMenuItemCount(file), 6);
    EXPECT_EQ(GetMenuItemID(file, 0), ID_FILE_IMPORT_BOOKMARKS);
    EXPECT_EQ(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
    EXPECT_EQ(GetMenuString(file, ID_APP_EXIT, MF_BYCOMMAND), QStringLiteral("E&xit\tAlt+X"));
    EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(-1)); // a popup has no id

    // By command the whole bar is searched; the previous state comes back, -1 for a missing item.
    EXPECT_EQ(menu.EnableMenuItem(ID_PAGE_DELETE, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(menu.EnableMenuItem(ID_PAGE_DELETE, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(menu.CheckMenuItem(ID_VIEW_TOOLBAR, MF_BYCOMMAND | MF_CHECKED), MF_UNCHECKED);
    EXPECT_TRUE(menu.GetMenuState(ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(menu.EnableMenuItem(12345, MF_BYCOMMAND | MF_GRAYED), static_cast<UINT>(-1));
    EXPECT_EQ(menu.GetMenuState(12345, MF_BYCOMMAND), static_cast<UINT>(-1));

    // Each loaded menu is its own copy.
    CMenu again;
    ASSERT_TRUE(again.LoadMenu(IDR_MAINFRAME));
    EXPECT_FALSE(again.GetMenuState(ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED);

    // The tray menu's default item is "Restore".
    CMenu tray;
    ASSERT_TRUE(tray.LoadMenu(IDR_TRAY_POPUP));
    EXPECT_EQ(GetMenuDefaultItem(tray.GetSubMenu(0), FALSE, 0), ID_RESTORE_FROM_TRAY);
    EXPECT_EQ(GetMenuDefaultItem(tray.GetSubMenu(0), TRUE, 0), 6u);
    EXPECT_FALSE(SetMenuDefaultItem(tray.GetSubMenu(0), 4242, FALSE));

    // Destroying a menu destroys its popups: their handles fail from then on.
    const HMENU popup = again.GetSubMenu(1);
    EXPECT_TRUE(again.DestroyMenu());
    EXPECT_FALSE(IsMenu(popup));
    EXPECT_EQ(GetMenuItemCount(popup), -1);
    EXPECT_EQ(EnableMenuItem(popup, ID_GROUP_ADD, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(LoadMenu(nullptr, MAKEINTRESOURCE(999)), nullptr);
}

TEST_F(UiResources, AcceleratorTableAndStrings)
{
    HACCEL table = LoadAccelerators(nullptr, MAKEINTRESOURCE(IDR_MAINFRAME));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(CopyAcceleratorTable(table, nullptr, 0), 19);
    ACCEL entries[19];
    ASSERT_EQ(CopyAcceleratorTable(table, entries, 19), 19);
    for (const ACCEL& entry : entries)
        EXPECT_TRUE(entry.fVirt & FVIRTKEY);
    // Key-ups and keys that match no entry pass through untouched.
    MSG up;
    up.message = WM_KEYUP;
    up.wParam = VK_F5;
    EXPECT_EQ(TranslateAccelerator(GetDesktopWindow(), table, &up), 0);
    EXPECT_TRUE(DestroyAcceleratorTable(table));
    EXPECT_FALSE(DestroyAcceleratorTable(table));
    EXPECT_EQ(LoadAccelerators(nullptr, MAKEINTRESOURCE(999)), nullptr);

    char16_t buffer[8];
    EXPECT_EQ(LoadString(nullptr, IDR_MAINFRAME, buffer, 8), 6);
    EXPECT_EQ(QString::fromUtf16(buffer), QStringLiteral("Taluvo"));
    EXPECT_EQ(LoadString(nullptr, ID_PAGE_ADD, buffer, 8), 7); // cut to the buffer, NUL kept
    EXPECT_EQ(QString::fromUtf16(buffer), QStringLiteral("Add new"));
    EXPECT_EQ(LoadString(nullptr, 4242, buffer, 8), 0);
    EXPECT_EQ(taluvo::ui::AtlLoadString(ATL_IDS_IDLEMESSAGE), QStringLiteral("Ready"));
    EXPECT_EQ(
        taluvo::ui::AtlLoadString(ID_PAGE_COPY_ADDRESS), QStringLiteral("Copy page address in buffer\nCopy address"));
}

TEST_F(UiResources, ImageListFromTheStrip)
{
    CImageList list;
    ASSERT_TRUE(list.Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 6));
    HBITMAP strip = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_TREE_IMAGES));
    ASSERT_NE(strip, nullptr);
    ASSERT_EQ(list.Add(strip, 0xFF00FF), 0);
    DeleteObject(strip);
    EXPECT_EQ(list.GetImageCount(), 28);

    // Magenta is transparent; drawn pixels are opaque.
    const QImage group = taluvo::ui::ImageListImage(list, 0);
    ASSERT_EQ(group.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(group.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(group.pixel(8, 8)), 255);
    const QImage overlayAlone = taluvo::ui::ImageListImage(list, 24);
    EXPECT_EQ(qAlpha(overlayAlone.pixel(12, 2)), 0);

    // Overlay 1 is image 24, laid over any image; unset overlays and bad indexes give nothing.
    EXPECT_FALSE(list.SetOverlayImage(99, 1));
    EXPECT_FALSE(list.SetOverlayImage(24, 16));
    ASSERT_TRUE(list.SetOverlayImage(24, 1));
    const QImage page = taluvo::ui::ImageListImage(list, 12);
    const QImage crossed = taluvo::ui::ImageListImage(list, 12, 1);
    EXPECT_NE(page.pixel(1, 10), crossed.pixel(1, 10));
    EXPECT_EQ(qRed(crossed.pixel(1, 10)), 220);
    EXPECT_EQ(crossed.pixel(8, 5), page.pixel(8, 5)); // the page shows through elsewhere
    EXPECT_EQ(taluvo::ui::ImageListImage(list, 12, 2), page); // overlay 2 was never set
    EXPECT_TRUE(taluvo::ui::ImageListImage(list, 28).isNull());

    // Drawing through a device context keeps the transparency: the background stays.
    {
        const taluvo::test::Canvas target(16, 16);
        EXPECT_TRUE(list.Draw(target.dc, 0, 0, 0, ILD_TRANSPARENT));
        EXPECT_EQ(target.Rgb(0, 0), 0xFFFFFFu);
        EXPECT_NE(target.Rgb(8, 8), 0xFFFFFFu);
    }

    HICON icon = list.GetIcon(10);
    EXPECT_NE(icon, nullptr);
    DestroyIcon(icon);
    EXPECT_TRUE(list.Destroy());
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
}

// The strip is drawn also at twice the density: each image of the list gets a 32 x 32 picture
// that a widget on such a screen shows, transparent where the 16 x 16 one is, and the 16 x 16
// pictures stay exactly what they were.
TEST_F(UiResources, TheStripAtTwiceTheDensity)
{
    CImageList list;
    ASSERT_TRUE(list.Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 6));
    HBITMAP strip = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_TREE_IMAGES));
    ASSERT_EQ(list.Add(strip, 0xFF00FF), 0);
    DeleteObject(strip);
    ASSERT_TRUE(list.SetOverlayImage(24, 1));

    for (int index : { 0, 8, 12, 26, 27 }) {
        SCOPED_TRACE(index);
        const QImage one = taluvo::ui::ImageListImage(list, index);
        const QImage two = taluvo::ui::DoubledImageListImage(list, index);
        ASSERT_EQ(two.size(), QSize(32, 32));
        // The 2x picture draws the same shapes: soft edges reach at most the next pixel, so a 1x
        // pixel whose neighbourhood is all see-through has a see-through 2x block, and one whose
        // neighbourhood is all drawn has ink in its block.
        for (int y = 1; y < 15; ++y)
            for (int x = 1; x < 15; ++x) {
                int drawn = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        drawn += qAlpha(one.pixel(x + dx, y + dy)) != 0;
                if (drawn != 0 && drawn != 9)
                    continue;
                int inked = 0;
                for (int fy = 2 * y; fy < 2 * y + 2; ++fy)
                    for (int fx = 2 * x; fx < 2 * x + 2; ++fx)
                        inked += qAlpha(two.pixel(fx, fy)) != 0;
                if (drawn)
                    ASSERT_GT(inked, 0) << x << "," << y;
                else
                    ASSERT_EQ(inked, 0) << x << "," << y;
            }
        // A Qt icon of the image: the 1x picture on a plain screen, the 2x one at ratio 2.
        const QIcon icon = taluvo::ui::ImageListIcon(list, index);
        EXPECT_EQ(icon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
            one.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        const QPixmap sharp = icon.pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
        EXPECT_EQ(sharp.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
            two.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    // The overlay goes over the 2x picture in its own 2x form: its red reaches the lower left.
    const QImage crossed = taluvo::ui::DoubledImageListImage(list, 12, 1);
    EXPECT_EQ(qRed(crossed.pixel(3, 21)), 220);
    EXPECT_EQ(crossed.pixel(16, 10), taluvo::ui::DoubledImageListImage(list, 12).pixel(16, 10));

    // A replaced image has only the picture it was given; indexes out of range give nothing.
    HICON icon = list.GetIcon(10);
    EXPECT_EQ(ImageList_ReplaceIcon(list, 12, icon), 12);
    DestroyIcon(icon);
    EXPECT_TRUE(taluvo::ui::DoubledImageListImage(list, 12).isNull());
    EXPECT_FALSE(taluvo::ui::DoubledImageListImage(list, 11).isNull());
    EXPECT_TRUE(taluvo::ui::DoubledImageListImage(list, 28).isNull());
    // Removing an image moves the doubled pictures with the images.
    const QImage second = taluvo::ui::DoubledImageListImage(list, 1);
    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(taluvo::ui::DoubledImageListImage(list, 0), second);
    EXPECT_TRUE(taluvo::ui::DoubledImageListImage(list, 11).isNull()); // was 12, the replaced one
}

// The doubled picture stands for the bitmap only as loaded: once something is drawn into the
// bitmap, a list made from it has 1x pictures alone, never a stale 2x one.
TEST_F(UiResources, ADrawnOverStripLosesItsDoubledPicture)
{
    HBITMAP strip = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_TREE_IMAGES));
    ASSERT_FALSE(taluvo::ui::DoubledImageOfBitmap(strip).isNull());
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, strip);
    RECT first { 0, 0, 16, 16 };
    FillRect(dc, &first, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(taluvo::ui::DoubledImageOfBitmap(strip).isNull());
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 28, 1);
    ASSERT_EQ(ImageList_AddMasked(list, strip, 0xFF00FF), 0);
    EXPECT_TRUE(taluvo::ui::DoubledImageListImage(list, 0).isNull());
    EXPECT_EQ(taluvo::ui::ImageListIcon(list, 0).availableSizes().size(), 1);
    ImageList_Destroy(list);
    DeleteObject(strip);
    // A bitmap with no drawing at twice the density has none.
    HBITMAP button = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_ABOUT_CLOSE));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(taluvo::ui::DoubledImageOfBitmap(button).isNull());
    DeleteObject(button);
}

TEST_F(UiResources, SoundsAndIconsArePackaged)
{
    for (const char* path : { ":/res/sounds/wave242.wav", ":/res/sounds/wave243.wav" }) {
        QFile file(QString::fromLatin1(path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        const QByteArray head = file.read(12);
        EXPECT_TRUE(head.startsWith("RIFF") && head.mid(8, 4) == "WAVE") << path;
    }
    for (WORD id : { IDR_MAINFRAME, IDI_TRAY_PROBE, IDI_PAGE_16x16, IDI_PAGE_NEW_16x16, IDI_CRASH }) {
        HICON icon = LoadIcon(nullptr, MAKEINTRESOURCE(id));
        EXPECT_NE(icon, nullptr) << id;
    }
    // The probe the tray icon is searched for on the screen: 32 x 32, every pixel black and opaque.
    const QImage probe(QStringLiteral(":/res/images/icon213.png"));
    ASSERT_EQ(probe.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(probe.pixel(x, y), qRgba(0, 0, 0, 255)) << x << "," << y;
}

TEST_F(UiResources, ClipboardTextThroughTheCodec)
{
    // "ANSI" text with a byte that is no UTF-8: it must come back as the same bytes.
    const QByteArray ansi("http://example.test/\xe9t\xc3\xa9", 24);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(ansi.size()) + 1);
    std::memcpy(GlobalLock(block), ansi.constData(), static_cast<size_t>(ansi.size()));
    GlobalUnlock(block);

    EXPECT_EQ(SetClipboardData(CF_TEXT, block), nullptr); // not open: the caller keeps the block
    EXPECT_EQ(GlobalSize(block), static_cast<size_t>(ansi.size()) + 1);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(GlobalSize(block), 0u); // the clipboard freed it
    EXPECT_EQ(taluvo::ui::ClipboardText(), QString::fromUtf16(u"http://example.test/\xdce9t\u00e9"));

    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    HANDLE text = GetClipboardData(CF_TEXT);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(QByteArray(static_cast<const char*>(GlobalLock(text))), ansi);
    HANDLE wide = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(QString::fromUtf16(static_cast<const char16_t*>(GlobalLock(wide))), taluvo::ui::ClipboardText());
    EXPECT_FALSE(OpenClipboard(reinterpret_cast<HWND>(0x1234))); // somebody else's turn later
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(GlobalSize(text), 0u);

    // Only the user-interface thread has the clipboard.
    BOOL opened = TRUE;
    DWORD error = 0;
    std::thread worker([&] {
        opened = OpenClipboard(nullptr);
        error = GetLastError();
    });
    worker.join();
    EXPECT_FALSE(opened);
    EXPECT_EQ(error, ERROR_WRONG_THREAD);

    EXPECT_TRUE(taluvo::ui::SetClipboardText(QStringLiteral("plain")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("plain"));
    EXPECT_EQ(GlobalFree(reinterpret_cast<HGLOBAL>(0x77)), reinterpret_cast<HGLOBAL>(0x77));
}

} // namespace
