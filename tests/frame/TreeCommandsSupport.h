// What the tests of the group and page commands share: the window over a prepared database, the
// selection by ids, the stored user order decoded, and the commands' enabled state.
#pragma once

#include "tests/frame/CheckTestSupport.h"

#include "core/db/SqlBinary.h"
#include "core/prefs/Preferences.h"

#include <string>
#include <vector>

namespace taluvo::test {

class TreeCommands : public MainFrameTest {
protected:
    void SetUp() override
    {
        MainFrameTest::SetUp();
        g_prefs.GetParam(kConfirmDelete)->SetBool(false);
    }
    // Before the window exists: the tables and their rows.
    bool Start(const std::string& rows)
    {
        if (Sqlite(DatabasePath(), SchemaSql() + rows) != "")
            return false;
        return Create() != nullptr && m_messages.empty();
    }
    void Command(UINT id) { m_frame.SendMessage(WM_COMMAND, id); }
    void Select(WORD group, WORD page = 0xFFFF)
    {
        m_frame.m_mainTree.SelectItem(page == 0xFFFF ? m_frame.FindGroup(group) : m_frame.FindPage(group, page));
    }
    bool Enabled(UINT id) { return !(m_frame.UIGetState(static_cast<int>(id)) & UPDUI_DISABLED); }
    std::vector<QString> RootLabels()
    {
        std::vector<QString> labels;
        for (HTREEITEM item = m_frame.m_mainTree.GetRootItem(); item;
             item = m_frame.m_mainTree.GetNextSiblingItem(item))
            labels.push_back(m_frame.ItemLabel(item));
        return labels;
    }
    std::vector<QString> PageLabels(WORD group) { return ChildLabels(m_frame, m_frame.FindGroup(group)); }
    // The stored order of a group's pages as ids ("NULL" when never written).
    std::string StoredOrder(int group)
    {
        std::string encoded = Sqlite(DatabasePath(),

            "SELECT ifnull(pagesOrder, 'NULL') FROM GROUPS WHERE id = " + std::to_string(group) + ";");
        if (encoded == "NULL")
            return encoded;
        CSqlBinary order;
        order.assignEncoded(encoded.c_str());
        const unsigned char* bytes = order.binaryData();
        std::string ids;
        for (int i = 0; i + 1 < order.binaryLength(); i += 2)
            ids += (ids.empty() ? "" : ",") + std::to_string(bytes[i] | (bytes[i + 1] << 8));
        return ids;
    }
    std::string Messages()
    {
        std::string all;
        for (const QString& m : m_messages)
            all += m.toStdString() + "\n";
        return all;
    }
};

// A page row with the columns the commands show.
inline std::string Page(
    int id, int group, const std::string& descr, int status = 3, int enable = 1, const std::string& urlBrowser = "")
{
    PageRow row { id, group, "http://example.test/" + std::to_string(id), urlBrowser, descr, 4294967295LL };
    row.status = status;
    row.enable = enable;
    return Insert(row);
}

} // namespace taluvo::test
