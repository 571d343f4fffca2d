// The preferences command over the real window: Cancel leaves the live settings and the stored row
// byte for byte as they were; OK stores what the sheet edited (read back with sqlite3 and Python's
// struct), keeps the settings timers and toolbars change meanwhile, and the bars, the online timer,
// the work-offline command, the update log, the recipients and the autostart entry follow. The bar
// toggles and the log file command as the menu runs them.
#include "tests/frame/TreeCommandsSupport.h"

#include "core/Globals.h"
#include "frame/AutoRun.h"
#include "platform/ui/PropertySheet.h"
#include "platform/ui/ScrollBar.h"
#include "res/DialogIds.h"

#include <QByteArray>
#include <QFile>

#include <cstdlib>

using namespace taluvo::test;
namespace uitest = taluvo::ui::test;

namespace {

enum : int {
    kLoggingTab = 2,
    kConnectionTab = 3,
    kProxyTab = 4,
    kVisualTab = 5,
    kIntervalTab = 7,
    kSmtpTab = 8,
    kAutomationTab = 9,
    kTabCount = 11
};

// The named settings of the stored row, "NAME=VALUE" per line, as Python's struct reads them.
std::string ReadRecord(const std::string& names)
{
    return CommandOutput("/usr/bin/python3 " TALUVO_SOURCE_DIR "/tests/frame/read_prefs_record.py '" + DatabasePath()
        + "' " + names + " 2>&1");
}

QByteArray LiveRecord()
{
    return QByteArray(reinterpret_cast<const char*>(&g_prefs.m_blob), sizeof(g_prefs.m_blob));
}

class PreferencesCommand : public TreeCommands {
protected:
    void SetUp() override
    {
        TreeCommands::SetUp();
        ::setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1);
        ASSERT_TRUE(Start(""));
        ASSERT_TRUE(m_frame.SavePrefs());
        // Shown, so that a bar's visibility is its own.
        m_frame.ShowWindow(SW_SHOW);
    }
    // Runs the command; act works on the sheet's window.
    void WithSheet(const std::function<void(HWND)>& act)
    {
        uitest::ScopedDialogHook hook([&](HWND dialog, WORD id) {
            if (id != 0) {
                ::EndDialog(dialog, IDCANCEL);
                return;
            }
            act(dialog);
            if (::testing::Test::HasFatalFailure() && ::IsWindow(dialog))
                uitest::PressSheetButton(dialog, PSBTN_CANCEL);
        });
        Command(ID_TOOLS_PREFERENCES);
    }
    static HWND Control(HWND sheet, int page, int id)
    {
        return ::GetDlgItem(
            reinterpret_cast<HWND>(::SendMessage(sheet, PSM_INDEXTOHWND, static_cast<WPARAM>(page), 0)), id);
    }
    bool Checked(UINT id) { return (m_frame.UIGetState(static_cast<int>(id)) & UPDUI_CHECKED) != 0; }
    std::string StoredRow() { return Sqlite(DatabasePath(), "SELECT hex(blobPrefs) FROM PREFS;"); }

    TempDir m_config;
};

TEST_F(PreferencesCommand, CancelAfterEveryPageLeavesSettingsRowAndWindowUntouched)
{
    const QByteArray live = LiveRecord();
    const std::string row = StoredRow();
    ASSERT_TRUE(::IsWindowVisible(m_frame.m_hWndToolBarCtrl));
    const UINT_PTR onlineTimer = m_frame.m_iCheckOnlineTimer;
    int visited = 0;
    WithSheet([&](HWND sheet) {
        for (int page = 0; page < kTabCount; ++page) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, page));
            ++visited;
        }
        uitest::Click(Control(sheet, kVisualTab, IDC_SHOW_TOOLBAR));
        uitest::Click(Control(sheet, kConnectionTab, IDC_CONNECTION_MANUAL));
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, 0));
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(visited, kTabCount);
    EXPECT_EQ(LiveRecord(), live);
    EXPECT_EQ(StoredRow(), row);
    EXPECT_TRUE(::IsWindowVisible(m_frame.m_hWndToolBarCtrl));
    EXPECT_EQ(m_frame.m_iCheckOnlineTimer, onlineTimer);
    EXPECT_TRUE(m_messages.empty()) << Messages();
}

