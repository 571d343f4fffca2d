// The tray icon object: shown and hidden states, tip limits, the icon list, the clicks and the
// icon put back when a tray (re)appears.
#include "tests/platform/ui/UiTestSupport.h"

#include "Controls/TrayIcon.h"
#include "platform/ui/Menu.h"
#include "platform/ui/SystemIcons.h"
#include "platform/ui/detail/Core.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QStyle>
#include <QTemporaryDir>

#include <vector>

namespace {

constexpr UINT kCallback = WM_APP + 0x100;

class COwner : public CWindowImpl<COwner> {
public:
    std::vector<UINT> commands;
    BEGIN_MSG_MAP(COwner)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        commands.push_back(LOWORD(wParam));
        return 0;
    }
};

// True when the tray layer holds the icon (a change of it succeeds only then).
bool InTray(HWND owner, UINT id)
{
    NOTIFYICONDATA data;
    data.hWnd = owner;
    data.uID = id;
    return Shell_NotifyIcon(NIM_MODIFY, &data) != FALSE;
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        taluvo::res::RegisterResources();
        ASSERT_TRUE(owner.Create(nullptr, nullptr, QString(), WS_POPUP));
    }
    void TearDown() override
    {
        if (owner.IsWindow())
            owner.DestroyWindow();
    }
    void Deliver()
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&msg);
    }
    COwner owner;
};

TEST_F(TrayIconTest, HiddenCreationShowsNothingUntilAsked)
{
    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP, TRUE));
    EXPECT_TRUE(tray.m_bHidden);
    EXPECT_FALSE(InTray(owner, IDR_TRAY_POPUP));
    EXPECT_TRUE(tray.HideIcon()); // never shown: nothing to do

    EXPECT_TRUE(tray.ShowIcon());
    EXPECT_FALSE(tray.m_bHidden);
    EXPECT_TRUE(InTray(owner, IDR_TRAY_POPUP));
    EXPECT_TRUE(tray.ShowIcon()); // shown already

    EXPECT_TRUE(tray.RemoveIcon());
    EXPECT_TRUE(tray.m_bHidden);
    EXPECT_FALSE(InTray(owner, IDR_TRAY_POPUP));
    EXPECT_TRUE(tray.RemoveIcon()); // removed before
}

TEST_F(TrayIconTest, TipLimits)
{
    const QString longTip(100, QLatin1Char('t'));
    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, longTip, nullptr, IDR_TRAY_POPUP, TRUE));
    EXPECT_EQ(tray.GetTipText().size(), 62);
    EXPECT_TRUE(tray.SetTipText(longTip));
    // 63 characters are stored; reading gives at most 62.
    EXPECT_EQ(tray.GetTipText().size(), 62);
    EXPECT_TRUE(tray.SetTipText(QStringLiteral("short")));
    EXPECT_EQ(tray.GetTipText(), QStringLiteral("short"));
}

TEST_F(TrayIconTest, IconListStepsRoundAndRefusesAReversedRange)
{
    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP, TRUE));
    EXPECT_FALSE(tray.ShowNextIcon()); // no list yet
    ASSERT_TRUE(tray.SetIconList(IDI_PAGE_16x16, IDI_PAGE_NEW_16x16));
    EXPECT_EQ(tray.GetCurrentIconIndex(), -1);
    // Each entry is loaded once: stepping round gives the same handles again.
    std::vector<HICON> shown;
    for (int index : { 0, 1, 0 }) {
        EXPECT_TRUE(tray.ShowNextIcon());
        EXPECT_EQ(tray.GetCurrentIconIndex(), index);
        shown.push_back(tray.GetIcon());
    }
    EXPECT_TRUE(shown[0] && shown[1]);
    EXPECT_NE(shown[0], shown[1]);
    EXPECT_EQ(shown[0], shown[2]);
    const HICON second = shown[1];
    EXPECT_FALSE(tray.SetIconList(IDI_PAGE_NEW_16x16, IDI_PAGE_16x16));
    EXPECT_EQ(tray.GetCurrentIconIndex(), 0); // the list stays as it was
    EXPECT_TRUE(tray.ShowNextIcon());
    EXPECT_EQ(tray.GetIcon(), second);
}

TEST_F(TrayIconTest, IconsFromAFileOrTheSystemAreShownAndKeptWhileInUse)
{
    QTemporaryDir folder;
    const QString red = folder.filePath(QStringLiteral("red.png"));
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(QColor(220, 20, 20));
    ASSERT_TRUE(picture.save(red, "PNG"));
    auto centre = [](HICON icon) {
        const QImage shown = taluvo::ui::detail::IconOf(icon).pixmap(16, 16).toImage();
        return shown.isNull() ? QColor() : shown.pixelColor(shown.width() / 2, shown.height() / 2);
    };
    auto sameImage = [](HICON icon, const QIcon& expected) {
        return taluvo::ui::detail::IconOf(icon).pixmap(32, 32).toImage() == expected.pixmap(32, 32).toImage();
    };

    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP));
    EXPECT_TRUE(tray.SetIconFromFile(red));
    const HICON fromFile = tray.GetIcon();
    EXPECT_EQ(centre(fromFile), QColor(220, 20, 20));
    // A file that cannot be loaded changes nothing.
    EXPECT_FALSE(tray.SetIconFromFile(folder.filePath(QStringLiteral("missing.ico"))));
    EXPECT_EQ(tray.GetIcon(), fromFile);
    EXPECT_EQ(centre(fromFile), QColor(220, 20, 20)) << "the icon shown is still there";

    QStyle* style = QApplication::style();
    const struct {
        LPCWSTR name;
        QStyle::StandardPixmap picture;
    } system[] = { { IDI_WARNING, QStyle::SP_MessageBoxWarning }, { IDI_ERROR, QStyle::SP_MessageBoxCritical },
        { IDI_INFORMATION, QStyle::SP_MessageBoxInformation }, { IDI_QUESTION, QStyle::SP_MessageBoxQuestion } };
    for (const auto& s : system) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(s.name));
        EXPECT_TRUE(tray.SetSystemIcon(s.name));
        EXPECT_TRUE(sameImage(tray.GetIcon(), style->standardIcon(s.picture)));
    }
    EXPECT_TRUE(taluvo::ui::detail::IconOf(fromFile).isNull()) << "the file's icon went once it was replaced";
    EXPECT_TRUE(tray.SetSystemIcon(32512u)); // IDI_APPLICATION by its number
    EXPECT_TRUE(tray.GetIcon() != nullptr);
    const HICON application = tray.GetIcon();
    EXPECT_FALSE(tray.SetSystemIcon(32600u)); // no system icon has this number
    EXPECT_EQ(tray.GetIcon(), application);
    EXPECT_TRUE(tray.ShowIcon());
    EXPECT_TRUE(InTray(owner, IDR_TRAY_POPUP));
}

