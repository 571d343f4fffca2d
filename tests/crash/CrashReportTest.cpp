// The crash report as a crashing program leaves it: the fixture crashes in the way the test asks,
// the helper (or the handler itself) writes the report, and the test reads the file.
#include "tests/crash/CrashTestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace taluvo::crashtest;

struct FrameLine {
    uint64_t pc = 0;
    QString function; // "name+displacement", or segment:offset and module
    QString file;
    unsigned line = 0;
};

const QRegularExpression kFrameLine(
    QStringLiteral("^([0-9A-F]{16})  ([0-9A-F]{16})  (.*?)(?:  (\\S.*) line (\\d+))?$"));

// The frames of the call-stack section that starts after line `from`.
std::vector<FrameLine> Frames(const QStringList& lines, qsizetype from)
{
    std::vector<FrameLine> frames;
    for (qsizetype i = from + 2; i < lines.size(); ++i) {
        if (lines[i].startsWith(QStringLiteral("=====")))
            break;
        const QRegularExpressionMatch m = kFrameLine.match(lines[i]);
        if (!m.hasMatch())
            continue;
        FrameLine f;
        f.pc = m.captured(1).toULongLong(nullptr, 16);
        f.function = m.captured(3);
        f.file = m.captured(4);
        f.line = m.captured(5).toUInt();
        frames.push_back(f);
    }
    return frames;
}

// eu-addr2line's function and "file:line" for an address of the fixture's file.
std::pair<std::string, std::string> Addr2Line(uint64_t fileAddress)
{
    char command[512];
    std::snprintf(command, sizeof(command), "eu-addr2line -f -C -e '%s' 0x%llx", kFixture.c_str(),
        static_cast<unsigned long long>(fileAddress));
    FILE* pipe = popen(command, "r");
    if (!pipe)
        return {};
    char function[1024] = "";
    char location[1024] = "";
    if (!std::fgets(function, sizeof(function), pipe) || !std::fgets(location, sizeof(location), pipe))
        function[0] = location[0] = '\0';
    pclose(pipe);
    std::string f = function;
    std::string l = location;
    while (!f.empty() && f.back() == '\n')
        f.pop_back();
    // "file:line:column" -> "file:line"
    const size_t last = l.rfind(':');
    const size_t first = l.find(':');
    if (last != std::string::npos && last != first)
        l.resize(last);
    while (!l.empty() && l.back() == '\n')
        l.pop_back();
    return { f, l };
}

// The 1-based load segment of an ELF file that holds a file address, and the offset in it.
std::pair<unsigned, uint64_t> LoadSegmentOf(const std::string& file, uint64_t fileAddress)
{
    std::ifstream in(file, std::ios::binary);
    Elf64_Ehdr header {};
    in.read(reinterpret_cast<char*>(&header), sizeof(header));
    unsigned index = 0;
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr ph {};
        in.seekg(static_cast<std::streamoff>(header.e_phoff + i * sizeof(ph)));
        in.read(reinterpret_cast<char*>(&ph), sizeof(ph));
        if (ph.p_type != PT_LOAD)
            continue;
        ++index;
        if (fileAddress >= ph.p_vaddr && fileAddress <= ph.p_vaddr + std::max(ph.p_memsz, ph.p_filesz))
            return { index, fileAddress - ph.p_vaddr };
    }
    return { 0, 0 };
}

