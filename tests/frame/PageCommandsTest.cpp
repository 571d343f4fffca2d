// The page commands of the main window over a prepared database: delete (confirmation, running and
// queued checks, the stored order), switch on and off, cancel "new", copy the browser address and
// move in a user-order group; each checks its own selection, since accelerators reach it when it
// is disabled. Rows are read back with the sqlite3 tool.
#include "tests/frame/TreeCommandsSupport.h"

#include "platform/ui/Clipboard.h"

using namespace taluvo::test;

namespace {

const std::string kRows = Group(1, "NEWS", 1, 1) + Group(2, "MINE", 1, 4) + Group(3, "BY STATUS", 1, 3)
    + Page(1, 1, "Alpha") + Page(2, 1, "Beta", 3, 0) + Page(3, 2, "One") + Page(4, 2, "Two") + Page(5, 2, "Three")
    + Page(6, 3, "Fresh", 1) + Page(7, 3, "Plain", 3) + Page(8, 3, "Broken", 2)
    + "UPDATE GROUPS SET pagesOrder = NULL;\n";

class PageCommands : public TreeCommands {
protected:
    std::string PageIds()
    {
        return Sqlite(DatabasePath(), "SELECT group_concat(id) FROM (SELECT id FROM PAGES ORDER BY id);");
    }
    std::unique_ptr<CPageCheck> QueuedContext(WORD group, WORD page)
    {
        auto ctx = std::make_unique<SPageCtx>();
        ctx->Reset();
        ctx->m_nGroupId = group;
        ctx->m_nPageId = page;
        return std::make_unique<CPageCheck>(std::move(ctx));
    }
};

TEST_F(PageCommands, EveryPageCommandRefusesWithoutAPageSelected)
{
    ASSERT_TRUE(Start(kRows));
    const struct {
        UINT id;
        const char* onGroup;
        const char* onNothing;
    } cases[] = {
        { ID_PAGE_DELETE, "Error: Please select page.", "Error: Please select page." },
        { ID_PAGE_TOGGLE, "Error: Please select page.", "Error: Selected item is NULL." },
        { ID_PAGE_CANCEL_STATUS, "Error: Please select page.", "Error: Selected item is NULL." },
        { ID_PAGE_COPY_ADDRESS, "Error: Please select page.", "Error: Selected item is NULL." },
        { ID_PAGE_PROPERTIES, "Error: Please select page.", "Error: Selected item is NULL." },
        { ID_PAGE_MOVE_UP, "Error: Please select page.", "Error: Please select page." },
        { ID_PAGE_MOVE_DOWN, "Error: Please select page.", "Error: Please select page." },
    };
    const std::string before = Sqlite(DatabasePath(), "SELECT * FROM PAGES; SELECT * FROM GROUPS;");
    for (const auto& c : cases) {
        m_messages.clear();
        Select(1);
        ASSERT_FALSE(Enabled(c.id)); // disabled in the menus, yet the key reaches the handler
        Command(c.id);
        m_frame.ClearTreeSelection();
        Command(c.id);
        ASSERT_EQ(m_messages.size(), 2u) << c.id;
        EXPECT_EQ(m_messages[0].toStdString(), c.onGroup) << c.id;
        EXPECT_EQ(m_messages[1].toStdString(), c.onNothing) << c.id;
    }
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT * FROM PAGES; SELECT * FROM GROUPS;"), before);
    EXPECT_EQ(PageLabels(1), (std::vector<QString> { QStringLiteral("Alpha"), QStringLiteral("Beta") }));
}

TEST_F(PageCommands, DeleteAsksWhenSetAndRefusesARunningCheck)
{
    ASSERT_TRUE(Start(kRows));
    g_prefs.GetParam(kConfirmDelete)->SetBool(true);
    int answer = IDNO;
    std::vector<QString> questions;
    taluvo::ui::test::ScopedMessageBoxHook boxes([&](const taluvo::ui::test::MessageBoxRequest& r) {
        if (r.caption == QStringLiteral("Confirmation.")) {
            questions.push_back(r.text);
            return answer;
        }
        m_messages.push_back(r.caption + QStringLiteral(": ") + r.text);
        return IDOK;
    });
    Select(1, 1);
    Command(ID_PAGE_DELETE);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0],
        QStringLiteral(
            "Taking this action will permanently delete this URL from database.\n\nAre you sure you want do this?"));
    EXPECT_EQ(PageIds(), "1,2,3,4,5,6,7,8");

    // A running check of the page: refused, and its queued twin is left alone too.
    m_frame.m_checks.m_ctxsRun.push_back(QueuedContext(1, 1));
    m_frame.m_checks.m_ctxsPending.push_back(QueuedContext(1, 1));
    answer = IDYES;
    Command(ID_PAGE_DELETE);
    EXPECT_EQ(Messages(), "Error: This page now in processing. Try this operation later.\n");
    EXPECT_EQ(m_frame.m_checks.m_ctxsPending.size(), 1u);
    m_frame.m_checks.m_ctxsRun.clear();

    Command(ID_PAGE_DELETE);
    EXPECT_EQ(PageIds(), "2,3,4,5,6,7,8");
    EXPECT_EQ(PageLabels(1), std::vector<QString> { QStringLiteral("Beta") });
    EXPECT_TRUE(m_frame.m_checks.m_ctxsPending.empty());
}