TEST_F(PreferencesCommand, OkStoresWhatTheSheetEditedAndTheWindowFollows)
{
    TempDir logs;
    const std::string csv = logs.File("people.csv");
    WriteFile(csv, "Ann@Example.org;Ann\nbob@example.org;Bob\n");
    ASSERT_TRUE(m_frame.m_iCheckOnlineTimer != 0); // automatic detection is on by default
    ASSERT_TRUE(::IsWindowVisible(m_frame.m_hWndToolBarCtrl));
    // The window started over a database made before it: no first start, no entry.
    ASSERT_FALSE(QFile::exists(AutoRunEntryPath()));

    WithSheet([&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kLoggingTab));
        uitest::Click(Control(sheet, kLoggingTab, IDC_LOG_ENABLE));
        ::SetWindowText(Control(sheet, kLoggingTab, IDC_LOG_PATH), QString::fromStdString(logs.Path()));
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kConnectionTab));
        uitest::Click(Control(sheet, kConnectionTab, IDC_CONNECTION_MANUAL));
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kProxyTab));
        ::SetWindowText(Control(sheet, kProxyTab, IDC_PROXY_PORT), QStringLiteral("8080"));
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kVisualTab));
        uitest::Click(Control(sheet, kVisualTab, IDC_SHOW_TOOLBAR));
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kIntervalTab));
        uitest::DragThumb(Control(sheet, kIntervalTab, IDC_INTERVAL_HOURS), 2);
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kSmtpTab));
        uitest::Click(Control(sheet, kSmtpTab, IDC_USE_EMAIL));
        ::SetWindowText(Control(sheet, kSmtpTab, IDC_CSV_FILE), QString::fromStdString(csv));
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kAutomationTab));
        uitest::Click(Control(sheet, kAutomationTab, IDC_RUN_WITH_WINDOWS));
        // Meanwhile the online timer and a toolbar request change what no page shows.
        g_prefs.GetParam(kWorkOffline)->SetBool(true);
        g_prefs.GetParam(kWorkMode)->SetInt(7);
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_TRUE(m_messages.empty()) << Messages();

    EXPECT_EQ(ReadRecord("LogEnable LogFilePath AutoDetectOnline ProxyPort ShowToolBar ShowStatusBar "
                         "DefaultUpdateInterval UseEMailNotification CSVFile RunWithWindows WorkOffline WorkMode"),
        "LogEnable=1\nLogFilePath=" + logs.Path()
            + "\nAutoDetectOnline=0\nProxyPort=8080\nShowToolBar=0\n"
              "ShowStatusBar=1\nDefaultUpdateInterval=93600\nUseEMailNotification=1\nCSVFile="
            + csv + "\nRunWithWindows=0\nWorkOffline=1\nWorkMode=7\n");

    // The bars, the online timer and the work-offline command.
    EXPECT_FALSE(::IsWindowVisible(m_frame.m_hWndToolBarCtrl));
    EXPECT_FALSE(Checked(ID_VIEW_TOOLBAR));
    EXPECT_TRUE(Checked(ID_VIEW_STATUS_BAR));
    EXPECT_EQ(m_frame.m_iCheckOnlineTimer, 0u);
    EXPECT_TRUE(Enabled(ID_FILE_WORK_OFFLINE));
    EXPECT_TRUE(Checked(ID_FILE_WORK_OFFLINE));
    // The update log in its new folder, and the log command opening it once it exists.
    EXPECT_TRUE(Enabled(ID_TOOLS_OPEN_LOG_FILE));
    EXPECT_EQ(m_frame.m_logFile.GetFileName(), QString::fromStdString(logs.File("Taluvo.log")));
    uitest::ShellRequestCapture capture;
    Command(ID_TOOLS_OPEN_LOG_FILE);
    EXPECT_EQ(m_messages, std::vector<QString> { QStringLiteral("Error: Unable to open LOG file.") });
    EXPECT_TRUE(capture.Requests().empty());
    WriteFile(logs.File("Taluvo.log"), "");
    Command(ID_TOOLS_OPEN_LOG_FILE);
    ASSERT_EQ(capture.Requests().size(), 1u);
    EXPECT_EQ(capture.Requests()[0].arguments, QStringList { QString::fromStdString(logs.File("Taluvo.log")) });
    // The recipients of the new file, without a restart.
    ASSERT_EQ(g_prefs.m_recipients.size(), 2u);
    EXPECT_EQ(g_prefs.m_recipients[0].first, QByteArray("ann@example.org"));
    // The option was on and is now off: the entry that did not exist is still absent.
    EXPECT_FALSE(QFile::exists(AutoRunEntryPath()));

    // Turned on again, the entry is written; an OK that leaves it alone does not touch the entry.
    WithSheet([&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kAutomationTab));
        uitest::Click(Control(sheet, kAutomationTab, IDC_RUN_WITH_WINDOWS));
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_TRUE(QFile::exists(AutoRunEntryPath()));
    QFile::remove(AutoRunEntryPath());
    WithSheet([&](HWND sheet) { uitest::PressSheetButton(sheet, PSBTN_OK); });
    EXPECT_FALSE(QFile::exists(AutoRunEntryPath()));
}

TEST_F(PreferencesCommand, BarTogglesFlipTheSettingAndTwoPressesRestoreIt)
{
    const bool before = g_prefs.GetParam(kShowStatusBar)->GetBool();
    Command(ID_VIEW_STATUS_BAR);
    EXPECT_EQ(g_prefs.GetParam(kShowStatusBar)->GetBool(), !before);
    EXPECT_EQ(::IsWindowVisible(m_frame.m_hWndStatusBar) != FALSE, !before);
    EXPECT_EQ(Checked(ID_VIEW_STATUS_BAR), !before);
    Command(ID_VIEW_STATUS_BAR);
    EXPECT_EQ(g_prefs.GetParam(kShowStatusBar)->GetBool(), before);
    EXPECT_EQ(::IsWindowVisible(m_frame.m_hWndStatusBar) != FALSE, before);

    Command(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(::IsWindowVisible(m_frame.m_hWndToolBarCtrl));
    EXPECT_FALSE(Checked(ID_VIEW_TOOLBAR));
    // Applying only shows the stored value.
    BOOL handled = TRUE;
    m_frame.OnViewToolBar(static_cast<WORD>(-1), ID_VIEW_TOOLBAR, nullptr, handled);
    EXPECT_FALSE(g_prefs.GetParam(kShowToolBar)->GetBool());
    Command(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(::IsWindowVisible(m_frame.m_hWndToolBarCtrl));
    // Toggles reach the row only with the next save.
    EXPECT_EQ(ReadRecord("ShowStatusBar ShowToolBar"), "ShowStatusBar=1\nShowToolBar=1\n");
}

} // namespace
