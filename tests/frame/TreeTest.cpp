// The tree as a start fills it from a database that the sqlite3 tool prepared: every sort type,
// every page status, disabled groups and pages, user order with and without a stored order.
#include "tests/frame/FrameTestSupport.h"

#include "core/db/SqlBinary.h"
#include "platform/base/Format.h"

#include <QStringList>

TRACE_MODULE("FrameTest");

using namespace taluvo::test;

namespace {

std::string EncodedOrder(const std::vector<int>& ids)
{
    std::vector<unsigned char> bytes;
    for (int id : ids) {
        bytes.push_back(static_cast<unsigned char>(id & 0xFF));
        bytes.push_back(static_cast<unsigned char>((id >> 8) & 0xFF));
    }
    CSqlBinary binary;
    binary.assignBinary(bytes.data(), static_cast<int>(bytes.size()));
    return binary.encodedText();
}

std::string Page(long long id, long long groupId, const char* descr, int enable, int status)
{
    return taluvo::Format(u"INSERT INTO PAGES VALUES(%I64d, %I64d, 'http://h/%I64d', 'http://h/%I64d', '', '', '%hs', "
                          u"4294967295, 4294967295, 4294967295, %d, 600, %d, 0, 0);\n",
        id, groupId, id, id, descr, enable, status)
        .toStdString();
}

// One line per item: level, text, images, overlay, data; and the selected and expanded marks.
std::vector<std::string> DumpTree(CTreeViewCtrl& tree)
{
    std::vector<std::string> lines;
    auto line = [&](HTREEITEM item, const char* indent) {
        QString text;
        tree.GetItemText(item, text);
        int image = -1;
        int selected = -1;
        tree.GetItemImage(item, image, selected);
        const UINT state = tree.GetItemState(item, TVIS_OVERLAYMASK | TVIS_EXPANDED | TVIS_SELECTED);
        lines.push_back(taluvo::Format(u"%hs%s %d/%d ov%d 0x%08X%hs%hs", indent, text, image, selected,
            int((state & TVIS_OVERLAYMASK) >> 8), unsigned(tree.GetItemData(item)),
            (state & TVIS_EXPANDED) ? " expanded" : "", (state & TVIS_SELECTED) ? " selected" : "")
                            .toStdString());
    };
    for (HTREEITEM group = tree.GetRootItem(); group; group = tree.GetNextSiblingItem(group)) {
        line(group, "");
        for (HTREEITEM page = tree.GetChildItem(group); page; page = tree.GetNextSiblingItem(page))
            line(page, "  ");
    }
    return lines;
}

TEST_F(MainFrameTest, TreeShowsGroupsAndPagesInTheirOrder)
{
    std::string sql = SchemaSql();
    sql += "INSERT INTO GROUPS VALUES(1, 'ASCENDING', 1, 1, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(2, 'DESCENDING', 0, 2, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(3, 'BY STATUS', 1, 3, NULL);\n";
    // Stored order 22, 20, 999 (no such page), 22 again; page 21 is not in the order and follows
    // the listed ones, as writing the order would put it.
    sql += "INSERT INTO GROUPS VALUES(4, 'USER', 1, 4, '" + EncodedOrder({ 22, 20, 999, 22 }) + "');\n";
    sql += "INSERT INTO GROUPS VALUES(5, 'USER NO ORDER', 1, 4, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(6, 'SORT ZERO', 1, 0, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(7, 'SORT FIVE', 1, 5, NULL);\n";
    sql += Page(1, 1, "beta", 1, 1) + Page(2, 1, "alpha", 0, 3) + Page(3, 1, "gamma", 1, 4);
    sql += Page(4, 2, "beta", 1, 2) + Page(5, 2, "alpha", 1, 3) + Page(6, 2, "gamma", 1, 1);
    sql += Page(7, 3, "ordinary", 1, 3) + Page(8, 3, "new", 1, 1) + Page(9, 3, "unknown", 0, 4)
        + Page(10, 3, "error", 1, 2);
    sql += Page(20, 4, "first id", 1, 3) + Page(23, 4, "not listed", 1, 3) + Page(21, 4, "not listed either", 1, 3)
        + Page(22, 4, "listed first", 1, 1);
    sql += Page(30, 5, "waits for its order", 1, 3) + Page(31, 6, "zero", 1, 3) + Page(32, 7, "five", 1, 3);
    ASSERT_EQ(Sqlite(DatabasePath(), sql), "");

    ASSERT_TRUE(Create());
    const std::vector<std::string> expected = {
        "ASCENDING 0/1 ov0 0x03010001 expanded selected",
        "  alpha 12/12 ov1 0x00030002",
        "  beta 10/10 ov0 0x02010001",
        "  gamma 13/13 ov0 0x02040003",
        "DESCENDING 2/3 ov0 0x01020002 expanded",
        "  gamma 10/10 ov0 0x02010006",
        "  beta 11/11 ov0 0x02020004",
        "  alpha 12/12 ov0 0x02030005",
        "BY STATUS 0/1 ov0 0x03030003 expanded",
        "  new 10/10 ov0 0x02010008",
        "  error 11/11 ov0 0x0202000A",
        "  ordinary 12/12 ov0 0x02030007",
        "  unknown 13/13 ov1 0x00040009",
        "USER 0/1 ov0 0x03040004 expanded",
        "  listed first 10/10 ov0 0x02010016",
        "  first id 12/12 ov0 0x02030014",
        "  not listed either 12/12 ov0 0x02030015",
        "  not listed 12/12 ov0 0x02030017",
        // A user-order group without a stored order shows its pages in id order.
        "USER NO ORDER 0/1 ov0 0x03040005 expanded",
        "  waits for its order 12/12 ov0 0x0203001E",
        "SORT ZERO 0/1 ov0 0x03000006",
        "SORT FIVE 0/1 ov0 0x03050007",
    };
    EXPECT_EQ(DumpTree(m_frame.m_mainTree), expected);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MainFrameTest, RowsWhoseIdsDoNotFitAreLeftOutOfTheTree)
{
    // Rows made by another tool: cut to 16 bits, page 65546 would be page 10's twin and group
    // 65537 group 1's, and a result could land in the other one's row.
    std::string sql = SchemaSql();
    sql += "INSERT INTO GROUPS VALUES(65537, 'HIGH GROUP', 1, 1, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(1, 'G', 1, 4, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(65535, 'NONE MARKER', 1, 1, NULL);\n";
    sql += Page(65546, 1, "high", 1, 3) + Page(10, 1, "low", 1, 3) + Page(4294967306, 1, "very high", 1, 3);
    sql += Page(11, 65537, "in the high group", 1, 3);
    ASSERT_EQ(Sqlite(DatabasePath(), sql), "");
    ASSERT_TRUE(Create());

    const std::vector<std::string> expected = {
        "G 0/1 ov0 0x03040001 expanded selected",
        "  low 12/12 ov0 0x0203000A",
    };
    EXPECT_EQ(DumpTree(m_frame.m_mainTree), expected);
    HTREEITEM group = m_frame.FindGroup(1);
    ASSERT_TRUE(group);
    EXPECT_EQ(m_frame.FindGroup(2), nullptr);
    HTREEITEM page = m_frame.FindPage(1, 10);
    ASSERT_TRUE(page);
    QString text;
    m_frame.m_mainTree.GetItemText(page, text);
    EXPECT_EQ(text.toStdString(), "low");
    // The order written for the group lists only what the tree can show.
    ASSERT_TRUE(m_frame.UpdateGroupPagesOrder(group));
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT pagesOrder FROM GROUPS WHERE id = 1;"), EncodedOrder({ 10 }));
    EXPECT_EQ(m_frame.FindPage(1, 11), nullptr);
    EXPECT_EQ(m_frame.FindPage(3, 10), nullptr);
}

TEST_F(MainFrameTest, WritingTheUserOrderAppendsUnlistedPagesAndResortKeepsTheSelection)
{
    std::string sql = SchemaSql();
    sql += "INSERT INTO GROUPS VALUES(1, 'G', 1, 4, '" + EncodedOrder({ 12 }) + "');\n";
    sql += "INSERT INTO GROUPS VALUES(2, 'ALPHA', 1, 1, NULL);\n";
    sql += Page(12, 1, "twelve", 1, 3) + Page(11, 1, "eleven", 1, 3) + Page(13, 1, "thirteen", 1, 3);
    ASSERT_EQ(Sqlite(DatabasePath(), sql), "");
    ASSERT_TRUE(Create());

    HTREEITEM group = m_frame.FindGroup(1);
    ASSERT_TRUE(m_frame.UpdateGroupPagesOrder(group));
    EXPECT_FALSE(m_frame.UpdateGroupPagesOrder(m_frame.FindGroup(2))); // not a user-order group
    EXPECT_EQ(Sqlite(DatabasePath(), "SELECT pagesOrder FROM GROUPS WHERE id = 1;"), EncodedOrder({ 12, 11, 13 }));

    m_frame.m_mainTree.SelectItem(m_frame.FindPage(1, 12));
    {
        AUTO_DB_LOCKER();
        CSqlQuery row = m_db.runQuery("SELECT * FROM GROUPS WHERE id = 1;");
        ASSERT_TRUE(m_frame.ResortGroup(row, group));
    }
    std::vector<std::string> children;
    for (HTREEITEM page = m_frame.m_mainTree.GetChildItem(group); page;
         page = m_frame.m_mainTree.GetNextSiblingItem(page)) {
        QString text;
        m_frame.m_mainTree.GetItemText(page, text);
        children.push_back(text.toStdString());
    }
    EXPECT_EQ(children, std::vector<std::string>({ "twelve", "eleven", "thirteen" }));
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), m_frame.FindPage(1, 12));

    // A page that is gone is not selected again.
    Sqlite(DatabasePath(), "DELETE FROM PAGES WHERE id = 12;");
    {
        AUTO_DB_LOCKER();
        CSqlQuery row = m_db.runQuery("SELECT * FROM GROUPS WHERE id = 1;");
        ASSERT_TRUE(m_frame.ResortGroup(row, group));
        CSqlQuery none = m_db.runQuery("SELECT * FROM GROUPS WHERE id = 99;");
        EXPECT_FALSE(m_frame.ResortGroup(none, group));
    }
    EXPECT_EQ(m_frame.m_mainTree.GetSelectedItem(), nullptr);
}