TEST(CrashReport, NullDereferenceReportReadsAsTheSectionsSay)
{
    SKIP_WITHOUT_MEMORY_ACCESS();
    TempDir home;
    const FixtureRun run = RunFixture("null", home.Path());
    EXPECT_EQ(run.signal, SIGSEGV);
    ASSERT_NE(run.base, 0u) << run.output;

    const std::string raw = taluvo::test::ReadFile(ReportPath(home));
    ASSERT_FALSE(raw.empty());
    const QString report = ReadReport(ReportPath(home));
    EXPECT_TRUE(report.startsWith(QStringLiteral("===== [start of crash report] =====\r\n")))
        << "UTF-16LE without a byte-order mark";
    EXPECT_TRUE(report.endsWith(QStringLiteral("\r\n===== [end of crash report] =====\r\n")));
    EXPECT_FALSE(QString(report).remove(QStringLiteral("\r\n")).contains(QLatin1Char('\n'))) << "lines end in CR LF";
    const QStringList lines = Lines(report);

    EXPECT_EQ(Text(lines.value(1)), "Exception code: C0000005 ACCESS_VIOLATION");

    // Fault address: the module, its load segment and the offset, against the file's own headers.
    const QRegularExpressionMatch fault
        = QRegularExpression(QStringLiteral("^Fault address:  ([0-9A-F]{16}) ([0-9A-F]{2}):([0-9A-F]{8}) (.+)$"))
              .match(lines.value(2));
    ASSERT_TRUE(fault.hasMatch()) << Text(lines.value(2));
    const uint64_t faultAddress = fault.captured(1).toULongLong(nullptr, 16);
    const auto [segment, offset] = LoadSegmentOf(kFixture, faultAddress - run.base);
    EXPECT_EQ(fault.captured(2).toUInt(nullptr, 16), segment);
    EXPECT_EQ(fault.captured(3).toULongLong(nullptr, 16), offset);
    EXPECT_EQ(Text(fault.captured(4)), kFixture);

    // Registers: sixteen general registers, then RIP (the fault address), RSP, RBP, segments, flags.
    const qsizetype registers = IndexOf(lines, QStringLiteral("Registers:"));
    ASSERT_GT(registers, 0);
    const char* names[]
        = { "RAX", "RBX", "RCX", "RDX", "RSI", "RDI", "R8", "R9", "R10", "R11", "R12", "R13", "R14", "R15" };
    for (int i = 0; i < 14; ++i) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^%1:[0-9A-F]{16}$").arg(QLatin1String(names[i])))
                        .match(lines.value(registers + 1 + i))
                        .hasMatch())
            << Text(lines.value(registers + 1 + i));
    }
    EXPECT_EQ(lines.value(registers + 15), QStringLiteral("CS:RIP:0033:") + fault.captured(1));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^SS:RSP:[0-9A-F]{4}:[0-9A-F]{16}  RBP:[0-9A-F]{16}$"))
                    .match(lines.value(registers + 16))
                    .hasMatch());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^DS:[0-9A-F]{4}  ES:[0-9A-F]{4}  FS:[0-9A-F]{4}  GS:[0-9A-F]{4}$"))
                    .match(lines.value(registers + 17))
                    .hasMatch());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Flags:[0-9A-F]{8}$")).match(lines.value(registers + 18)).hasMatch());

    // The call stack, listed twice: without and with locals.
    const qsizetype stack = IndexOf(lines, QStringLiteral("Call stack:"));
    ASSERT_GT(stack, registers);
    EXPECT_EQ(Text(lines.value(stack + 1)), "Address           Frame             Function            SourceFile");
    const qsizetype localsTitle = IndexOf(lines, QStringLiteral("Local Variables And Parameters"), stack);
    ASSERT_GT(localsTitle, stack);
    EXPECT_EQ(Text(lines.value(localsTitle - 1)), "========================");
    const qsizetype secondStack = IndexOf(lines, QStringLiteral("Call stack:"), localsTitle);
    ASSERT_GT(secondStack, localsTitle);

    const std::vector<FrameLine> frames = Frames(lines, stack);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].pc, faultAddress);
    const char* expected[] = { "fixture::CrashNullDeref(Config const&, int)+", "fixture::CallChain(int)+", "main+" };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(frames[i].function.startsWith(QLatin1String(expected[i]))) << Text(frames[i].function);
        // A return address is looked up inside the call that made it.
        const uint64_t fileAddress = frames[i].pc - run.base - (i == 0 ? 0 : 1);
        const auto [function, location] = Addr2Line(fileAddress);
        EXPECT_EQ(Text(frames[i].function.left(frames[i].function.lastIndexOf(QLatin1Char('+')))), function);
        EXPECT_EQ(Text(frames[i].file) + ":" + std::to_string(frames[i].line), location);
    }
    const std::vector<FrameLine> framesAgain = Frames(lines, secondStack);
    ASSERT_EQ(framesAgain.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(framesAgain[i].pc, frames[i].pc);

    // Typed locals and parameters of the crashing frame.
    const qsizetype first = secondStack + 2;
    QStringList frameLocals;
    for (qsizetype i = first + 1; i < lines.size() && !kFrameLine.match(lines[i]).hasMatch(); ++i)
        frameLocals << lines[i];
    const QString block = frameLocals.join(QStringLiteral("\n"));
    const char* wanted[] = {
        "        Parameter 'config' const Config&\n"
        "                 id = 3\n"
        "                 inner\n"
        "                         x = 4\n"
        "                         y = 0.500000\n"
        "                 label = \"caller\"\n",
        "        Parameter 'depth' int = 1\n",
        "        Local 'count' int = 2A\n",
        "        Local 'ratio' double = 2.500000\n",
        // 31 characters of the text, no more.
        "        Local 'text' const char* = \"This text is longer than thirty\"\n",
        // The nested structure's members at their own offsets inside the outer one.
        "        Local 'local' Config\n"
        "                 id = 7\n"
        "                 inner\n"
        "                         x = 5\n"
        "                         y = 1.250000\n"
        "                 label = \"inner label\"\n",
        "punting on symbol badConfig\n",
        "        Local 'null' volatile int* = 0\n",
    };
    for (const char* w : wanted)
        EXPECT_TRUE(block.contains(QString::fromUtf8(w))) << "missing:\n" << w << "\nin:\n" << Text(block);

    // A structure with more members than a symbol's text holds is cut, not overrun.
    const qsizetype callerFrame = report.indexOf(
        QStringLiteral("fixture::CallChain(int)+"), report.indexOf(QStringLiteral("Local Variables And Parameters")));
    const qsizetype wide = report.indexOf(QStringLiteral("        Local 'wide' Wide\r\n"), callerFrame);
    ASSERT_GT(wide, callerFrame);
    const qsizetype afterWide = report.indexOf(
        QRegularExpression(QStringLiteral("\r\n(        Local|        Parameter|punting|[0-9A-F]{16}  )")), wide + 8);
    ASSERT_GT(afterWide, wide);
    EXPECT_LE(afterWide - wide, 8 + 2047 + 2);
    EXPECT_GE(afterWide - wide, 2000);
    EXPECT_TRUE(report.mid(wide, afterWide - wide).contains(QStringLiteral("                 a0 = 0\r\n")));
}