TEST_F(PageCommands, DeleteDropsOnlyThePagesQueuedCheckAndFindsThePageAgainAfterTheQuestion)
{
    ASSERT_TRUE(Start(kRows));
    g_prefs.GetParam(kConfirmDelete)->SetBool(true);
    m_frame.m_checks.m_ctxsPending.push_back(QueuedContext(1, 2));
    m_frame.m_checks.m_ctxsPending.push_back(QueuedContext(1, 1));
    m_frame.m_checks.m_ctxsPending.push_back(QueuedContext(3, 6));
    // While the question is open, something else fills the tree anew: every item is replaced.
    taluvo::ui::test::ScopedMessageBoxHook boxes([&](const taluvo::ui::test::MessageBoxRequest&) {
        m_frame.LoadContent();
        return IDYES;
    });
    Select(1, 1);
    Command(ID_PAGE_DELETE);
    EXPECT_EQ(PageIds(), "2,3,4,5,6,7,8");
    EXPECT_EQ(PageLabels(1), std::vector<QString> { QStringLiteral("Beta") });
    ASSERT_EQ(m_frame.m_checks.m_ctxsPending.size(), 2u);
    EXPECT_EQ(m_frame.m_checks.m_ctxsPending[0]->Ctx().m_nPageId, 2);
    EXPECT_EQ(m_frame.m_checks.m_ctxsPending[1]->Ctx().m_nPageId, 6);

    // Gone from the database and the tree while the question was open: the command's own text.
    std::vector<QString> errors;
    taluvo::ui::test::ScopedMessageBoxHook vanish([&](const taluvo::ui::test::MessageBoxRequest& r) {
        if (r.caption == QStringLiteral("Confirmation.")) {
            Sqlite(DatabasePath(), "DELETE FROM PAGES WHERE id = 7;");
            m_frame.LoadContent();
            return IDYES;
        }
        errors.push_back(r.text);
        return IDOK;
    });
    Select(3, 7);
    Command(ID_PAGE_DELETE);
    EXPECT_EQ(errors, std::vector<QString> { QStringLiteral("Please select page.") });
}

