// Tray icons: adding, changing and removing, the callback with the icon id and the mouse message,
// the no-tray fallback, and the real thing under a virtual X server with a tray host.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/AtlWin.h"
#include "platform/ui/Tray.h"
#include "res/resource.h"

#include "tests/platform/ui/TrayTestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include <vector>

namespace {

constexpr UINT WM_TRAY_ICON_NOTIFY = WM_APP + 0x100;

class CTrayOwner : public CWindowImpl<CTrayOwner> {
public:
    std::vector<std::pair<WPARAM, LPARAM>> calls;
    BEGIN_MSG_MAP(CTrayOwner)
    MESSAGE_HANDLER(WM_TRAY_ICON_NOTIFY, OnTray)
    END_MSG_MAP()
    LRESULT OnTray(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        calls.emplace_back(wParam, lParam);
        return 0;
    }
};

class UiTray : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        taluvo::res::RegisterResources();
        RECT rect { 0, 0, 300, 200 };
        ASSERT_TRUE(owner.Create(nullptr, &rect, QStringLiteral("owner"), WS_OVERLAPPEDWINDOW));
        data.hWnd = owner;
        data.uID = IDR_TRAY_POPUP;
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = WM_TRAY_ICON_NOTIFY;
        data.hIcon = LoadIcon(nullptr, MAKEINTRESOURCE(IDI_PAGE_16x16));
        std::copy_n(u"Taluvo", 7, data.szTip);
    }
    void TearDown() override
    {
        Shell_NotifyIcon(NIM_DELETE, &data);
        if (owner.IsWindow())
            owner.DestroyWindow();
    }
    void DispatchPosted()
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&msg);
    }

    CTrayOwner owner;
    NOTIFYICONDATA data;
};

TEST_F(UiTray, IconsReportClicksToTheirWindow)
{
    EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, &data)); // not there yet
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &data)); // already there
    // Without a tray the icon exists but is not shown, and has no place on the screen.
    EXPECT_FALSE(taluvo::ui::IsTrayAvailable());
    EXPECT_FALSE(taluvo::ui::IsTrayIconShown(owner, IDR_TRAY_POPUP));
    RECT where;
    EXPECT_FALSE(taluvo::ui::GetTrayIconRect(owner, IDR_TRAY_POPUP, &where));
    EXPECT_FALSE(taluvo::ui::GetTrayAreaRect(&where));

    data.uFlags = NIF_ICON;
    data.hIcon = LoadIcon(nullptr, MAKEINTRESOURCE(IDI_PAGE_NEW_16x16));
    EXPECT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &data));

    for (UINT mouse : { WM_RBUTTONUP, WM_LBUTTONUP, WM_LBUTTONDBLCLK })
        ASSERT_TRUE(taluvo::ui::test::ClickTrayIcon(owner, IDR_TRAY_POPUP, mouse));
    EXPECT_TRUE(owner.calls.empty()); // posted, as the shell does
    DispatchPosted();
    const std::vector<std::pair<WPARAM, LPARAM>> expected { { IDR_TRAY_POPUP, WM_RBUTTONUP },
        { IDR_TRAY_POPUP, WM_LBUTTONUP }, { IDR_TRAY_POPUP, WM_LBUTTONDBLCLK } };
    EXPECT_EQ(owner.calls, expected);

    EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &data));
    EXPECT_FALSE(taluvo::ui::test::ClickTrayIcon(owner, IDR_TRAY_POPUP, WM_LBUTTONUP));
}

TEST_F(UiTray, WithoutATrayTheWindowIsMinimisedInstead)
{
    owner.ShowWindow(SW_SHOW);
    ASSERT_TRUE(HideWindowToTray(owner));
    // The user can still reach it: it is minimised, not hidden.
    EXPECT_TRUE(owner.IsWindowVisible());
    EXPECT_TRUE(owner.IsIconic());
    ASSERT_TRUE(ShowWindowFromTray(owner));
    EXPECT_TRUE(owner.IsWindowVisible());
    EXPECT_FALSE(owner.IsIconic());
    EXPECT_FALSE(HideWindowToTray(nullptr));
}

TEST_F(UiTray, RealTrayUnderVirtualXServer)
{
    const QStringList missing = taluvo::test::tray::MissingTools();
    if (!missing.isEmpty())
        GTEST_SKIP() << "tray check skipped: " << missing.join(QStringLiteral(", ")).toStdString()
                     << " not installed (Debian packages xvfb, xauth, trayer, xdotool)";

    const auto run
        = taluvo::test::tray::RunProbeWithTrayHost(QStringLiteral(TALUVO_UI_TRAY_PROBE), QStringLiteral("800x600x24"));
    const QString& output = run.output;
    std::printf("%s", qPrintable(output));
    ASSERT_TRUE(run.started) << "xvfb-run did not start";
    ASSERT_TRUE(run.finished) << "the tray check did not finish";
    EXPECT_EQ(run.exitCode, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("tray available: yes")));
    // trayer's place: the top right corner, 120 × 24.
    EXPECT_TRUE(output.contains(QStringLiteral("tray area: 680,0 - 800,24"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("command %1 reached the owner").arg(ID_TOOLS_CHECK_ALL)));
    EXPECT_TRUE(output.contains(QStringLiteral("real menu: command %1").arg(ID_TOOLS_CHECK_ALL)));
    EXPECT_TRUE(output.contains(QStringLiteral("new tray: told 1 time(s), icon shown: yes")));
}

} // namespace