TEST(CrashReport, FrameWithoutSymbolIsNamedByModuleSegmentAndOffset)
{
    SKIP_WITHOUT_MEMORY_ACCESS();
    TempDir home;
    const FixtureRun run = RunFixture("nosymbols", home.Path());
    EXPECT_EQ(run.signal, SIGSEGV);
    const size_t at = run.output.find("nosymbols=");
    ASSERT_NE(at, std::string::npos) << run.output;
    const uint64_t libraryBase = std::stoull(run.output.substr(at + 10), nullptr, 16);

    const QStringList lines = Lines(ReadReport(ReportPath(home)));
    const std::vector<FrameLine> frames = Frames(lines, IndexOf(lines, QStringLiteral("Call stack:")));
    ASSERT_GE(frames.size(), 3u);
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("^([0-9A-F]{4}):([0-9A-F]{8}) (.+)$")).match(frames[0].function);
    ASSERT_TRUE(m.hasMatch()) << Text(frames[0].function);
    const auto [segment, offset] = LoadSegmentOf(kNoSymbols, frames[0].pc - libraryBase);
    EXPECT_EQ(m.captured(1).toUInt(nullptr, 16), segment);
    EXPECT_EQ(m.captured(2).toULongLong(nullptr, 16), offset);
    EXPECT_EQ(Text(m.captured(3)), kNoSymbols);
    EXPECT_TRUE(frames[0].file.isEmpty()) << "no line without line information";
    EXPECT_TRUE(frames[1].function.startsWith(QStringLiteral("CrashWithoutSymbols+"))) << Text(frames[1].function);
    EXPECT_TRUE(frames[2].function.startsWith(QStringLiteral("main+"))) << Text(frames[2].function);
}

