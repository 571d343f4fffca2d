#include "platform/base/Profile.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace taluvo;
using taluvo::test::ReadFile;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace {
QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
} // namespace

TEST(Profile, ReadsWithWindowsRules)
{
    TempDir dir;
    const std::string ini = dir.File("t.ini");
    WriteFile(ini,
        "; comment\r\n"
        "[TraceLevel]\r\n"
        "  CMainFrame = 31  \r\n"
        "CUpdater=\"  quoted  \"\r\n"
        "Neg=-5\r\n"
        "Junk=12abc\r\n"
        "Empty=\r\n"
        "[Output]\n"
        "TYPE=FiLe\n");
    EXPECT_EQ(GetProfileInt(QStringLiteral("tracelevel"), QStringLiteral("cmainframe"), 0, Q(ini)), 31u);
    EXPECT_EQ(GetProfileText(QStringLiteral("TraceLevel"), QStringLiteral("CUpdater"), QString(), Q(ini)),
        QStringLiteral("  quoted  "));
    EXPECT_EQ(static_cast<INT>(GetProfileInt(QStringLiteral("TraceLevel"), QStringLiteral("Neg"), 0, Q(ini))), -5);
    EXPECT_EQ(GetProfileInt(QStringLiteral("TraceLevel"), QStringLiteral("Junk"), 0, Q(ini)), 12u);
    EXPECT_EQ(GetProfileInt(QStringLiteral("TraceLevel"), QStringLiteral("Empty"), 7, Q(ini)), 7u);
    EXPECT_EQ(GetProfileInt(QStringLiteral("TraceLevel"), QStringLiteral("Missing"), 9, Q(ini)), 9u);
    EXPECT_EQ(GetProfileText(QStringLiteral("Output"), QStringLiteral("Type"), QStringLiteral("Debugger"), Q(ini)),
        QStringLiteral("FiLe"));
    EXPECT_EQ(GetProfileText(QStringLiteral("Nope"), QStringLiteral("Type"), QStringLiteral("Debugger"), Q(ini)),
        QStringLiteral("Debugger"));
}

TEST(Profile, MissingOrUnreadableFilesGiveDefaults)
{
    TempDir dir;
    WriteFile(dir.File("plain"), "x");
    for (const std::string& path :
        { dir.File("missing.ini"), dir.File("plain") + "/through-a-file.ini", std::string() }) {
        EXPECT_EQ(GetProfileInt(QStringLiteral("A"), QStringLiteral("B"), 3, Q(path)), 3u);
        EXPECT_EQ(GetProfileText(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("d"), Q(path)),
            QStringLiteral("d"));
    }
    EXPECT_FALSE(WriteProfileText(
        QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), Q(dir.File("plain") + "/through-a-file.ini")));
}

TEST(Profile, WritingOneKeyKeepsTheRestOfTheFile)
{
    TempDir dir;
    const std::string ini = dir.File("t.ini");
    WriteFile(ini, "; keep me\r\n[Output]\r\nType=Debugger\r\nOther=1\r\n\r\n[TraceLevel]\r\nA=1\r\n");
    ASSERT_TRUE(WriteProfileText(QStringLiteral("output"), QStringLiteral("TYPE"), QStringLiteral("File"), Q(ini)));
    ASSERT_TRUE(
        WriteProfileText(QStringLiteral("Output"), QStringLiteral("File"), QStringLiteral("/tmp/x.trc"), Q(ini)));
    ASSERT_TRUE(WriteProfileText(QStringLiteral("New"), QStringLiteral("K"), QStringLiteral("V"), Q(ini)));
    EXPECT_EQ(ReadFile(ini),
        "; keep "
        "me\r\n[Output]\r\nTYPE=File\r\nOther=1\r\nFile=/tmp/x.trc\r\n\r\n[TraceLevel]\r\nA=1\r\n[New]\r\nK=V\r\n");
    ASSERT_TRUE(WriteProfileText(QStringLiteral("Output"), QStringLiteral("Other"), QString(), Q(ini)));
    ASSERT_TRUE(WriteProfileText(QStringLiteral("TraceLevel"), QString(), QString(), Q(ini)));
    EXPECT_EQ(ReadFile(ini), "; keep me\r\n[Output]\r\nTYPE=File\r\nFile=/tmp/x.trc\r\n\r\n[New]\r\nK=V\r\n");
}

TEST(Profile, WritingCreatesTheFile)
{
    TempDir dir;
    const std::string ini = dir.File("new.ini");
    ASSERT_TRUE(WriteProfileText(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("\u00E9"), Q(ini)));
    EXPECT_EQ(ReadFile(ini), "[S]\r\nK=\xC3\xA9\r\n");
    EXPECT_EQ(GetProfileText(QStringLiteral("S"), QStringLiteral("K"), QString(), Q(ini)), QStringLiteral("\u00E9"));
}

TEST(Profile, WindowsCallShapes)
{
    TempDir dir;
    const QString ini = Q(dir.File("w.ini"));
    const auto* file = reinterpret_cast<const char16_t*>(ini.utf16());
    ASSERT_TRUE(WritePrivateProfileString(u"S", u"K", u"value", file));
    char16_t buffer[4];
    EXPECT_EQ(GetPrivateProfileString(u"S", u"K", u"", buffer, 4, file), 3u); // cut to fit
    EXPECT_EQ(std::u16string(buffer), u"val");
    EXPECT_EQ(GetPrivateProfileInt(u"S", u"Missing", 5, file), 5u);
}
