#include "import/IniParser.h"
#include "import/IniValues.h"

#include "tests/import/ImportTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <memory>
#include <random>
#include <sstream>

using namespace IniParser;
using taluvo::test::ParseIni;
using taluvo::test::SIniOutcome;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace {

struct SOptions {
    bool skipNoEquals;
    bool acceptUndeclaredSections;
    bool skipUndeclaredParameters;
};

// The schema most cases use:
//   [Main]  Name (text, required), Count (decimal 0..100), Title (text, 1..5 characters)
//   [Other] Key (text)
struct SSchema {
    explicit SSchema(SOptions o = { false, false, false })
        : file(o.skipNoEquals, o.acceptUndeclaredSections, o.skipUndeclaredParameters)
    {
        CSection* main = file.AddSection("Main");
        main->AddParameter("Name", new CStringValue(&name, CStringValue::kNoLimit, true), true);
        main->AddParameter(
            "Count", new CNumberValue<int>(&count, new SNumberRange<int> { 0, 100, 2 }, fmtDec, 0), false);
        main->AddParameter("Title", new CStringValue(&title, 5, false), false);
        file.AddSection("Other")->AddParameter("Key", new CStringValue(&key, CStringValue::kNoLimit, true), false);
    }

    std::string name, title, key;
    int count = -1;
    CIniFile file;
};

std::string Written(CIniFile& file)
{
    std::ostringstream out;
    out << file;
    return out.str();
}

} // namespace

TEST(IniParser, ErrorsCarryCodeLineAndParameter)
{
    const SOptions strict { false, false, false };
    const SOptions lenient { true, true, true };
    struct Case {
        const char* what;
        SOptions options;
        const char* text;
        SIniOutcome expected;
    };
    const Case cases[] = {
        { "undeclared section", strict, "[Main]\nName=x\n\n[Nope]\n", { 1, 4, "" } },
        { "undeclared section is never tolerated", { true, false, true }, "[Main]\nName=x\n[Nope]\n", { 1, 3, "" } },
        { "undeclared key", strict, "[Main]\nName=x\nUnknown=1\n", { 2, 3, "" } },
        { "key=value before any section", strict, "Key=1\n[Main]\nName=x\n", { 2, 1, "" } },
        { "key=value in an accepted undeclared section", { false, true, false }, "[Nope]\nk=v\n", { 2, 2, "" } },
        { "no equals in a declared section", strict, "[Main]\nName\n", { 3, 2, "" } },
        { "equals first in a declared section", strict, "[Main]\n=x\n", { 3, 2, "" } },
        { "hash is no comment in a section", strict, "[Main]\n# note\n", { 3, 2, "" } },
        { "no equals before any section", strict, "garbage\n[Main]\nName=x\n", { 4, 1, "" } },
        { "equals first before any section", strict, "=x\n", { 4, 1, "" } },
        { "hash is no comment before a section", lenient, "# note\n", { 4, 1, "" } },
        { "no equals in an accepted undeclared section", lenient, "[Main]\nName=x\n[Nope]\nnoequals\n", { 4, 4, "" } },
        { "value that does not convert", strict, "[Main]\nName=x\nCount=abc\n", { 4, 3, "Count" } },
        { "value out of range", strict, "[Main]\nName=x\nCount=101\n", { 5, 3, "Count" } },
        { "empty value refused", strict, "[Main]\nName=x\nTitle=\n", { 5, 3, "Title" } },
        { "value too long", strict, "[Main]\nName=x\nTitle=toolong\n", { 5, 3, "Title" } },
        { "given twice", strict, "[Main]\nName=a\nName=b\n", { 6, 3, "Name" } },
        { "given twice under two headers", strict, "[Main]\nName=a\n[Other]\n[Main]\nname=b\n", { 6, 5, "Name" } },
        { "required missing", strict, "[Main]\nCount=1\n", { 7, -1, "Name" } },
        { "empty file with a required parameter", strict, "", { 7, -1, "Name" } },
        { "blank and CRLF lines count", strict, "\n\n  \t\n[Main]\r\nName=x\r\nBad\r\n", { 3, 6, "" } },
        { "lone CR does not end a line", strict, "[Main]\nName=x\rCount=1\n", { -1, 0, "" } },
    };
    for (const Case& c : cases) {
        SSchema schema(c.options);
        EXPECT_EQ(ParseIni(schema.file, c.text), c.expected) << c.what;
    }
}

