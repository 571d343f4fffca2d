// The group commands of the main window over a prepared database, the group dialog answered
// through the test hooks and the rows read with the sqlite3 tool. A Python toolbar on the toolbar
// port hears the groups list after every add, rename and delete, and nothing after a toggle.
#include "tests/frame/TreeCommandsSupport.h"

#include "tests/Network/NetworkTestSupport.h"

#include "Network/Listener.h"
#include "core/Globals.h"
#include "platform/ui/Controls.h"

#include <functional>

using namespace taluvo::test;
using taluvo::ui::test::Click;
using taluvo::ui::test::ScopedDialogHook;
using taluvo::ui::test::SelectComboItem;
using taluvo::ui::test::TypeText;

namespace {

constexpr WORD kGroupDialog = 202;
constexpr int kTitle = 1002;
constexpr int kEnable = 1000;
constexpr int kSortType = 1001;

// What the user does in the group dialog; what it showed when it opened is kept.
struct GroupDialogInput {
    QString typed; // typed over the selected title
    int sortIndex = -1; // -1: left as proposed
    bool flipEnable = false;
    int button = IDOK;
};
struct GroupDialogSeen {
    QString caption, title;
    int sortIndex = -2;
    bool enabled = false;
    int opened = 0;
};

class GroupCommands : public TreeCommands {
protected:
    // Runs a command whose group dialog the hook fills as input says.
    void WithDialog(UINT command, const GroupDialogInput& input)
    {
        ScopedDialogHook hook([&](HWND dlg, WORD id) {
            if (id != kGroupDialog) {
                ::EndDialog(dlg, IDCANCEL);
                return;
            }
            ++seen.opened;
            seen.caption = GetWindowText(dlg);
            seen.title = GetDlgItemText(dlg, kTitle);
            seen.sortIndex = CComboBox(GetDlgItem(dlg, kSortType)).GetCurSel();
            seen.enabled = CButton(GetDlgItem(dlg, kEnable)).GetCheck() == BST_CHECKED;
            if (!input.typed.isNull())
                TypeText(GetDlgItem(dlg, kTitle), input.typed);
            if (input.sortIndex >= 0)
                SelectComboItem(GetDlgItem(dlg, kSortType), input.sortIndex);
            if (input.flipEnable)
                Click(GetDlgItem(dlg, kEnable));
            const size_t boxes = m_messages.size();
            Click(GetDlgItem(dlg, input.button));
            if (m_messages.size() != boxes) // refused with a box: the user gives up
                Click(GetDlgItem(dlg, IDCANCEL));
        });
        Command(command);
    }
    std::string Groups()
    {
        return Sqlite(
            DatabasePath(), "SELECT id, title, enable, sortType, ifnull(pagesOrder, 'NULL') FROM GROUPS ORDER BY id;");
    }
    // A toolbar connected to the window's server, past the list it gets on connecting.
    int ConnectToolbar()
    {
        const std::vector<int> ids = m_peer.Connect(1, kToolbarPort);
        EXPECT_EQ(ids.size(), 1u);
        const std::vector<nettest::Frame> first = m_peer.Read(ids.at(0), 1);
        EXPECT_EQ(first.size(), 1u);
        EXPECT_TRUE(nettest::ServeUntil([] { return g_pListener && g_pListener->GetHandlerCount() == 1; }));
        return ids.at(0);
    }
    // The next frame the toolbar gets is the groups list of the database as it is now.
    void ExpectGroupsList(int toolbar, const char* after)
    {
        const std::vector<nettest::Frame> got = m_peer.Read(toolbar, 1);
        ASSERT_EQ(got.size(), 1u) << after;
        EXPECT_EQ(got[0].type, MSG_GROUPS_DATA) << after;
        EXPECT_EQ(got[0].payload, m_peer.OracleGroupsPayload(DatabasePath()))
            << after << ": " << nettest::Describe(got);
    }

