// The File menu's commands on the main window: work offline switched by its key and refused while
// the program follows the connection itself; minimise to tray without a tray (the window minimises)
// and while an alert popup has put the icon up; bookmark import through the wizard into groups
// the tree shows, and into the group the import makes, which the tree and the toolbars get at once.
#include "tests/dialogs/ImportFixtureHome.h"
#include "tests/frame/TreeCommandsSupport.h"

#include "tests/Network/NetworkTestSupport.h"

#include "Network/Listener.h"
#include "core/Globals.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ListView.h"
#include "platform/ui/PropertySheet.h"
#include "res/DialogIds.h"

using namespace taluvo::test;
namespace uitest = taluvo::ui::test;

namespace {

class FileCommands : public TreeCommands {
protected:
    void SetUp() override
    {
        TreeCommands::SetUp();
        m_autoDetect = g_prefs.GetParam(kAutoDetectOnline)->GetBool();
    }
    void TearDown() override
    {
        g_prefs.GetParam(kAutoDetectOnline)->SetBool(m_autoDetect);
        TreeCommands::TearDown();
    }
    void WorkOfflineKey(WORD code) { m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_FILE_WORK_OFFLINE, code)); }
    bool Offline() { return g_prefs.GetParam(kWorkOffline)->GetBool(); }
    bool Checked() { return (m_frame.UIGetState(ID_FILE_WORK_OFFLINE) & UPDUI_CHECKED) != 0; }

    // Runs the import command; the wizard takes the Firefox bookmarks, ticks the rows given and
    // finishes (or is cancelled when finish is false).
    void Import(const std::vector<int>& ticked, bool clearGroup = false, bool finish = true)
    {
        m_wizardRan = false;
        uitest::ScopedDialogHook hook([&](HWND sheet, WORD) {
            m_wizardRan = true;
            auto page = [sheet] { return reinterpret_cast<HWND>(SendMessage(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); };
            uitest::Click(GetDlgItem(page(), IDC_IMPORT_FROM_FIREFOX));
            EXPECT_TRUE(uitest::PressSheetButton(sheet, PSBTN_NEXT));
            HWND list = GetDlgItem(page(), IDC_IMPORT_BOOKMARKS);
            for (int row : ticked)
                EXPECT_TRUE(uitest::CheckListRow(list, row, true));
            if (clearGroup)
                uitest::Click(GetDlgItem(page(), IDC_IMPORT_CLEAR_GROUP));
            EXPECT_TRUE(uitest::PressSheetButton(sheet, finish ? PSBTN_FINISH : PSBTN_CANCEL));
        });
        Command(ID_FILE_IMPORT_BOOKMARKS);
    }

    ImportFixtureHome m_home;
    bool m_autoDetect = true;
    bool m_wizardRan = false;
};

TEST_F(FileCommands, WorkOfflineKeyTwiceRestoresTheSettingAndItsCheckMark)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1)));
    // Detection off, as the preferences command leaves it.
    g_prefs.GetParam(kAutoDetectOnline)->SetBool(false);
    m_frame.KillTimer(g_iCheckOnlineTimerId);
    m_frame.UIEnable(ID_FILE_WORK_OFFLINE, TRUE);
    const bool before = Offline();
    ASSERT_EQ(Checked(), before);

    for (WORD code : { WORD(1), WORD(0) }) { // the key (accelerator), then the menu
        WorkOfflineKey(code);
        EXPECT_EQ(Offline(), !before) << code;
        EXPECT_EQ(Checked(), !before) << code;
        WorkOfflineKey(code);
        EXPECT_EQ(Offline(), before) << code;
        EXPECT_EQ(Checked(), before) << code;
    }
    // -1 only shows what is stored.
    g_prefs.GetParam(kWorkOffline)->SetBool(!before);
    BOOL handled = TRUE;
    m_frame.OnFileWorkOffline(0, static_cast<WORD>(-1), nullptr, handled);
    EXPECT_EQ(Offline(), !before);
    EXPECT_TRUE(Checked() == !before);
}

TEST_F(FileCommands, WorkOfflineIsRefusedWhileTheProgramDetectsTheConnection)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1)));
    ASSERT_TRUE(g_prefs.GetParam(kAutoDetectOnline)->GetBool());
    EXPECT_TRUE(m_frame.UIGetState(ID_FILE_WORK_OFFLINE) & UPDUI_DISABLED);
    const bool before = Offline();
    for (WORD code : { WORD(1), WORD(0) }) { // a key press gets past no disabled menu item
        WorkOfflineKey(code);
        EXPECT_EQ(Offline(), before) << code;
        EXPECT_EQ(Checked(), before) << code;
    }
}

