// The end of the crash report (system and module sections) and the minidump beside it, as the
// crash fixture leaves them; the dump is read back with lldb.
#include "crash/SystemSections.h"
#include "platform/debug/ModuleList.h"
#include "tests/crash/CrashTestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <map>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

using namespace taluvo::crashtest;

bool HaveCommand(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The build id that readelf finds in a file's notes; empty when it finds none.
std::string ReadelfBuildId(const std::string& path)
{
    const std::string out = CommandOutput("readelf -n '" + path + "'");
    const size_t at = out.find("Build ID: ");
    if (at == std::string::npos)
        return std::string();
    const size_t end = out.find('\n', at);
    return out.substr(at + 10, end - at - 10);
}

struct ModuleBlock {
    std::string path;
    std::map<std::string, std::string> fields; // label (without the colon) -> value
};

// The module blocks after the system section: "Module N", the path, then "Label: value" lines.
std::vector<ModuleBlock> ModuleBlocks(const QStringList& lines, qsizetype from)
{
    std::vector<ModuleBlock> blocks;
    for (qsizetype i = from; i < lines.size(); ++i) {
        if (!lines[i].startsWith(QStringLiteral("Module ")))
            continue;
        ModuleBlock block;
        block.path = Text(lines.value(i + 1));
        for (qsizetype j = i + 2; j < lines.size() && !lines[j].isEmpty(); ++j) {
            // "Image Base: ...  Image Size: ..." holds two fields; the rest one each. A value ends
            // where two blanks and the next label begin.
            static const QRegularExpression field(
                QStringLiteral("([A-Za-z][A-Za-z ]*):\\s*(.*?)(?=\\s{2}[A-Za-z][A-Za-z ]*:|$)"));
            auto matches = field.globalMatch(lines[j]);
            while (matches.hasNext()) {
                const QRegularExpressionMatch m = matches.next();
                block.fields[Text(m.captured(1).trimmed())] = Text(m.captured(2).trimmed());
            }
        }
        blocks.push_back(block);
    }
    return blocks;
}

std::string OsReleasePrettyName()
{
    const std::string text = taluvo::test::ReadFile("/etc/os-release");
    const size_t at = text.find("PRETTY_NAME=");
    if (at == std::string::npos)
        return std::string();
    std::string value = text.substr(at + 12, text.find('\n', at) - at - 12);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
        value = value.substr(1, value.size() - 2);
    return value;
}

TEST(SystemSections, ReportEndsWithSystemAndModuleSectionsWhoseBuildIdsMatchTheFiles)
{
    TempDir home;
    const FixtureRun run = RunFixture("null", home.Path());
    EXPECT_EQ(run.signal, SIGSEGV);
    const QString report = ReadReport(ReportPath(home));
    const QStringList lines = Lines(report);

    const qsizetype at = [&] {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith(QStringLiteral("Error occurred at ")))
                return i;
        }
        return qsizetype(-1);
    }();
    ASSERT_GT(at, 0) << Text(report.left(3000));
    const QRegularExpressionMatch time
        = QRegularExpression(QStringLiteral("^Error occurred at \\d{1,2}/\\d{1,2}/\\d{4} \\d\\d:\\d\\d:(\\d\\d)\\.$"))
              .match(lines[at]);
    ASSERT_TRUE(time.hasMatch()) << Text(lines[at]);
    EXPECT_EQ(time.captured(1).toInt() % 2, 0) << "seconds of a DOS time are even";
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(Text(lines.value(at + 1)), kFixture + ", run by " + user->pw_name + ".");
    EXPECT_EQ(Text(lines.value(at + 2)), "");
    EXPECT_EQ(Text(lines.value(at + 3)), "Operating system information:");
    EXPECT_EQ(Text(lines.value(at + 4)), "");
    utsname u {};
    uname(&u);
    const std::string pretty = OsReleasePrettyName();
    if (!pretty.empty()) {
        EXPECT_EQ(Text(lines.value(at + 5)), "Operating system:  " + pretty + " (" + u.release + ").");
    }
    EXPECT_EQ(Text(lines.value(at + 6)), std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " processor(s), type 8664.");
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d{1,3}% memory in use\\.$")).match(lines.value(at + 7)).hasMatch())
        << Text(lines.value(at + 7));
    const char* memoryLines[] = { "physical memory", "physical memory free", "paging file", "paging file free",
        "user address space", "user address space free" };
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ MBytes %1\\.$").arg(QLatin1String(memoryLines[i])))
                        .match(lines.value(at + 8 + i))
                        .hasMatch())
            << Text(lines.value(at + 8 + i));
    }
    EXPECT_EQ(Text(lines.value(at + 14)), "");
    EXPECT_EQ(Text(lines.value(at + 15)), "Module 1");

    const std::vector<ModuleBlock> modules = ModuleBlocks(lines, at + 15);
    ASSERT_GE(modules.size(), 3u);
    EXPECT_EQ(modules[0].path, kFixture) << "the program comes first";
    bool sawLibc = false;
    for (const ModuleBlock& m : modules) {
        SCOPED_TRACE(m.path);
        EXPECT_EQ(m.fields.at("Build Id"), ReadelfBuildId(m.path));
        struct stat info { };
        ASSERT_EQ(stat(m.path.c_str(), &info), 0);
        EXPECT_EQ(m.fields.at("File Size"), std::to_string(info.st_size));
        EXPECT_EQ(m.fields.at("File Time"), Text(FormatDosTimeText(info.st_mtime)));
        EXPECT_TRUE(m.fields.count("Company") && m.fields.count("FileDesc"));
        if (m.path.find("/libc.so.6") != std::string::npos) {
            sawLibc = true;
            EXPECT_EQ(m.fields.at("Product"), "libc.so.6");
            EXPECT_EQ(m.fields.at("ProdVer"), "6.0.0.0");
        }
    }
    EXPECT_TRUE(sawLibc);
    EXPECT_EQ(modules[0].fields.at("FileVer"), "0.0.0.0") << "an executable's name carries no version";
    EXPECT_TRUE(
        report.endsWith(QStringLiteral("   ProdVer:    ") + QString::fromStdString(modules.back().fields.at("ProdVer"))
            + QStringLiteral("\r\n\r\n\r\n===== [end of crash report] =====\r\n")));
}

