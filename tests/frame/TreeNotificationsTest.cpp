// The tree's notifications in the real window: a new selection sets which group and page commands
// are available, and a right click on an item's label or icon selects it and opens its menu there
// (a click beside the label or below the items opens nothing). Also the properties dialog of a
// page, filled at an injected time and shown without the database lock.
#include "tests/frame/TreeCommandsSupport.h"

#include "core/Utils.h"
#include "platform/ui/Menu.h"
#include "platform/ui/detail/Core.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QTreeWidget>

#include <atomic>
#include <thread>

using namespace taluvo::test;

namespace {

constexpr UINT kGroupCommands[] = { ID_GROUP_DELETE, ID_GROUP_MODIFY, ID_GROUP_TOGGLE, ID_GROUP_CHECK_ALL };
constexpr UINT kPageCommands[]
    = { ID_PAGE_DELETE, ID_PAGE_MODIFY, ID_PAGE_TOGGLE, ID_PAGE_OPEN_IN_BROWSER, ID_PAGE_CANCEL_STATUS,
          ID_PAGE_COPY_ADDRESS, ID_PAGE_CHECK_UPDATE, ID_PAGE_PROPERTIES, ID_PAGE_MOVE_UP, ID_PAGE_MOVE_DOWN };

class TreeNotifications : public TreeCommands {
protected:
    std::string Available()
    {
        std::string state = Enabled(ID_GROUP_ADD) ? "add-group" : "";
        state += Enabled(ID_PAGE_ADD) ? " add-page" : "";
        int groups = 0;
        int pages = 0;
        for (UINT id : kGroupCommands)
            groups += Enabled(id) ? 1 : 0;
        for (UINT id : kPageCommands)
            pages += Enabled(id) ? 1 : 0;
        return state + " groups:" + std::to_string(groups) + " pages:" + std::to_string(pages);
    }
    // A right click at a point of the tree control, with the cursor there as a user's would be.
    void RightClick(QPoint inTree)
    {
        auto* tree = static_cast<QTreeWidget*>(taluvo::ui::detail::WidgetOf(m_frame.m_mainTree));
        QWidget* viewport = tree->viewport();
        const QPoint local = viewport->mapFrom(tree, inTree);
        QCursor::setPos(tree->mapToGlobal(inTree));
        for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
            QMouseEvent event(type, QPointF(local), QPointF(viewport->mapToGlobal(local)), Qt::RightButton,
                type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
    }
    RECT Label(HTREEITEM item)
    {
        RECT label {};
        EXPECT_TRUE(m_frame.m_mainTree.GetItemRect(item, &label, TRUE));
        return label;
    }
};

TEST_F(TreeNotifications, TheSelectionDecidesWhichCommandsAreAvailable)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1) + Page(1, 1, "Alpha") + Page(2, 1, "Beta", 3, 0)));
    // The window selects its first group when it opens.
    EXPECT_EQ(Available(), "add-group add-page groups:4 pages:0");
    Select(1, 1);
    EXPECT_EQ(Available(), "add-group add-page groups:0 pages:10");
    m_frame.ClearTreeSelection();
    EXPECT_EQ(Available(), "add-group groups:0 pages:0");
    Select(1, 2);
    EXPECT_EQ(Available(), "add-group add-page groups:0 pages:10");
    Select(1);
    EXPECT_EQ(Available(), "add-group add-page groups:4 pages:0");
}