TEST(IniParser, OpenFailuresGiveErrnoAsLine)
{
    TempDir dir;
    WriteFile(dir.File("plain"), "x");
    // A pipe in the file's place must fail at once: opened blocking, it would wait for a writer.
    ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0600), 0);
    struct Case {
        std::string path;
        bool save;
        int expectedErrno;
    };
    const Case cases[] = {
        { dir.File("missing.ini"), false, ENOENT },
        { dir.File("plain/inside.ini"), false, ENOTDIR },
        { dir.Path(), false, EISDIR },
        { dir.File("pipe.ini"), false, EINVAL },
        { dir.File("plain/inside.ini"), true, ENOTDIR },
        { dir.Path(), true, EISDIR },
    };
    for (const Case& c : cases) {
        SSchema schema;
        try {
            c.save ? schema.file.Save(c.path.c_str()) : schema.file.Load(c.path.c_str());
            ADD_FAILURE() << c.path << " gave no error";
        } catch (CException* e) {
            std::unique_ptr<CException> owned(e);
            EXPECT_EQ(e->m_nCode, 0) << c.path;
            EXPECT_EQ(e->m_nLine, c.expectedErrno) << c.path;
            EXPECT_EQ(e->m_pParameter, nullptr);
        }
    }
}

TEST(IniParser, ToleranceOptionsSkipOnlyTheirErrors)
{
    struct Case {
        const char* what;
        SOptions options;
        const char* text;
        const char* expectedName;
    };
    const Case cases[] = {
        { "lines without equals skipped", { true, false, false }, "[Main]\nName=x\nnoequals\n=y\n", "x" },
        { "undeclared keys skipped", { false, false, true }, "[Main]\nUnknown=1\nName=x\n", "x" },
        { "key=value before sections skipped", { false, false, true }, "k=v\n[Main]\nName=x\n", "x" },
        { "undeclared sections accepted", { false, true, false }, "[Nope]\n[Main]\nName=x\n", "x" },
        // After an undeclared header no declared section is current: its keys reach nothing.
        { "keys of an undeclared section stay out", { false, true, true }, "[Main]\nName=x\n[Nope]\nName=y\n", "x" },
    };
    for (const Case& c : cases) {
        SSchema schema(c.options);
        EXPECT_EQ(ParseIni(schema.file, c.text), SIniOutcome()) << c.what;
        EXPECT_EQ(schema.name, c.expectedName) << c.what;
    }
}

TEST(IniParser, NamesAndValuesFollowTheGrammar)
{
    struct Case {
        const char* text;
        SIniOutcome outcome;
        const char* expectedName;
    };
    const Case cases[] = {
        { "[main]\nNAME=x\n", {}, "x" },
        { "[MAIN]\r\n  name   =   a b  \r\n", {}, "a b" },
        { "[Main]\nName=\n", {}, "" },
        { "[Main]\nName==x\n", {}, "=x" },
        { "[Main]\nName=v ; not a comment\n", {}, "v ; not a comment" },
        { "; comment\n[Main]\n;Name=y\nName=x", {}, "x" }, // last line without line feed
        { "[ Main ]\nName=x\n", { 1, 1, "" }, "" }, // the name keeps its spaces
        { "[Main]\nName;comment=1\nName=x\n", { 2, 2, "" }, "" },
    };
    for (const Case& c : cases) {
        SSchema schema;
        EXPECT_EQ(ParseIni(schema.file, c.text), c.outcome) << c.text;
        EXPECT_EQ(schema.name, c.expectedName) << c.text;
    }

    // A header's last character is dropped whatever it is; "[" alone names the empty section.
    CIniFile file(false, false, false);
    std::string value;
    file.AddSection("Mai")->AddParameter("K", new CStringValue(&value, CStringValue::kNoLimit, true), false);
    EXPECT_EQ(ParseIni(file, "[Main\nK=1\n"), SIniOutcome());
    EXPECT_EQ(value, "1");
    EXPECT_EQ(ParseIni(file, "[Mai]\n[\n"), (SIniOutcome { 1, 2, "" }));
    EXPECT_EQ(ParseIni(file, "[]\n"), (SIniOutcome { 1, 1, "" }));
    file.AddSection("")->AddParameter("E", new CStringValue(&value, CStringValue::kNoLimit, true), false);
    EXPECT_EQ(ParseIni(file, "[\nE=2\n"), SIniOutcome());
    EXPECT_EQ(value, "2");

    // Names outside ASCII compare without regard to case as well.
    CIniFile wide(false, false, false);
    wide.AddSection("Ärger")->AddParameter("Öl", new CStringValue(&value, CStringValue::kNoLimit, true), false);
    EXPECT_EQ(ParseIni(wide, "[äRGER]\nöL=3\n"), SIniOutcome());
    EXPECT_EQ(value, "3");
}