// Pages are looked up by id at every progress notice; the answer must follow the tree through
// every change made behind the lookup's back: items refilled, deleted, added, given other data.
TEST_F(MainFrameTest, FindPageFollowsItemsChangedInTheTree)
{
    std::string sql = SchemaSql();
    sql += "INSERT INTO GROUPS VALUES(1, 'ONE', 1, 1, NULL);\n";
    sql += "INSERT INTO GROUPS VALUES(2, 'TWO', 1, 1, NULL);\n";
    sql += Page(10, 1, "ten", 1, 3) + Page(11, 1, "eleven", 1, 3) + Page(20, 2, "twenty", 1, 3);
    ASSERT_EQ(Sqlite(DatabasePath(), sql), "");
    ASSERT_TRUE(Create());
    CTreeViewCtrl& tree = m_frame.m_mainTree;
    auto label = [&](HTREEITEM item) {
        QString text;
        tree.GetItemText(item, text);
        return text.toStdString();
    };

    const HTREEITEM ten = m_frame.FindPage(1, 10);
    EXPECT_EQ(label(ten), "ten");
    EXPECT_EQ(label(m_frame.FindPage(2, 20)), "twenty");
    EXPECT_EQ(m_frame.FindPage(2, 10), nullptr); // the page's id under another group
    EXPECT_EQ(m_frame.FindPage(1, 20), nullptr);

    // Refilled: every item is new, none of the old handles comes back.
    m_frame.LoadContent();
    const HTREEITEM refilled = m_frame.FindPage(1, 10);
    EXPECT_NE(refilled, ten);
    EXPECT_EQ(label(refilled), "ten");

    // Deleted, then one with the same ids added to the other group.
    ASSERT_TRUE(tree.DeleteItem(refilled));
    EXPECT_EQ(m_frame.FindPage(1, 10), nullptr);
    const HTREEITEM moved = tree.InsertItem(TVIF_TEXT | TVIF_PARAM, QStringLiteral("ten moved"), 0, 0, 0, 0,
        static_cast<LPARAM>(10 | (3 << 16) | TREE_IS_ENABLED), m_frame.FindGroup(2), TVI_FIRST);
    EXPECT_EQ(m_frame.FindPage(2, 10), moved);
    EXPECT_EQ(m_frame.FindPage(1, 10), nullptr);

    // An item given another page's data answers for that page only.
    const HTREEITEM eleven = m_frame.FindPage(1, 11);
    ASSERT_TRUE(tree.SetItemData(eleven, 12 | (3 << 16)));
    EXPECT_EQ(m_frame.FindPage(1, 11), nullptr);
    EXPECT_EQ(m_frame.FindPage(1, 12), eleven);

    // A whole group gone takes its pages with it.
    ASSERT_TRUE(tree.DeleteItem(m_frame.FindGroup(2)));
    EXPECT_EQ(m_frame.FindPage(2, 10), nullptr);
    EXPECT_EQ(m_frame.FindPage(2, 20), nullptr);
    EXPECT_EQ(m_frame.FindPage(1, 12), eleven);
}

TEST(TreeNames, SortTypesAndStatuses)
{
    const std::pair<int, const char*> sorts[] = { { 1, "Alphabetically ascending" }, { 2, "Alphabetically descending" },
        { 3, "Status" }, { 4, "User order" }, { 0, "Unknown" }, { 5, "Unknown" } };
    for (const auto& [value, name] : sorts)
        EXPECT_EQ(QString::fromUtf16(GetSortTypeName(value)), QString::fromLatin1(name)) << value;
    const std::pair<int, const char*> statuses[]
        = { { 1, "New" }, { 2, "Error" }, { 3, "Ordinary" }, { 4, "Unknown" }, { 0, "Unknown" } };
    for (const auto& [value, name] : statuses)
        EXPECT_EQ(QString::fromUtf16(GetPageStatusName(value)), QString::fromLatin1(name)) << value;
}

} // namespace