    GroupDialogSeen seen;
    nettest::ToolbarPeer m_peer;
};

TEST_F(GroupCommands, AddRenameAndDeleteTellTheToolbarsAndToggleDoesNot)
{
    // The largest id is taken: the new group gets the first free 16-bit id.
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1) + Group(65534, "LAST", 1, 1) + Page(1, 1, "Alpha")));
    const int toolbar = ConnectToolbar();

    WithDialog(ID_GROUP_ADD, { QStringLiteral("  sports "), 3, true });
    EXPECT_EQ(seen.caption, QStringLiteral("Add group of web pages"));
    EXPECT_EQ(seen.title, QString());
    EXPECT_EQ(seen.sortIndex, 0);
    EXPECT_TRUE(seen.enabled);
    EXPECT_EQ(Groups(), "1|NEWS|1|1|NULL\n2|SPORTS|0|4|NULL\n65534|LAST|1|1|NULL");
    EXPECT_EQ(RootLabels().back(), QStringLiteral("SPORTS"));
    HTREEITEM added = m_frame.m_mainTree.GetSelectedItem();
    EXPECT_EQ(added, m_frame.FindGroup(2));
    EXPECT_EQ(m_frame.m_mainTree.GetItemData(added), static_cast<DWORD_PTR>(2 | (4 << 16) | TREE_IS_GROUP));
    ExpectGroupsList(toolbar, "add");

    // Toggled twice: the row and the item follow, and no list goes out (the next frame is the
    // rename's).
    Select(2);
    Command(ID_GROUP_TOGGLE);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM GROUPS WHERE id = 2;"), "1");
    EXPECT_TRUE(m_frame.m_mainTree.GetItemData(m_frame.FindGroup(2)) & TREE_IS_ENABLED);
    Command(ID_GROUP_TOGGLE);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM GROUPS WHERE id = 2;"), "0");
    int image = -1;
    int selected = -1;
    m_frame.m_mainTree.GetItemImage(m_frame.FindGroup(2), image, selected);
    EXPECT_EQ(image, 2);
    EXPECT_EQ(selected, 3);

    WithDialog(ID_GROUP_MODIFY, { QStringLiteral("games"), -1, false });
    EXPECT_EQ(seen.caption, QStringLiteral("Modify group properties"));
    EXPECT_EQ(seen.title, QStringLiteral("SPORTS"));
    EXPECT_EQ(seen.sortIndex, 3);
    EXPECT_FALSE(seen.enabled);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT title, enable, sortType FROM GROUPS WHERE id = 2;"), "GAMES|0|4");
    EXPECT_EQ(m_frame.ItemLabel(m_frame.FindGroup(2)), QStringLiteral("GAMES"));
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), m_frame.FindGroup(2));
    ExpectGroupsList(toolbar, "rename");

    Select(1);
    Command(ID_GROUP_DELETE);
    // The user-order group without pages got its (empty) order when it was modified.
    EXPECT_EQ(Groups(), "2|GAMES|0|4|x\n65534|LAST|1|1|NULL");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT count(*) FROM PAGES;"), "0");
    ExpectGroupsList(toolbar, "delete");
    EXPECT_EQ(Messages(), "");
}

TEST_F(GroupCommands, TakenTitlesAreRefusedAndNothingIsSent)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1) + Group(2, "MINE", 1, 2)));
    const int toolbar = ConnectToolbar();
    const std::string before = Groups();

    // Another letter case is the same title once the dialog upper-cases it.
    WithDialog(ID_GROUP_ADD, { QStringLiteral("news") });
    EXPECT_EQ(Messages(), "Warning: Group with name alread exists.\n");
    EXPECT_EQ(Groups(), before);
    EXPECT_EQ(RootLabels().size(), 2u);

    m_messages.clear();
    Select(2);
    WithDialog(ID_GROUP_MODIFY, { QStringLiteral("News") });
    EXPECT_EQ(Messages(), "Error: Group with name alread exists.\n");
    EXPECT_EQ(Groups(), before);
    EXPECT_EQ(m_frame.ItemLabel(m_frame.FindGroup(2)), QStringLiteral("MINE"));

    // Keeping the title is no duplicate; the sort type alone changes (and the list goes out).
    m_messages.clear();
    WithDialog(ID_GROUP_MODIFY, { QString(), 0 });
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT title, sortType FROM GROUPS WHERE id = 2;"), "MINE|1");
    ExpectGroupsList(toolbar, "modify without a new title");
}

TEST_F(GroupCommands, ABlankTitleIsRefusedInTheDialog)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1)));
    WithDialog(ID_GROUP_ADD, { QStringLiteral("   ") });
    EXPECT_EQ(Messages(), "Error: Group title cannot be empty.\n");
    EXPECT_EQ(seen.opened, 1);
    EXPECT_EQ(Groups(), "1|NEWS|1|1|NULL");
}

TEST_F(GroupCommands, ModifyShowsStoredTitlesUpperCasedAndNeverWritesAnUnknownSortType)
{
    ASSERT_TRUE(Start(Group(1, "mixed Case", 1, 7) + Group(2, "ZERO", 0, 0)));
    Select(1);
    WithDialog(ID_GROUP_MODIFY, { QString() });
    EXPECT_EQ(seen.title, QStringLiteral("MIXED CASE"));
    EXPECT_EQ(seen.sortIndex, 0);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT title, sortType FROM GROUPS WHERE id = 1;"), "MIXED CASE|1");

    Select(2);
    WithDialog(ID_GROUP_MODIFY, { QString(), -1, false, IDCANCEL });
    EXPECT_EQ(seen.sortIndex, 0);
    EXPECT_FALSE(seen.enabled);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT title, enable, sortType FROM GROUPS WHERE id = 2;"), "ZERO|0|0");
    EXPECT_EQ(Messages(), "");
}