TEST_F(PageCommands, DeletingFromAUserOrderGroupStoresTheOrderWithoutThePage)
{
    ASSERT_TRUE(Start(Group(1, "MINE", 1, 4) + Page(3, 1, "One") + Page(4, 1, "Two") + Page(5, 1, "Three")
        + "UPDATE GROUPS SET pagesOrder = NULL;\n" + Group(2, "ABC", 1, 1) + Page(9, 2, "Nine")));
    Select(1);
    ASSERT_TRUE(m_frame.UpdateGroupPagesOrder(m_frame.FindGroup(1)));
    // The group shows its pages once the order exists.
    m_frame.LoadContent();
    ASSERT_EQ(StoredOrder(1), "3,4,5");
    for (WORD page : { 4, 3, 5 }) {
        Select(1, page);
        Command(ID_PAGE_DELETE);
    }
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(StoredOrder(1), ""); // empty, not the last deleted id
    EXPECT_TRUE(PageLabels(1).empty());

    Select(2, 9);
    Command(ID_PAGE_DELETE);
    EXPECT_EQ(StoredOrder(2), "NULL"); // other sort types store no order
}

TEST_F(PageCommands, DeleteOfARowAlreadyGoneKeepsTheItem)
{
    ASSERT_TRUE(Start(kRows));
    Sqlite(DatabasePath(), "DELETE FROM PAGES WHERE id = 7;");
    Select(3, 7);
    Command(ID_PAGE_DELETE);
    EXPECT_EQ(Messages(), "Error: Unable to delete page.\n");
    EXPECT_TRUE(m_frame.FindPage(3, 7));
}

TEST_F(PageCommands, ToggleFlipsTheRowTheItemAndTheToolbarPicture)
{
    ASSERT_TRUE(Start(kRows));
    auto toggleImage = [&] {
        TBBUTTONINFO info;
        info.dwMask = TBIF_IMAGE;
        ::SendMessage(m_frame.m_hWndToolBarCtrl, TB_GETBUTTONINFO, ID_PAGE_TOGGLE, reinterpret_cast<LPARAM>(&info));
        return info.iImage;
    };
    auto overlay
        = [&](WORD page) { return m_frame.m_mainTree.GetItemState(m_frame.FindPage(1, page), TVIS_OVERLAYMASK); };
    Select(1, 1);
    EXPECT_EQ(toggleImage(), 25);
    EXPECT_EQ(overlay(1), 0u);
    Command(ID_PAGE_TOGGLE);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM PAGES WHERE id = 1;"), "0");
    EXPECT_FALSE(m_frame.m_mainTree.GetItemData(m_frame.FindPage(1, 1)) & TREE_IS_ENABLED);
    EXPECT_EQ(overlay(1), INDEXTOOVERLAYMASK(1));
    EXPECT_EQ(toggleImage(), 12);
    EXPECT_TRUE(Enabled(ID_PAGE_TOGGLE));
    Command(ID_PAGE_TOGGLE);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT enable FROM PAGES WHERE id = 1;"), "1");
    EXPECT_EQ(overlay(1), 0u);
    EXPECT_EQ(toggleImage(), 25);
    EXPECT_EQ(Messages(), "");

    // Selecting decides the picture: a disabled page 12, a group leaves it as it was.
    Select(1, 2);
    EXPECT_EQ(toggleImage(), 12);
    Select(2);
    EXPECT_EQ(toggleImage(), 12);
    Select(1, 1);
    EXPECT_EQ(toggleImage(), 25);
}

TEST_F(PageCommands, CancelNewMovesThePageInAStatusSortedGroupAndRefusesOtherStatuses)
{
    ASSERT_TRUE(Start(kRows));
    EXPECT_EQ(PageLabels(3),
        (std::vector<QString> { QStringLiteral("Fresh"), QStringLiteral("Broken"), QStringLiteral("Plain") }));
    Select(3, 6);
    Command(ID_PAGE_CANCEL_STATUS);
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT status FROM PAGES WHERE id = 6;"), "3");
    EXPECT_EQ(PageLabels(3),
        (std::vector<QString> { QStringLiteral("Broken"), QStringLiteral("Fresh"), QStringLiteral("Plain") }));
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), m_frame.FindPage(3, 6));
    EXPECT_EQ(TREE_GET_STATUS(m_frame.m_mainTree.GetItemData(m_frame.FindPage(3, 6))), 3);
    EXPECT_EQ(Messages(), "");

    Command(ID_PAGE_CANCEL_STATUS);
    Select(3, 8);
    Command(ID_PAGE_CANCEL_STATUS);
    EXPECT_EQ(Messages(), "Error: Unable reset page \"new\" status.\nError: Unable reset page \"new\" status.\n");
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT status FROM PAGES WHERE id = 8;"), "2");
}