TEST_F(TreeNotifications, RightClickOnALabelOrAnIconOpensTheItemsMenu)
{
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1) + Page(1, 1, "Alpha") + Page(2, 1, "Beta")));
    m_frame.ShowWindow(SW_SHOW);
    struct Opened {
        UINT firstItem;
        UINT deleteState; // of the menu's delete command when it opened
        POINT at;
    };
    std::vector<Opened> menus;
    taluvo::ui::test::ScopedPopupMenuHook hook([&](HMENU menu, HWND owner, POINT at) {
        EXPECT_EQ(owner, m_frame.m_hWnd);
        const UINT first = GetMenuItemID(menu, 0);
        const UINT deleteId = first == ID_GROUP_ADD ? ID_GROUP_DELETE : ID_PAGE_DELETE;
        menus.push_back({ first, GetMenuState(menu, deleteId, MF_BYCOMMAND), at });
        return 0u;
    });

    HTREEITEM alpha = m_frame.FindPage(1, 1);
    HTREEITEM beta = m_frame.FindPage(1, 2);
    HTREEITEM group = m_frame.FindGroup(1);
    ASSERT_EQ(m_frame.m_mainTree.GetSelectedItem(), group);

    // On a page's label that is not selected: selected first, so its commands are available.
    const RECT alphaLabel = Label(alpha);
    const QPoint onLabel((alphaLabel.left + alphaLabel.right) / 2, (alphaLabel.top + alphaLabel.bottom) / 2);
    RightClick(onLabel);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].firstItem, ID_PAGE_ADD);
    EXPECT_FALSE(menus[0].deleteState & MF_GRAYED);
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), alpha);
    POINT expected { onLabel.x(), onLabel.y() };
    m_frame.m_mainTree.ClientToScreen(&expected);
    EXPECT_EQ(menus[0].at.x, expected.x);
    EXPECT_EQ(menus[0].at.y, expected.y);

    // On the group's icon: the Group menu.
    const RECT groupLabel = Label(group);
    RightClick(QPoint(groupLabel.left - 10, (groupLabel.top + groupLabel.bottom) / 2));
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[1].firstItem, ID_GROUP_ADD);
    EXPECT_FALSE(menus[1].deleteState & MF_GRAYED);
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), group);

    // Right of a label and below the last item: no menu, the selection stays.
    const RECT betaLabel = Label(beta);
    RightClick(QPoint(betaLabel.right + 40, (betaLabel.top + betaLabel.bottom) / 2));
    RightClick(QPoint(betaLabel.left, betaLabel.bottom + 60));
    EXPECT_EQ(menus.size(), 2u);
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), group);
}

TEST_F(TreeNotifications, PropertiesShowTheTwelveTextsAtTheInjectedTimeWithoutHoldingTheDatabase)
{
    constexpr long long now = 1800000000;
    ASSERT_TRUE(Start(Group(1, "NEWS", 1, 1)
        + "INSERT INTO PAGES VALUES(1, 1, 'http://example.test/a', 'http://example.test/b', '<b>', '', 'Alpha', "
        + std::to_string(now - 239) + ", 4294967295, 6699, 1, 300, 3, 0, 200);\n"
        + "INSERT INTO PAGES VALUES(2, 1, 'http://example.test/c', '', '', '', 'Never', 4294967295, 4294967295, "
          "4294967295, 1, 60, 4, 0, 0);\n"));
    m_frame.m_clock = [] { return static_cast<int64_t>(now); };
    std::vector<std::vector<QString>> shown;

    std::atomic<bool> lockFree { false };
    taluvo::ui::test::ScopedDialogHook hook([&](HWND dlg, WORD id) {
        EXPECT_EQ(id, 207);
        std::vector<QString> texts;
        for (int control : { 1030, 1016, 1029, 1026, 1019, 1020, 1021, 1022, 1052, 1023, 1024, 1025 })
            texts.push_back(GetDlgItemText(dlg, control));
        shown.push_back(texts);
        // A toolbar thread reaches the database while the dialog is open.
        std::thread other([&] {
            lockFree = g_dbMutex.Lock(5000) != FALSE;
            if (lockFree)
                g_dbMutex.Unlock();
        });
        other.join();
        taluvo::ui::test::Click(GetDlgItem(dlg, IDOK));
    });
    Select(1, 1);
    Command(ID_PAGE_PROPERTIES);
    Select(1, 2);
    Command(ID_PAGE_PROPERTIES);
    EXPECT_EQ(Messages(), "");
    EXPECT_TRUE(lockFree);
    ASSERT_EQ(shown.size(), 2u);
    const std::vector<QString> alpha { QStringLiteral("http://example.test/a"), QStringLiteral("Alpha"),
        QStringLiteral("Ordinary"), QStringLiteral("200"), QStringLiteral("5 minutes"), FormatTime(now - 239),
        QStringLiteral("Unknown"), FormatTime(now + 61), QStringLiteral("1 minute from now"), QStringLiteral("0x1A2B"),
        QStringLiteral("<b>"), QStringLiteral("[at the end of the page]") };
    EXPECT_EQ(shown[0], alpha);
    const std::vector<QString> never { QStringLiteral("http://example.test/c"), QStringLiteral("Never"),
        QStringLiteral("Unknown"), QStringLiteral("Unknown"), QStringLiteral("1 minute"), QStringLiteral("Unknown"),
        QStringLiteral("Unknown"), QStringLiteral("Now"), QString(), QStringLiteral("Unknown"),
        QStringLiteral("[at the beginning of the page]"), QStringLiteral("[at the end of the page]") };
    EXPECT_EQ(shown[1], never);
}

} // namespace
