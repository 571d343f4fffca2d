// New row ids fit 16 bits: the next after the largest while it fits, else the first gap, else none.
#include "core/db/FreeId.h"

#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FreeIdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db.open(m_dir.File("ids.db").c_str());
        m_db.execDML(kCreateGroupsTable);
    }
    void Insert(long long id)
    {
        m_db.execDML(("INSERT INTO GROUPS (id, title) VALUES (" + std::to_string(id) + ", 'G');").c_str());
    }

    taluvo::test::TempDir m_dir;
    CSqlDatabase m_db;
};

TEST_F(FreeIdTest, NextAfterTheLargestWhileItFitsElseTheFirstGap)
{
    struct Case {
        const char* name;
        std::vector<long long> ids;
        int expected;
    };
    const Case cases[] = {
        { "empty table", {}, 1 },
        { "gaps below the largest are left alone", { 1, 2, 7 }, 8 },
        { "the last usable id (0xFFFF means none)", { 1, 65533 }, 65534 },
        { "largest taken: first gap", { 1, 2, 3, 5, 65534 }, 4 },
        { "an id of 0xFFFF is no room either", { 1, 65535 }, 2 },
        { "larger ids block their low 16 bits", { 65536, 65537, 2, 70000 }, 3 },
        { "only negative ids", { -5 }, 1 },
    };
    for (const Case& c : cases) {
        m_db.execDML("DELETE FROM GROUPS;");
        for (long long id : c.ids)
            Insert(id);
        EXPECT_EQ(NewRowId(m_db, "GROUPS"), c.expected) << c.name;
    }
}

TEST_F(FreeIdTest, NoneWhenEveryIdIsTaken)
{
    m_db.execDML("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65534) "
                 "INSERT INTO GROUPS (id, title) SELECT i, 'G' FROM n;");
    EXPECT_EQ(NewRowId(m_db, "GROUPS"), 0);
    m_db.execDML("DELETE FROM GROUPS WHERE id = 40000;");
    EXPECT_EQ(NewRowId(m_db, "GROUPS"), 40000);
}

} // namespace