// The idle handler answers from counts the window keeps as it changes items: each command that
// changes a page or a group must leave them as a walk of the tree would find them.
TEST_F(PageCommands, TheIdleStateFollowsEveryCommandThatChangesAnItem)
{
    ASSERT_TRUE(Start(Group(1, "G", 1, 1) + Group(2, "H", 1, 3) + Page(1, 1, "Fresh", 1) + Page(2, 1, "Plain", 3)
        + Page(3, 2, "Other", 3, 0)));
    auto state = [&] {
        m_frame.OnIdle();
        return std::string(Enabled(ID_TOOLS_CHECK_ALL) ? "check" : "-")
            + (Enabled(ID_TOOLS_OPEN_ALL_UPDATED) ? " new" : " -");
    };
    EXPECT_EQ(state(), "check new");
    Select(1, 1);
    Command(ID_PAGE_CANCEL_STATUS);
    EXPECT_EQ(state(), "check -");
    Command(ID_PAGE_TOGGLE);
    Select(1, 2);
    Command(ID_PAGE_TOGGLE);
    EXPECT_EQ(state(), "- -") << "both pages of the enabled group are off; the other group's page is off too";
    Select(2, 3);
    Command(ID_PAGE_TOGGLE);
    EXPECT_EQ(state(), "check -");
    Select(2);
    Command(ID_GROUP_TOGGLE);
    EXPECT_EQ(state(), "- -");
    Command(ID_GROUP_TOGGLE);
    EXPECT_EQ(state(), "check -");
    Select(2, 3);
    Command(ID_PAGE_DELETE);
    EXPECT_EQ(state(), "- -");
    // A refill of the tree starts the counts again from the rows.
    Sqlite(DatabasePath(), "UPDATE PAGES SET enable = 1, status = 1 WHERE id = 2;");
    m_frame.LoadContent();
    EXPECT_EQ(state(), "check new");
    Select(1);
    Command(ID_GROUP_DELETE);
    EXPECT_EQ(state(), "- -");
    EXPECT_EQ(Messages(), "");
}

TEST_F(PageCommands, CopyPutsTheBrowserAddressOnTheClipboardInEveryFormat)
{
    ASSERT_TRUE(
        Start(Group(1, "G", 1, 1) + Page(1, 1, "A", 3, 1, "http://browser.test/\xC3\xA9t\xC3\xA9") + Page(2, 1, "B")));
    auto block = [](UINT format) {
        HANDLE handle = GetClipboardData(format);
        const auto* bytes = static_cast<const char*>(GlobalLock(handle));
        QByteArray copy = bytes ? QByteArray(bytes, static_cast<qsizetype>(GlobalSize(handle))) : QByteArray();
        GlobalUnlock(handle);
        return copy;
    };
    Select(1, 1);
    Command(ID_PAGE_COPY_ADDRESS);
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(taluvo::ui::ClipboardText(), QStringLiteral("http://browser.test/\u00E9t\u00E9"));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(QByteArray(block(CF_TEXT).constData()), QByteArray("http://browser.test/\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(QByteArray(block(CF_OEMTEXT).constData()), QByteArray("http://browser.test/\xC3\xA9t\xC3\xA9"));
    const QByteArray wide = block(CF_UNICODETEXT);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(wide.constData())),
        QStringLiteral("http://browser.test/\u00E9t\u00E9"));
    CloseClipboard();

    // An empty browser address: an empty text.
    Select(1, 2);
    Command(ID_PAGE_COPY_ADDRESS);
    EXPECT_EQ(taluvo::ui::ClipboardText(), QString());

    // Someone else holds the clipboard open.
    ASSERT_TRUE(taluvo::ui::SetClipboardText(QStringLiteral("kept")));
    ASSERT_TRUE(OpenClipboard(nullptr));
    Select(1, 1);
    Command(ID_PAGE_COPY_ADDRESS);
    CloseClipboard();
    EXPECT_EQ(Messages(), "Error: Unable to open clipboard.\n");
    EXPECT_EQ(taluvo::ui::ClipboardText(), QStringLiteral("kept"));
}