struct KindCase {
    const char* kind;
    int signal;
    const char* exceptionLine;
    const char* function; // a frame the call stack must show
};

void PrintTo(const KindCase& c, std::ostream* os)
{
    *os << c.kind;
}

class CrashKind : public ::testing::TestWithParam<KindCase> { };

TEST_P(CrashKind, ReportNamesTheExceptionAndTheCrashingFunction)
{
    SKIP_WITHOUT_MEMORY_ACCESS();
    const KindCase& c = GetParam();
    TempDir home;
    const FixtureRun run = RunFixture(c.kind, home.Path());
    EXPECT_EQ(run.signal, c.signal);
    const QString report = ReadReport(ReportPath(home));
    const QStringList lines = Lines(report);
    EXPECT_EQ(Text(lines.value(1)), c.exceptionLine);
    EXPECT_EQ(report.count(QStringLiteral("===== [start of crash report] =====")), 1);
    EXPECT_TRUE(report.endsWith(QStringLiteral("===== [end of crash report] =====\r\n")));
    const qsizetype stack = IndexOf(lines, QStringLiteral("Call stack:"));
    ASSERT_GT(stack, 0) << Text(report);
    const std::vector<FrameLine> frames = Frames(lines, stack);
    bool found = false;
    for (const FrameLine& f : frames)
        found = found || f.function.startsWith(QLatin1String(c.function));
    EXPECT_TRUE(found) << c.function << " not in:\n" << Text(report.left(6000));
    // The walk is bounded even through a stack that overflowed.
    EXPECT_LE(frames.size(), 256u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashKind,
    ::testing::Values(
        KindCase { "divzero", SIGFPE, "Exception code: C0000094 INT_DIVIDE_BY_ZERO", "fixture::DivideByZero(int)+" },
        KindCase {
            "illegal", SIGILL, "Exception code: C000001D ILLEGAL_INSTRUCTION", "fixture::IllegalInstruction()+" },
        KindCase { "breakpoint", SIGTRAP, "Exception code: 80000003 BREAKPOINT", "fixture::Breakpoint()+" },
        KindCase { "abort", SIGABRT, "Exception code: 00000006 Aborted", "main+" },
        KindCase { "overflow", SIGSEGV, "Exception code: C00000FD STACK_OVERFLOW", "fixture::Recurse(int)+" },
        KindCase { "exception", SIGABRT, "Exception code: E06D7363 C++ exception: std::runtime_error: fixture failure",
            "fixture::ThrowUncaught()+" },
        KindCase { "worker", SIGSEGV, "Exception code: C0000005 ACCESS_VIOLATION", "fixture::CrashingWorker::Run()+" },
        KindCase { "workeroverflow", SIGSEGV, "Exception code: C00000FD STACK_OVERFLOW", "fixture::Recurse(int)+" }),
    [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.kind); });