TEST_F(GroupCommands, SwitchingToUserOrderKeepsTheOrderShownAndBackSortsAtOnce)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, 2) + Page(1, 1, "Alpha") + Page(2, 1, "Charlie") + Page(3, 1, "Bravo")));
    ASSERT_EQ(PageLabels(1),
        (std::vector<QString> { QStringLiteral("Charlie"), QStringLiteral("Bravo"), QStringLiteral("Alpha") }));
    Select(1);
    WithDialog(ID_GROUP_MODIFY, { QString(), 3 });
    EXPECT_EQ(StoredOrder(1), "2,3,1");
    EXPECT_EQ(PageLabels(1),
        (std::vector<QString> { QStringLiteral("Charlie"), QStringLiteral("Bravo"), QStringLiteral("Alpha") }));
    WithDialog(ID_GROUP_MODIFY, { QString(), 0 });
    EXPECT_EQ(StoredOrder(1), "2,3,1"); // left as it was
    EXPECT_EQ(PageLabels(1),
        (std::vector<QString> { QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie") }));
}

TEST_F(GroupCommands, TheGroupIsFoundAgainAfterTheDialogAndAGoneGroupIsReported)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1) + Group(2, "MINE", 1, 1)));
    Select(2);
    // The tree is filled anew while the dialog is open (a toolbar request, a popup link).
    ScopedDialogHook hook([&](HWND dlg, WORD) {
        m_frame.LoadContent();
        TypeText(GetDlgItem(dlg, kTitle), QStringLiteral("renamed"));
        Click(GetDlgItem(dlg, IDOK));
    });
    Command(ID_GROUP_MODIFY);
    EXPECT_EQ(RootLabels(), (std::vector<QString> { QStringLiteral("NEWS"), QStringLiteral("RENAMED") }));
    EXPECT_EQ(Messages(), "");

    ScopedDialogHook gone([&](HWND dlg, WORD) {
        Sqlite(DatabasePath(), "DELETE FROM GROUPS WHERE id = 2;");
        m_frame.LoadContent();
        Click(GetDlgItem(dlg, IDOK));
    });
    Select(2);
    Command(ID_GROUP_MODIFY);
    EXPECT_EQ(Messages(), "Error: Select item is NULL.\n");
    EXPECT_EQ(RootLabels(), std::vector<QString> { QStringLiteral("NEWS") });
}

TEST_F(GroupCommands, DeleteAsksRefusesARunningCheckAndDropsQueuedOnes)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1) + Group(2, "MINE", 1, 1) + Page(1, 1, "Alpha") + Page(2, 1, "Beta")
        + Page(3, 2, "Other")));
    g_prefs.GetParam(kConfirmDelete)->SetBool(true);
    int answer = IDNO;
    taluvo::ui::test::ScopedMessageBoxHook boxes([&](const taluvo::ui::test::MessageBoxRequest& r) {
        m_messages.push_back(r.caption + QStringLiteral(": ") + r.text);
        return r.caption == QStringLiteral("Confirmation.") ? answer : IDOK;
    });
    auto context = [](WORD group, WORD page) {
        auto ctx = std::make_unique<SPageCtx>();
        ctx->Reset();
        ctx->m_nGroupId = group;
        ctx->m_nPageId = page;
        return std::make_unique<CPageCheck>(std::move(ctx));
    };
    Select(1);
    Command(ID_GROUP_DELETE);
    EXPECT_EQ(Messages(),
        "Confirmation.: Taking this action will permanently delete this group and pages in it from "
        "database.\n\nAre you sure you want do this?\n");
    EXPECT_EQ(RootLabels().size(), 2u);

    m_messages.clear();
    answer = IDYES;
    m_frame.m_checks.m_ctxsRun.push_back(context(1, 2));
    Command(ID_GROUP_DELETE);
    EXPECT_EQ(m_messages.back().toStdString(),
        "Error: At least one page now in processing from this group. Try this operation later");
    m_frame.m_checks.m_ctxsRun.clear();

    for (auto [group, page] : { std::pair<WORD, WORD> { 1, 1 }, { 2, 3 }, { 1, 2 } })
        m_frame.m_checks.m_ctxsPending.push_back(context(group, page));
    Command(ID_GROUP_DELETE);
    EXPECT_EQ(Groups(), "2|MINE|1|1|NULL");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT id FROM PAGES;"), "3");
    ASSERT_EQ(m_frame.m_checks.m_ctxsPending.size(), 1u);
    EXPECT_EQ(m_frame.m_checks.m_ctxsPending[0]->Ctx().m_nGroupId, 2);
    // Nothing is selected afterwards, and only "add group" is available.
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), nullptr);
    EXPECT_TRUE(Enabled(ID_GROUP_ADD));
    for (UINT id :
        { ID_GROUP_DELETE, ID_GROUP_MODIFY, ID_GROUP_TOGGLE, ID_GROUP_CHECK_ALL, ID_PAGE_ADD, ID_PAGE_DELETE })
        EXPECT_FALSE(Enabled(id)) << id;

    // With nothing selected the group commands say so and change nothing.
    m_messages.clear();
    for (UINT id : { ID_GROUP_DELETE, ID_GROUP_TOGGLE, ID_GROUP_MODIFY })
        Command(id);
    EXPECT_EQ(
        Messages(), "Error: Selected item is NULL.\nError: Selected item is NULL.\nError: Select item is NULL.\n");
    Select(2, 3);
    Command(ID_GROUP_TOGGLE);
    EXPECT_EQ(m_messages.back().toStdString(), "Error: Please select group.");
    EXPECT_EQ(Groups(), "2|MINE|1|1|NULL");
}

} // namespace