TEST_F(TrayIconTest, LeftClickPostsTheDefaultCommand)
{
    struct Case {
        UINT item;
        BOOL byPosition;
        UINT command;
    };
    const Case cases[] = { { ID_RESTORE_FROM_TRAY, FALSE, ID_RESTORE_FROM_TRAY }, { 0, TRUE, ID_TOOLS_CHECK_ALL } };
    for (const Case& c : cases) {
        CTrayIcon tray;
        ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP, TRUE));
        if (c.item || !c.byPosition) {
            EXPECT_TRUE(tray.SetMenuDefaultItem(c.item, c.byPosition));
        }
        owner.commands.clear();
        EXPECT_EQ(tray.OnTrayNotification(IDR_TRAY_POPUP, WM_LBUTTONUP), 1);
        Deliver();
        EXPECT_EQ(owner.commands, std::vector<UINT>({ c.command }));
    }
}

TEST_F(TrayIconTest, RightClickShowsTheMenuOfItsOwnIconOnly)
{
    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP, TRUE));
    ASSERT_TRUE(tray.SetMenuDefaultItem(ID_RESTORE_FROM_TRAY, FALSE));
    int shown = 0;
    UINT defaultItem = 0;
    taluvo::ui::test::ScopedPopupMenuHook pick([&](HMENU menu, HWND at, POINT) -> UINT {
        ++shown;
        EXPECT_EQ(at, owner.m_hWnd);
        defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
        return ID_APP_EXIT;
    });
    EXPECT_EQ(tray.OnTrayNotification(IDR_TRAY_POPUP + 1, WM_RBUTTONUP), 0);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(tray.OnTrayNotification(IDR_TRAY_POPUP, WM_RBUTTONUP), 1);
    Deliver();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(defaultItem, ID_RESTORE_FROM_TRAY);
    EXPECT_EQ(owner.commands, std::vector<UINT>({ ID_APP_EXIT }));
}

TEST_F(TrayIconTest, ANewTrayGetsTheIconWheneverTheProgramShowsIt)
{
    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, owner, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP, TRUE));
    // Hidden: a new tray gets nothing.
    SendMessage(tray.GetHiddenWindow(), WM_TRAY_TASKBAR_CREATED, 0, 0);
    EXPECT_FALSE(InTray(owner, IDR_TRAY_POPUP));

    ASSERT_TRUE(tray.ShowIcon());
    // The tray went away and took the icon with it, although its last add had succeeded.
    NOTIFYICONDATA data;
    data.hWnd = owner;
    data.uID = IDR_TRAY_POPUP;
    ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
    SendMessage(tray.GetHiddenWindow(), WM_TRAY_TASKBAR_CREATED, 0, 0);
    EXPECT_TRUE(InTray(owner, IDR_TRAY_POPUP));
    EXPECT_FALSE(tray.m_bHidden);
    // The work area changing is taken the same way; an icon that is there already stays.
    SendMessage(tray.GetHiddenWindow(), WM_SETTINGCHANGE, 47, 0);
    EXPECT_TRUE(InTray(owner, IDR_TRAY_POPUP));

    EXPECT_TRUE(tray.HideIcon());
    SendMessage(tray.GetHiddenWindow(), WM_TRAY_TASKBAR_CREATED, 0, 0);
    EXPECT_FALSE(InTray(owner, IDR_TRAY_POPUP));
}

TEST_F(TrayIconTest, CallbackToTheHiddenWindowReachesTheIcon)
{
    CTrayIcon tray;
    ASSERT_TRUE(tray.Create(nullptr, nullptr, kCallback, QStringLiteral("Taluvo"), nullptr, IDR_TRAY_POPUP, TRUE));
    ASSERT_TRUE(tray.SetMenuDefaultItem(ID_RESTORE_FROM_TRAY, FALSE));
    EXPECT_EQ(tray.GetCallbackWindow(), tray.GetHiddenWindow());
    ASSERT_TRUE(tray.SetCommandWindow(owner));
    EXPECT_EQ(SendMessage(tray.GetHiddenWindow(), kCallback, IDR_TRAY_POPUP, WM_LBUTTONUP), 1);
    Deliver();
    EXPECT_EQ(owner.commands, std::vector<UINT>({ ID_RESTORE_FROM_TRAY }));
}

} // namespace