TEST(CrashReport, TwoCrashesAppendTwoReports)
{
    TempDir home;
    RunFixture("null", home.Path());
    const std::string firstBytes = taluvo::test::ReadFile(ReportPath(home));
    RunFixture("divzero", home.Path());
    const std::string bothBytes = taluvo::test::ReadFile(ReportPath(home));
    ASSERT_GT(bothBytes.size(), firstBytes.size());
    EXPECT_EQ(bothBytes.substr(0, firstBytes.size()), firstBytes) << "the first report stays as it was";
    const QString report = ReadReport(ReportPath(home));
    EXPECT_EQ(report.count(QStringLiteral("===== [start of crash report] =====")), 2);
    EXPECT_EQ(report.count(QStringLiteral("===== [end of crash report] =====")), 2);
    const qsizetype second = report.lastIndexOf(QStringLiteral("===== [start of crash report] ====="));
    EXPECT_TRUE(report.mid(second).contains(QStringLiteral("INT_DIVIDE_BY_ZERO")));
}

// Without a helper (none installed, or it died before the crash) the handler writes the
// exception, the fault address and the registers itself.
TEST(CrashReport, WithoutTheHelperTheHandlerWritesExceptionAndRegisters)
{
    const std::pair<const char*, std::string> cases[] = {
        { "null", "/nonexistent/taluvo-crashreport" },
        { "helpergone", kHelper },
    };
    for (const auto& [kind, helper] : cases) {
        SCOPED_TRACE(kind);
        TempDir home;
        const taluvo::test::UsualUmask umask;
        const FixtureRun run = RunFixture(kind, home.Path(), helper);
        EXPECT_EQ(run.signal, SIGSEGV);
        const QString report = ReadReport(ReportPath(home));
        const QStringList lines = Lines(report);
        EXPECT_EQ(Text(lines.value(0)), "===== [start of crash report] =====");
        EXPECT_EQ(Text(lines.value(1)), "Exception code: C0000005 ACCESS_VIOLATION");
        EXPECT_TRUE(lines.value(2).startsWith(QStringLiteral("Fault address:  "))) << Text(lines.value(2));
        EXPECT_TRUE(lines.value(2).endsWith(QString::fromStdString(kFixture)));
        const qsizetype registers = IndexOf(lines, QStringLiteral("Registers:"));
        ASSERT_GT(registers, 0);
        EXPECT_TRUE(lines.value(registers + 1).startsWith(QStringLiteral("RAX:")));
        EXPECT_TRUE(lines.value(registers + 15).startsWith(QStringLiteral("CS:RIP:0033:")));
        EXPECT_TRUE(lines.value(registers + 18).startsWith(QStringLiteral("Flags:")));
        EXPECT_EQ(IndexOf(lines, QStringLiteral("Call stack:")), -1);
        EXPECT_TRUE(report.endsWith(QStringLiteral("\r\n===== [end of crash report] =====\r\n")));
        EXPECT_EQ(taluvo::test::FileMode(ReportPath(home)), 0600);
    }
}

// Two threads fault at the same moment: one report is written whole, the other thread waits
// instead of ending the process under it.
TEST(CrashReport, SecondThreadFaultingMeanwhileWaitsForTheFirstReport)
{
    SKIP_WITHOUT_MEMORY_ACCESS();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TempDir home;
        const FixtureRun run = RunFixture("twothreads", home.Path());
        EXPECT_EQ(run.signal, SIGSEGV);
        const QString report = ReadReport(ReportPath(home));
        EXPECT_EQ(report.count(QStringLiteral("===== [start of crash report] =====")), 1);
        EXPECT_EQ(report.count(QStringLiteral("Local Variables And Parameters")), 1);
        EXPECT_TRUE(report.endsWith(QStringLiteral("===== [end of crash report] =====\r\n")));
        EXPECT_TRUE(report.contains(QStringLiteral("fixture::CrashTogether()+")));
    }
}

// A report that cannot be written (its folder is a file) must not keep the process from ending.
TEST(CrashReport, UnwritableReportStillEndsTheProcess)
{
    TempDir home;
    const std::string notAFolder = home.File("plain-file");
    taluvo::test::WriteFile(notAFolder, "x");
    const FixtureRun run = RunFixture("null", notAFolder);
    EXPECT_EQ(run.signal, SIGSEGV);
}

} // namespace