TEST_F(PageCommands, MoveWrapsRoundAndStoresTheOrder)
{
    ASSERT_TRUE(Start(kRows));
    ASSERT_TRUE(m_frame.UpdateGroupPagesOrder(m_frame.FindGroup(2)));
    m_frame.LoadContent();
    ASSERT_EQ(PageLabels(2),
        (std::vector<QString> { QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three") }));
    const struct {
        WORD page;
        UINT command;
        const char* order;
    } moves[] = {
        { 3, ID_PAGE_MOVE_UP, "4,5,3" }, // first goes last
        { 3, ID_PAGE_MOVE_DOWN, "3,4,5" }, // last goes first
        { 4, ID_PAGE_MOVE_DOWN, "3,5,4" },
        { 4, ID_PAGE_MOVE_UP, "3,4,5" }, // up after down: back where it was
        { 5, ID_PAGE_MOVE_UP, "3,5,4" },
    };
    for (const auto& m : moves) {
        Select(2, m.page);
        Command(m.command);
        EXPECT_EQ(StoredOrder(2), m.order) << m.page;
        EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), m_frame.FindPage(2, m.page));
    }
    EXPECT_EQ(Messages(), "");
    m_frame.LoadContent();
    EXPECT_EQ(PageLabels(2),
        (std::vector<QString> { QStringLiteral("One"), QStringLiteral("Three"), QStringLiteral("Two") }));

    // Only a user-order group moves.
    Select(1, 1);
    Command(ID_PAGE_MOVE_DOWN);
    EXPECT_EQ(Messages(), "Error: Group must have sort type \"User Order\"\n");
    EXPECT_EQ(PageLabels(1), (std::vector<QString> { QStringLiteral("Alpha"), QStringLiteral("Beta") }));
}

TEST_F(PageCommands, AMovedPageKeepsItsLookAndItsWholeLabel)
{
    const std::string longLabel(300, 'x');
    ASSERT_TRUE(Start(Group(1, "MINE", 1, 4) + Page(1, 1, longLabel, 1, 0) + Page(2, 1, "Two")));
    ASSERT_TRUE(m_frame.UpdateGroupPagesOrder(m_frame.FindGroup(1)));
    m_frame.LoadContent();
    Select(1, 1);
    Command(ID_PAGE_MOVE_DOWN);
    HTREEITEM moved = m_frame.FindPage(1, 1);
    EXPECT_EQ(StoredOrder(1), "2,1");
    EXPECT_EQ(m_frame.ItemLabel(moved).toStdString(), longLabel);
    EXPECT_EQ(m_frame.m_mainTree.GetItemState(moved, TVIS_OVERLAYMASK), INDEXTOOVERLAYMASK(1));
    int image = 0;
    int selected = 0;
    m_frame.m_mainTree.GetItemImage(moved, image, selected);
    EXPECT_EQ(image, 10);
    EXPECT_EQ(m_frame.m_mainTree.GetItemData(moved), static_cast<DWORD_PTR>(1 | (1 << 16)));

    // A group with one page: the page stays, and the order lists it.
    ASSERT_TRUE(Sqlite(DatabasePath(), "DELETE FROM PAGES WHERE id = 2;").empty());
    m_frame.LoadContent();
    Select(1, 1);
    Command(ID_PAGE_MOVE_UP);
    EXPECT_EQ(StoredOrder(1), "1");
    EXPECT_EQ(PageLabels(1).size(), 1u);
}

} // namespace
