#include "engine/LogFile.h"

#include "core/Utils.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

using taluvo::test::ReadFile;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace {
const char16_t* const kEntry = u"Description : %s\nAddress     : %s\nDate & Time : %s\n"
                               u"-----------------------------------------------------------------------------";
}

TEST(LogFile, EntriesAreFourCrlfLines)
{
    TempDir dir;
    CLogFile log;
    log.SetFileName(QString::fromStdString(dir.File("Taluvo.log")));
    log.SetEnabled(TRUE);
    ASSERT_EQ(log.Log(kEntry, u"News \u00E9", u"http://a.example/", u"08/12/2026 19:45:00"), 1);
    ASSERT_EQ(log.Log(kEntry, u"Second", u"http://b.example/x?y=1", u"09/12/2026 07:00:01"), 1);
    const std::string dashes(77, '-');
    EXPECT_EQ(ReadFile(dir.File("Taluvo.log")),
        "Description : News \xC3\xA9\r\nAddress     : http://a.example/\r\nDate & Time : 08/12/2026 19:45:00\r\n"
            + dashes + "\r\n"
            + "Description : Second\r\nAddress     : http://b.example/x?y=1\r\nDate & Time : 09/12/2026 07:00:01\r\n"
            + dashes + "\r\n");
}

TEST(LogFile, DisabledUnnamedAndUnwritableLogs)
{
    TempDir dir;
    CLogFile log;
    EXPECT_EQ(log.Log(u"x"), 0); // no file name yet
    log.SetFileName(QString::fromStdString(dir.File("off.log")));
    EXPECT_EQ(log.Log(u"x"), 1); // disabled: dropped, reported as done
    EXPECT_FALSE(FileExists(QString::fromStdString(dir.File("off.log"))));
    log.SetEnabled(TRUE);
    EXPECT_EQ(log.Log(nullptr), 0);
    WriteFile(dir.File("regular"), "x");
    log.SetFileName(QString::fromStdString(dir.File("regular") + "/through.log"));
    EXPECT_EQ(log.Log(u"x"), 0);
    log.SetFileName(QString());
    EXPECT_EQ(log.GetFileName(), QString(QLatin1String("")));
    EXPECT_EQ(log.Log(u"x"), 0);
}

TEST(LogFile, OverlongEntriesAreCut)
{
    TempDir dir;
    CLogFile log;
    log.SetFileName(QString::fromStdString(dir.File("long.log")));
    log.SetEnabled(TRUE);
    ASSERT_EQ(log.Log(u"%s", QString(5000, QLatin1Char('y'))), 1);
    EXPECT_EQ(ReadFile(dir.File("long.log")), std::string(2999, 'y') + "\r\n");
}

TEST(LogFile, DeletedFileIsCreatedAgainForTheUserAlone)
{
    TempDir dir;
    const taluvo::test::UsualUmask umask;
    CLogFile log;
    const std::string path = dir.File("again.log");
    log.SetFileName(QString::fromStdString(path));
    log.SetEnabled(TRUE);
    ASSERT_EQ(log.Log(u"one"), 1);
    std::remove(path.c_str());
    ASSERT_EQ(log.Log(u"two"), 1);
    EXPECT_EQ(ReadFile(path), "two\r\n");
    EXPECT_EQ(taluvo::test::FileMode(path), 0600);
}