// lldb reads the dump the helper wrote: the crashing thread first, stopped by the signal, with the
// faulting function on top; in a program with two threads both are there.
TEST(SystemSections, LldbShowsTheCrashingThreadsBacktraceFromTheMinidump)
{
    if (!HaveCommand("lldb"))
        GTEST_SKIP() << "lldb is not installed (Debian package lldb)";
    SKIP_WITHOUT_MEMORY_ACCESS();
    struct Case {
        const char* kind;
        std::vector<std::string> crashingFrames; // in order from the top
        const char* otherThreadFrame; // a frame of another thread, or none
    };
    const Case cases[] = {
        { "null", { "fixture::CrashNullDeref", "fixture::CallChain", "main" }, nullptr },
        { "worker", { "fixture::CrashNullDeref", "fixture::CallChain", "fixture::CrashingWorker::Run" }, "main" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TempDir home;
        const FixtureRun run = RunFixture(c.kind, home.Path());
        EXPECT_EQ(run.signal, SIGSEGV);
        const std::string dump = home.File("Crash.dmp");
        ASSERT_EQ(taluvo::test::ReadFile(dump).substr(0, 4), "MDMP");
        const std::string out = CommandOutput(
            "timeout 100 lldb --no-lldbinit --batch -o 'target create --core " + dump + "' -o 'thread backtrace all'");
        const size_t first = out.find("* thread #1");
        ASSERT_NE(first, std::string::npos) << out;
        EXPECT_NE(out.find("stop reason = signal SIGSEGV", first), std::string::npos) << out;
        const size_t second = out.find("\n  thread #2", first);
        const std::string crashing
            = out.substr(first, second == std::string::npos ? std::string::npos : second - first);
        size_t from = crashing.find("frame #0: ");
        ASSERT_NE(from, std::string::npos) << out;
        EXPECT_NE(crashing.substr(from, crashing.find('\n', from) - from).find("crash_fixture`" + c.crashingFrames[0]),
            std::string::npos)
            << out;
        for (const std::string& frame : c.crashingFrames) {
            const size_t found = crashing.find("crash_fixture`" + frame + "(", from);
            EXPECT_NE(found, std::string::npos) << frame << " in\n" << out;
            if (found != std::string::npos)
                from = found;
        }
        if (c.otherThreadFrame) {
            ASSERT_NE(second, std::string::npos) << out;
            EXPECT_NE(out.find(std::string("crash_fixture`") + c.otherThreadFrame + "(", second), std::string::npos)
                << out;
        }
    }
}

// The module list comes from the process itself: without a minidump (its path is a folder here)
// the report still lists every module.
TEST(SystemSections, ModuleListDoesNotNeedTheMinidump)
{
    TempDir home;
    ASSERT_EQ(mkdir(home.File("Crash.dmp").c_str(), 0755), 0);
    const FixtureRun run = RunFixture("null", home.Path());
    EXPECT_EQ(run.signal, SIGSEGV);
    const QStringList lines = Lines(ReadReport(ReportPath(home)));
    const qsizetype first = IndexOf(lines, QStringLiteral("Module 1"));
    ASSERT_GT(first, 0);
    EXPECT_EQ(Text(lines.value(first + 1)), kFixture);
    struct stat info { };
    ASSERT_EQ(stat(home.File("Crash.dmp").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

// The helper stops the other threads for a moment to read their registers; once it has let them
// go, nothing looks like a debugger any more, so the crash dialog still follows the report
// (offscreen, where it is cancelled and says so).
TEST(SystemSections, CrashDialogFollowsTheReportOfAThreadedProgram)
{
    SKIP_WITHOUT_MEMORY_ACCESS();
    TempDir home;
    const FixtureRun run = RunFixture("worker", home.Path(), kHelper, { "QT_QPA_PLATFORM=offscreen" });
    EXPECT_EQ(run.signal, SIGSEGV);
    EXPECT_NE(run.output.find("dialog \"crash_fixture\""), std::string::npos) << run.output;
}

TEST(SystemSections, DosTimeTextRoundsSecondsDownToEven)
{
    struct Case {
        int year, month, day, hour, minute, second;
        const char* text;
    };
    const Case cases[] = {
        { 2026, 12, 10, 14, 7, 33, "12/10/2026 14:07:32" }, { 2026, 1, 2, 3, 4, 6, "1/2/2026 03:04:06" },
        { 1980, 1, 1, 0, 0, 1, "1/1/1980 00:00:00" }, { 1979, 12, 31, 23, 59, 59, "" }, // before the first DOS date
    };
    for (const Case& c : cases) {
        tm local {};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        local.tm_isdst = -1;
        EXPECT_EQ(Text(FormatDosTimeText(mktime(&local))), c.text);
    }
}

TEST(SystemSections, VersionInfoComesFromTheSonameAndTheFileName)
{
    TempDir dir;
    taluvo::test::WriteFile(dir.File("libnot.so.1.2"), "not an ELF file");
    CFileVersionInfo plain(QString::fromStdString(dir.File("libnot.so.1.2")));
    uint16_t v[4] = { 9, 9, 9, 9 };
    plain.GetFileVersion(v);
    EXPECT_EQ(v[0] + v[1] + v[2] + v[3], 0);
    EXPECT_FALSE(plain.GetProductName().isNull());
    EXPECT_TRUE(plain.GetProductName().isEmpty());

    for (const taluvo::debug::ModuleInfo& m : taluvo::debug::ReadModules(getpid())) {
        if (m.soname != "libc.so.6")
            continue;
        CFileVersionInfo libc(QString::fromStdString(m.path));
        EXPECT_EQ(Text(libc.GetProductName()), "libc.so.6");
        libc.GetProductVersion(v);
        EXPECT_EQ(v[0], 6);
        EXPECT_EQ(v[1] + v[2] + v[3], 0);
        return;
    }
    ADD_FAILURE() << "libc.so.6 is not among the test's modules";
}

} // namespace