TEST(IniParser, SchemaLookupAndRemoval)
{
    SSchema schema;
    EXPECT_EQ(schema.file.FindSection("OTHER"), schema.file.m_sections.back().get());
    EXPECT_EQ(schema.file.FindSection("Missing"), nullptr);
    EXPECT_NE(schema.file.FindSection("main")->FindParameter("count"), nullptr);
    EXPECT_TRUE(schema.file.FindSection("Main")->RemoveParameter("TITLE"));
    EXPECT_FALSE(schema.file.FindSection("Main")->RemoveParameter("Title"));

    // Removing the section the parser is in leaves no dangling current section.
    ASSERT_EQ(ParseIni(schema.file, "[Main]\nName=x\n[Other]\n"), SIniOutcome());
    EXPECT_TRUE(schema.file.RemoveSection("other"));
    EXPECT_EQ(schema.file.m_pCurSection, nullptr);
    EXPECT_FALSE(schema.file.RemoveSection("Other"));
}

TEST(IniParser, SaveKeepsCommentsInPlace)
{
    struct Case {
        const char* what;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        { "never loaded", nullptr, "[Main]\n\n[Other]\n\n" },
        { "comments around every line",
            "; head\n[Main]\n; about the name\nName=x\n\nCount=5\nTitle=abc\n[Other]\nKey=k\n; tail\n",
            "; head\n[Main]\n; about the name\nName=x\nCount=5\nTitle=abc\n\n[Other]\nKey=k\n\n; tail\n" },
        // Headers and parameters follow the declaration order while comments keep their ordinal:
        // the comment was the fifth non-empty line and is written as the fifth again. The absent
        // Title takes no ordinal.
        { "declaration order and absent parameters", "[Other]\nKey=k\n[Main]\nCount=7\n; fifth\nName=n\n",
            "[Main]\nName=n\nCount=7\n\n[Other]\n; fifth\nKey=k\n\n" },
        { "comments beyond the last ordinal keep their order", "[Main]\nName=x\n;a\n;b\n;c\n",
            "[Main]\nName=x\n;a\n;b\n;c\n\n[Other]\n\n" },
    };
    for (const Case& c : cases) {
        SSchema schema;
        if (c.input) {
            ASSERT_EQ(ParseIni(schema.file, c.input), SIniOutcome()) << c.what;
        }
        EXPECT_EQ(Written(schema.file), c.expected) << c.what;
    }
}

TEST(IniParser, SaveWritesTheVariablesAndStopsAtAnInvalidOne)
{
    TempDir dir;
    const std::string path = dir.File("out.ini");
    SSchema schema;
    ASSERT_EQ(ParseIni(schema.file, "[Main]\nName=x\nCount=5\nTitle=abc\n"), SIniOutcome());
    schema.name = "changed";
    schema.file.Save(path.c_str());
    EXPECT_EQ(taluvo::test::ReadFile(path), "[Main]\nName=changed\nCount=5\nTitle=abc\n\n[Other]\n\n");

    schema.title = "far too long";
    try {
        schema.file.Save(path.c_str());
        ADD_FAILURE() << "an invalid value was written";
    } catch (CException* e) {
        std::unique_ptr<CException> owned(e);
        EXPECT_EQ(e->m_nCode, 5);
        EXPECT_EQ(e->m_nLine, 4); // Title's ordinal
        ASSERT_NE(e->m_pParameter, nullptr);
        EXPECT_EQ(e->m_pParameter->m_strName, "Title");
    }
    EXPECT_EQ(taluvo::test::ReadFile(path), "[Main]\nName=changed\nCount=5\n");
}