TEST_F(FileCommands, MinimiseToTrayWithoutATrayMinimisesAndTakesTheIconFromThePopup)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1)));
    m_frame.ShowWindow(SW_SHOW);
    ASSERT_TRUE(m_frame.IsWindowVisible());
    // An alert popup has put the icon up.
    m_frame.ShowUpdatePopup(1, 1, QStringLiteral("http://one/"), QStringLiteral("http://one/"));
    ASSERT_TRUE(m_frame.m_bTrayShownForPopup);
    ASSERT_TRUE(m_frame.m_trayIcon.IsVisible());

    Command(ID_FILE_MIN_TO_TRAY);
    // No tray here: the window is minimised as usual, so the user can always get it back.
    EXPECT_TRUE(m_frame.IsIconic());
    EXPECT_FALSE(m_frame.m_bTrayShownForPopup);
    // The popup ends: the icon stays, since the window now belongs to it.
    m_frame.SendMessage(WM_TIMER, g_iPopupTimerId);
    EXPECT_TRUE(m_frame.m_trayIcon.IsVisible());

    // Restored from the tray: the icon goes; the command hides the window again.
    Command(ID_RESTORE_FROM_TRAY);
    EXPECT_FALSE(m_frame.IsIconic());
    EXPECT_FALSE(m_frame.m_trayIcon.IsVisible());
    Command(ID_FILE_MIN_TO_TRAY);
    EXPECT_TRUE(m_frame.IsIconic());
    EXPECT_TRUE(m_frame.m_trayIcon.IsVisible());
}

TEST_F(FileCommands, ImportedPagesTakeTheirPlacesInTheGroupsTheTreeShows)
{
    m_home.Use();
    ASSERT_TRUE(Start(Group(1, "ALPHA", 1, 1) + Group(2, "OTHER", 1, 1) + Page(1, 1, "Echo")));
    Select(2);
    // "First post" and "Mixed & case" into the first group listed, ALPHA, whatever the selection.
    Import({ 0, 1 });
    EXPECT_TRUE(m_wizardRan);
    EXPECT_EQ(PageLabels(1),
        (std::vector<QString> {
            QStringLiteral("Echo"), QStringLiteral("First post"), QStringLiteral("Mixed & case") }));

    // Cancelled: nothing changes, neither stored nor shown.
    const std::vector<QString> shown = PageLabels(1);
    Import({ 1 }, false, false);
    EXPECT_TRUE(m_wizardRan);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT COUNT(*) FROM PAGES;"), "3");
    EXPECT_EQ(PageLabels(1), shown);
    EXPECT_EQ(RootLabels(), (std::vector<QString> { QStringLiteral("ALPHA"), QStringLiteral("OTHER") }));
}

TEST_F(FileCommands, AnImportIntoAUserOrderGroupAppendsInIdOrderAndClearingKeepsOnlyTheNewPages)
{
    m_home.Use();
    // The user's order: Zulu before Able.
    ASSERT_TRUE(Start(Group(2, "MINE", 1, 4) + Page(2, 2, "Zulu") + Page(3, 2, "Able")));
    ASSERT_EQ(PageLabels(2), (std::vector<QString> { QStringLiteral("Zulu"), QStringLiteral("Able") }));
    Import({ 1, 0 });
    EXPECT_EQ(PageLabels(2),
        (std::vector<QString> { QStringLiteral("Zulu"), QStringLiteral("Able"), QStringLiteral("First post"),
            QStringLiteral("Mixed & case") }));
    EXPECT_EQ(StoredOrder(2), "2,3,4,5");

    Import({ 1 }, true);
    EXPECT_EQ(PageLabels(2), (std::vector<QString> { QStringLiteral("Mixed & case") }));
    EXPECT_EQ(StoredOrder(2), "6");
}

TEST_F(FileCommands, WithoutGroupsTheImportAsksForAGroupFirst)
{
    m_home.Use();
    ASSERT_TRUE(Start(""));
    Import({ 4, 1 });
    EXPECT_FALSE(m_wizardRan);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QStringLiteral("Warning: Please create at least one group before import bookmarks."));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT count(*) FROM GROUPS;"), "0");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT count(*) FROM PAGES;"), "0");
    EXPECT_TRUE(RootLabels().empty());
}

} // namespace
