// The recipients file looked through as the options and the alerts do to tell the user why a
// line gives no recipient: which lines, why, and whether anyone is reached; the store reads the
// same file by the same rules.
#include "core/prefs/RecipientsFile.h"
#include "core/prefs/Preferences.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using taluvo::prefs::CheckRecipientsFile;
using taluvo::prefs::DescribeRecipientsProblem;
using taluvo::prefs::SRecipientLine;
using taluvo::prefs::SRecipientsFileCheck;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

using Lines = std::vector<std::pair<int, SRecipientLine::EKind>>;

Lines Unusable(const SRecipientsFileCheck& check)
{
    Lines lines;
    for (const auto& line : check.unusable)
        lines.emplace_back(line.number, line.kind);
    return lines;
}

TEST(RecipientsFile, LinesWithoutAUsableRecipientAreNamedAndAgreeWithTheStore)
{
    struct Case {
        const char* label;
        std::string content;
        int usable;
        Lines unusable;
        std::vector<std::string> said; // in the description, in this order; empty: no description
    };
    const std::vector<Case> cases {
        { "all usable, CRLF, blank lines and a third field", "Ann@Example.com;Ann\r\n\r\n;;bob@example.com;;Bob;x\r\n",
            2, {}, {} },
        { "addresses alone", "ann@example.com\nbob@example.com;\n", 0,
            { { 1, SRecipientLine::noName }, { 2, SRecipientLine::noName } },
            { "holds no usable recipient: change alerts reach nobody.", "address;name",
                "Line 1: \"ann@example.com\" (no name after the address)", "Line 2:" } },
        { "commas", "ann@example.com, Ann\nbob@example.com;Bob\n", 1, { { 1, SRecipientLine::invalidAddress } },
            { "change alerts go to the one recipient it gives.",
                "Line 1: \"ann@example.com, Ann\" (separated by commas, not by a semicolon)" } },
        { "no address before the semicolon", "Ann;ann@example.com\n", 0, { { 1, SRecipientLine::invalidAddress } },
            { "Line 1: \"Ann;ann@example.com\" (no e-mail address before the first semicolon)" } },
        { "an address without name that another line names", "ann@example.com\nann@example.com;Ann\n", 1, {}, {} },
        { "a repeated address", "ann@example.com;Ann\nANN@example.com;Other\n", 1, {}, {} },
        { "an empty file", "", 0, {}, { "holds no usable recipient", "address;name" } },
    };
    TempDir dir;
    const QString path = QString::fromStdString(dir.File("recipients.csv"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WriteFile(path.toStdString(), c.content);
        const SRecipientsFileCheck check = CheckRecipientsFile(path);
        EXPECT_EQ(check.file, SRecipientsFileCheck::read);
        EXPECT_EQ(check.usable, c.usable);
        EXPECT_EQ(Unusable(check), c.unusable);

        CPreferences prefs;
        ASSERT_EQ(prefs.ParseCsvFile(path), TRUE);
        EXPECT_EQ(static_cast<int>(prefs.m_recipients.size()), c.usable) << "the store reads what the check counts";

        const std::string text = DescribeRecipientsProblem(path, check).toStdString();
        if (c.said.empty()) {
            EXPECT_EQ(text, "");
            continue;
        }
        size_t at = text.find(path.toStdString());
        EXPECT_NE(at, std::string::npos) << "the file is named:\n" << text;
        at = 0;
        for (const std::string& part : c.said) {
            const size_t found = text.find(part, at);
            EXPECT_NE(found, std::string::npos) << "\"" << part << "\" in:\n" << text;
            if (found != std::string::npos)
                at = found + 1;
        }
    }
}

TEST(RecipientsFile, AFileThatCannotBeReadOrIsNotNamedReachesNobody)
{
    TempDir dir;
    const QString missing = QString::fromStdString(dir.File("missing.csv"));
    const QString folder = QString::fromStdString(dir.Path());
    EXPECT_EQ(CheckRecipientsFile(QString()).file, SRecipientsFileCheck::noPath);
    EXPECT_EQ(CheckRecipientsFile(missing).file, SRecipientsFileCheck::missing);
    EXPECT_EQ(DescribeRecipientsProblem(QString(), CheckRecipientsFile(QString())).toStdString(),
        "No recipients file is named: change alerts reach nobody.");
    EXPECT_EQ(DescribeRecipientsProblem(missing, CheckRecipientsFile(missing)).toStdString(),
        "The recipients file \"" + missing.toStdString() + "\" does not exist: change alerts reach nobody.");
    // A folder opens but cannot be read as a file.
    const SRecipientsFileCheck check = CheckRecipientsFile(folder);
    EXPECT_NE(check.file, SRecipientsFileCheck::read);
    EXPECT_NE(
        DescribeRecipientsProblem(folder, check).toStdString().find("change alerts reach nobody."), std::string::npos);
}

TEST(RecipientsFile, LongListsOfBadLinesAreCut)
{
    TempDir dir;
    const std::string path = dir.File("many.csv");
    std::string content;
    for (int i = 0; i < 14; ++i)
        content += "user" + std::to_string(i) + "@example.com\n";
    WriteFile(path, content);
    const QString file = QString::fromStdString(path);
    const std::string text = DescribeRecipientsProblem(file, CheckRecipientsFile(file)).toStdString();
    EXPECT_NE(text.find("Line 10:"), std::string::npos) << text;
    EXPECT_EQ(text.find("Line 11:"), std::string::npos) << text;
    EXPECT_NE(text.find("... and 4 more such lines."), std::string::npos) << text;
}

} // namespace