TEST(IniParser, EveryLoadStartsClean)
{
    SSchema schema({ false, false, true });
    ASSERT_EQ(ParseIni(schema.file, "; first\n[Main]\nName=a\n[Other]\nKey=a\n"), SIniOutcome());
    // Before its first header the second file is in no section: Key=b must not reach [Other].
    ASSERT_EQ(ParseIni(schema.file, "Key=b\n[Main]\nName=x\n"), SIniOutcome());
    EXPECT_EQ(schema.key, "a");
    EXPECT_EQ(Written(schema.file), "[Main]\nName=x\n\n[Other]\n\n");
}

TEST(IniParser, AgreesWithPythonConfigparserOnOrdinaryFiles)
{
    const char* files[] = {
        // A browser's profile list.
        "[General]\nStartWithLastProfile=1\nVersion=2\n\n"
        "[Profile1]\nName=work\nIsRelative=0\nPath=/home/u/ff/work\n\n"
        "[Profile0]\nName=default-release\nIsRelative=1\nPath=Profiles/abcd1234.default-release\nDefault=1\n",
        // An Internet shortcut.
        "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n[InternetShortcut]\r\nIDList=\r\n"
        "URL=https://example.com/a?b=c;d&e=%20f\r\nIconIndex=0\r\nHotKey=0\r\nIconFile=C:\\fav.ico\r\n",
        // Comments, blank lines, spaces around "=", empty and non-ASCII values.
        "; settings\n\n[Window]\n  Left = 10 \nTop=20\n; size\nWidth =  640\nTitle=Grüße, Welt\nEmpty=\n\n"
        "[Mail]\nServer=smtp.example.org:25\nFrom = a@b.example\n",
    };
    TempDir dir;
    for (const char* text : files) {
        const std::string path = dir.File("ordinary.ini");
        WriteFile(path, text);
        const QJsonObject reference
            = taluvo::test::RunPythonJson("ini_reference.py", { QString::fromStdString(path) }).object();
        ASSERT_TRUE(reference.contains(QStringLiteral("sections"))) << text;

        // Declare exactly what configparser saw; the strict parser must then read all of it.
        CIniFile file(false, false, false);
        std::map<std::pair<std::string, std::string>, std::string> values;
        for (const auto& section : reference.value(QStringLiteral("sections")).toArray()) {
            const std::string sectionName = section.toArray().at(0).toString().toStdString();
            CSection* declared = file.AddSection(sectionName.c_str());
            for (const auto& pair : section.toArray().at(1).toArray()) {
                const std::string keyName = pair.toArray().at(0).toString().toStdString();
                std::string* target = &values[std::make_pair(sectionName, keyName)];
                declared->AddParameter(keyName.c_str(), new CStringValue(target, CStringValue::kNoLimit, true), true);
            }
        }
        ASSERT_EQ(ParseIni(file, text), SIniOutcome()) << text;
        for (const auto& section : reference.value(QStringLiteral("sections")).toArray()) {
            const std::string sectionName = section.toArray().at(0).toString().toStdString();
            for (const auto& pair : section.toArray().at(1).toArray()) {
                const std::string keyName = pair.toArray().at(0).toString().toStdString();
                const std::string& read = values[std::make_pair(sectionName, keyName)];
                EXPECT_EQ(read, pair.toArray().at(1).toString().toStdString()) << sectionName << "/" << keyName;
            }
        }
    }

    // Files both refuse.
    struct Refused {
        const char* text;
        const char* pythonError;
        int code;
    };
    const Refused refused[] = {
        { "[s]\nnoequals\n", "ParsingError", 3 },
        { "[s]\na=1\nA=2\n", "DuplicateOptionError", 6 },
        { "a=1\n[s]\n", "MissingSectionHeaderError", 2 },
    };
    for (const Refused& r : refused) {
        const std::string path = dir.File("refused.ini");
        WriteFile(path, r.text);
        const QJsonObject reference
            = taluvo::test::RunPythonJson("ini_reference.py", { QString::fromStdString(path) }).object();
        EXPECT_EQ(reference.value(QStringLiteral("error")).toString().toStdString(), r.pythonError);
        std::string a;
        CIniFile file(false, false, false);
        file.AddSection("s")->AddParameter("a", new CStringValue(&a, CStringValue::kNoLimit, true), false);
        EXPECT_EQ(ParseIni(file, r.text).code, r.code) << r.text;
    }
}

