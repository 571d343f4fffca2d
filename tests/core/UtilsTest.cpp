#include "core/Utils.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <unistd.h>
#include <utime.h>

TEST(Utils, FormatTimeIsLocalAndZeroPadded)
{
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(FormatTime(0), QStringLiteral("01/01/1970 00:00:00"));
    EXPECT_EQ(FormatTime(1796759100), QStringLiteral("08/12/2026 19:45:00"));
    EXPECT_EQ(FormatTime(-1), QStringLiteral("Invalid time"));
    EXPECT_EQ(FormatTime(4294967295LL), QStringLiteral("07/02/2106 06:28:15")); // "never" as stored unsigned
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    EXPECT_EQ(FormatTime(0), QStringLiteral("01/01/1970 01:00:00"));
    unsetenv("TZ");
    tzset();
}

TEST(Utils, EMailAddresses)
{
    struct Case {
        const char* address;
        bool valid;
    };
    const Case cases[] = {
        { "john.doe_1-x@example.com", true },
        { "user@localhost", true }, // no dot in the domain is accepted
        { ".user@example.com", true }, // a leading dot is accepted
        { "a@b@example.com", false },
        { "@example.com", false },
        { "user@example.", false },
        { "user@", false },
        { "user@exa..mple.com", false },
        { "us er@example.com", false },
        { "user+tag@example.com", false },
        { "us\xC3\xA9r@example.com", false },
        { "", false },
        { "noatsign", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidEMail(QString::fromUtf8(c.address)) != FALSE, c.valid) << c.address;
    EXPECT_FALSE(IsValidEMail(QString()));
    EXPECT_FALSE(HasInvalidEMailChars(QString()));
    EXPECT_EQ(CountChar(QStringLiteral("a@b@c"), QLatin1Char('@')), 2);
}

TEST(Utils, PathsJoinWithOneSeparator)
{
    EXPECT_EQ(PathJoin(QStringLiteral("/opt/"), QStringLiteral("db")), QStringLiteral("/opt/db"));
    EXPECT_EQ(PathJoin(QStringLiteral("/opt"), QStringLiteral("/db")), QStringLiteral("/opt/db"));
    EXPECT_EQ(PathJoin(QStringLiteral("/opt"), QStringLiteral("db")), QStringLiteral("/opt/db"));
    EXPECT_EQ(PathJoin(QLatin1String(""), QStringLiteral("db")), QStringLiteral("/db"));
    EXPECT_EQ(PathJoin(QString(), QStringLiteral("db")), QString(QLatin1String("")));
    EXPECT_EQ(FileNamePart(QStringLiteral("/a/b/c.txt")), QStringLiteral("c.txt"));
    EXPECT_EQ(FileNamePart(QStringLiteral("c.txt")), QStringLiteral("c.txt"));
}

TEST(Utils, FileExistsForRegularFilesOnly)
{
    taluvo::test::TempDir dir;
    const std::string file = dir.File("database.db");
    taluvo::test::WriteFile(file, "12345");
    EXPECT_TRUE(FileExists(QString::fromStdString(file)));
    EXPECT_FALSE(FileExists(QString::fromStdString(dir.Path())));
    EXPECT_FALSE(FileExists(QString::fromStdString(dir.File("missing"))));
    EXPECT_FALSE(FileExists(QString()));
    // Any modification time counts, also one outside the DOS range.
    utimbuf old { 0, 0 };
    ASSERT_EQ(utime(file.c_str(), &old), 0);
    EXPECT_TRUE(FileExists(QString::fromStdString(file)));
    // A bare name is looked up in the current folder.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    EXPECT_TRUE(FileExists(QStringLiteral("database.db")));
    std::filesystem::current_path(previous);

    uint64_t size = 99;
    EXPECT_TRUE(GetFileSize64(QString::fromStdString(file), size));
    EXPECT_EQ(size, 5u);
    size = 99;
    EXPECT_FALSE(GetFileSize64(QString::fromStdString(dir.File("missing")), size));
    EXPECT_EQ(size, 99u);
    EXPECT_EQ(GetModuleDirectory(), QString::fromStdString(taluvo::test::HomeDir()));
}

TEST(Utils, HexText)
{
    BYTE bytes[4] = { 0, 0, 0, 0 };
    EXPECT_TRUE(HexToBytes("0aFF", 4, bytes));
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_FALSE(HexToBytes("0G", 2, bytes));
    bytes[0] = 7;
    EXPECT_FALSE(HexToBytes("0aF", 3, bytes));
    EXPECT_EQ(bytes[0], 7); // an odd length writes nothing
    EXPECT_FALSE(HexToBytes(nullptr, 2, bytes));
    EXPECT_FALSE(HexToBytes("00", 0, bytes));
    char out[4] = { 'x', 'x', 'x', 'x' };
    const BYTE in[2] = { 171, 5 };
    EXPECT_TRUE(BytesToHex(in, 2, out));
    EXPECT_EQ(std::string(out, 4), "AB05");
    EXPECT_FALSE(BytesToHex(nullptr, 2, out));
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue('f'), 15);
}