// Random files against the schema: the parser either reads the file or throws one of its own
// errors with a line inside the file; what it read, written and read again, gives the same values.
TEST(IniParser, RandomFilesKeepTheErrorContract)
{
    const std::vector<std::string> sections = { "Main", "main", "Other", "Nope", "", " Main " };
    const std::vector<std::string> closers = { "]", "]", "]", "", "x" };
    const std::vector<std::string> keys = { "Name", "name", "Count", "Title", "Key", "Unknown", "", "Na me" };
    const std::vector<std::string> equals = { "=", "=", " = ", "==", "" };
    const std::vector<std::string> values
        = { "x", "42", "-1", "101", "a b", "", ";c", "\xC3\xA4", "\xFF", "0x1", "toolong" };
    const std::vector<std::string> noise = { "[", "]", "=", ";", "#", " ", "\t", "\r", "x", std::string(1, '\0') };
    std::mt19937 random(20261210);
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    };
    std::map<int, int> seen;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int lineCount = std::uniform_int_distribution<int>(0, 10)(random);
        for (int i = 0; i < lineCount; ++i) {
            switch (std::uniform_int_distribution<int>(0, 9)(random)) {
            case 0:
            case 1:
                text += "[" + pick(sections) + pick(closers);
                break;
            case 2:
                text += ";" + pick(values);
                break;
            case 3:
                text += " \t";
                break;
            case 4:
                for (int n = std::uniform_int_distribution<int>(1, 5)(random); n > 0; --n)
                    text += pick(noise);
                break;
            default:
                text += pick(keys) + pick(equals) + pick(values);
                break;
            }
            if (i + 1 < lineCount || random() % 2)
                text += random() % 4 ? "\n" : "\r\n";
        }
        const int flags = std::uniform_int_distribution<int>(0, 7)(random);
        const SOptions options { (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0 };
        SSchema first(options);
        const SIniOutcome outcome = ParseIni(first.file, text);
        ++seen[outcome.code];
        const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (outcome.code == 7) {
            EXPECT_EQ(outcome.line, -1) << text;
            continue;
        }
        if (outcome.code != -1) {
            EXPECT_GE(outcome.code, 1) << text;
            EXPECT_LE(outcome.code, 6) << text;
            EXPECT_GE(outcome.line, 1) << text;
            EXPECT_LE(outcome.line, lines) << text;
            continue;
        }
        SSchema second(options);
        ASSERT_EQ(ParseIni(second.file, Written(first.file)), SIniOutcome()) << text;
        EXPECT_EQ(second.name, first.name);
        EXPECT_EQ(second.title, first.title);
        EXPECT_EQ(second.key, first.key);
        EXPECT_EQ(second.count, first.count);
        // Comments may move among the lines (they keep ordinals, not neighbours), never change order.
        std::vector<std::string> firstComments, secondComments;
        for (const auto& [ordinal, comment] : first.file.m_comments)
            firstComments.push_back(comment);
        for (const auto& [ordinal, comment] : second.file.m_comments)
            secondComments.push_back(comment);
        EXPECT_EQ(secondComments, firstComments);
    }
    // The generator reaches every outcome, success included.
    for (int code = -1; code <= 7; ++code) {
        if (code != 0) {
            EXPECT_GT(seen[code], 0) << "no file gave code " << code;
        }
    }
}
