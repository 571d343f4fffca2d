#include "core/DebugTracer.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include <filesystem>
#include <thread>

using taluvo::test::ReadFile;
using taluvo::test::TempDir;
using taluvo::test::WriteFile;

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QStringList LinesOf(const std::string& path)
{
    QStringList lines = QString::fromStdString(ReadFile(path)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

// Writes one line the way the TRACE macros do.
void TraceLine(CDebugTracer& tracer, const char* file, int line, const char16_t* message)
{
    tracer.WriteHeader(u"%s\t%hs(%d)\t::TRACE1:\t", u"#FILE_LINE#", file, line);
    tracer.WriteMessage(u"%s\r\n", message);
}

} // namespace

TEST(DebugTracer, WithoutIniEverythingIsOff)
{
    TempDir dir;
    CDebugTracer tracer(Q(dir.File("missing.ini")));
    EXPECT_EQ(tracer.GetModuleTraceLevel(QStringLiteral("CMainFrame")), 0u);
    EXPECT_TRUE(tracer.IsOutputToDebugger());
    EXPECT_EQ(tracer.LogPath(), Q(dir.File("missing.log")));
}

TEST(DebugTracer, IniSelectsLevelsAndFileOutput)
{
    TempDir dir;
    const taluvo::test::UsualUmask umask;
    const std::string ini = dir.File("taluvo.ini");
    WriteFile(ini, "[TraceLevel]\r\nCMainFrame=31\r\nCUpdater=2\r\n[Output]\r\nType=FiLe\r\n");
    CDebugTracer tracer(Q(ini));
    EXPECT_EQ(tracer.GetModuleTraceLevel(QStringLiteral("CMainFrame")), 31u);
    EXPECT_EQ(tracer.GetModuleTraceLevel(QStringLiteral("CUpdater")), 2u);
    EXPECT_EQ(tracer.GetModuleTraceLevel(QStringLiteral("CListener")), 0u);
    EXPECT_FALSE(tracer.IsOutputToDebugger());

    TraceLine(tracer, "engine/Updater.cpp", 77, u"Hello");
    const QStringList lines = LinesOf(dir.File("taluvo.log"));
    ASSERT_EQ(lines.size(), 1);
    const QRegularExpression shape(
        QStringLiteral(R"(^\[TID:[ 0-9A-F]{8}\] \S+ \d\d:\d\d:\d\d UPDATER\.CPP \(   77\) TRACE1 Hello$)"));
    EXPECT_TRUE(shape.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(taluvo::test::FileMode(dir.File("taluvo.log")), 0600) << "trace lines may carry the user's data";
}

TEST(DebugTracer, DebuggerTypeWithAUsableFileStillWritesTheFile)
{
    TempDir dir;
    const std::string ini = dir.File("taluvo.ini");
    WriteFile(ini, "[Output]\r\nType=Debugger\r\nFile=" + dir.File("chosen.trc") + "\r\n");
    CDebugTracer tracer(Q(ini));
    EXPECT_FALSE(tracer.IsOutputToDebugger());
    EXPECT_EQ(tracer.LogPath(), Q(dir.File("chosen.trc")));

    WriteFile(ini, "[Output]\r\nType=Debugger\r\nFile=" + dir.File("no/such/folder.trc") + "\r\n");
    CDebugTracer fallback(Q(ini));
    EXPECT_TRUE(fallback.IsOutputToDebugger());
}

TEST(DebugTracer, SetLogFileAcceptsOnlyExistingFolders)
{
    TempDir dir;
    WriteFile(dir.File("regular"), "x");
    CDebugTracer tracer(Q(dir.File("t.ini")));
    const QString original = tracer.LogPath();
    EXPECT_FALSE(tracer.SetLogFile(QString()));
    EXPECT_FALSE(tracer.SetLogFile(QStringLiteral("a/b"))); // three characters
    EXPECT_FALSE(tracer.SetLogFile(Q(dir.File("missing/t.trc"))));
    EXPECT_FALSE(tracer.SetLogFile(Q(dir.File("regular") + "/t.trc"))); // a folder that cannot exist
    EXPECT_EQ(tracer.LogPath(), original);
    EXPECT_TRUE(tracer.SetLogFile(Q(dir.File("t.trc"))));
    EXPECT_TRUE(tracer.SetLogFile(Q(dir.File("T.TRC")))); // same path ignoring case: unchanged
    EXPECT_EQ(tracer.LogPath(), Q(dir.File("t.trc")));
}

TEST(DebugTracer, SetOutputWritesTheIni)
{
    TempDir dir;
    const std::string ini = dir.File("taluvo.ini");
    CDebugTracer tracer(Q(ini));
    ASSERT_TRUE(tracer.SetLogFile(Q(dir.File("out.trc"))));
    tracer.SetOutput(FALSE, TRUE);
    EXPECT_EQ(ReadFile(ini), "[Output]\r\nType=File\r\nFile=" + dir.File("out.trc") + "\r\n");
    CDebugTracer reread(Q(ini));
    EXPECT_FALSE(reread.IsOutputToDebugger());
    EXPECT_EQ(reread.LogPath(), Q(dir.File("out.trc")));
}

TEST(DebugTracer, FlagsChoosePrefixPartsAndFreeHeadersStayAsFormatted)
{
    TempDir dir;
    CDebugTracer tracer(Q(dir.File("t.ini")));
    ASSERT_TRUE(tracer.SetLogFile(Q(dir.File("f.trc"))));
    tracer.SetOutput(FALSE, FALSE);
    tracer.SetFlags(CDebugTracer::FLAG_FILE | CDebugTracer::FLAG_LABEL);
    TraceLine(tracer, "a/b/mainfrm.cpp", 5, u"one");
    tracer.SetFlags(CDebugTracer::FLAG_LINE);
    TraceLine(tracer, "mainfrm.cpp", 123456, u"two");
    tracer.SetFlags(CDebugTracer::FLAG_THREAD);
    tracer.WriteHeader(u"free %d: ", 7);
    tracer.WriteMessage(u"three\r\n");
    const QStringList lines = LinesOf(dir.File("f.trc"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("MAINFRM.CPP TRACE1 one"));
    EXPECT_EQ(lines[1], QStringLiteral("(123456) two"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("[TID:")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("] free 7: three")));
}

TEST(DebugTracer, ConcurrentLinesStayWhole)
{
    TempDir dir;
    CDebugTracer tracer(Q(dir.File("t.ini")));
    ASSERT_TRUE(tracer.SetLogFile(Q(dir.File("mt.trc"))));
    tracer.SetOutput(FALSE, FALSE);
    constexpr int kThreads = 8, kLines = 1500;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t)

        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                tracer.WriteHeader(u"%s\t%hs(%d)\t::TRACE2:\t", u"#FILE_LINE#", "engine/worker.cpp", t);
                tracer.WriteMessage(u"thread %d line %d end\r\n", t, i);
            }
        });
    for (auto& th : threads)
        th.join();
    const QStringList lines = LinesOf(dir.File("mt.trc"));
    ASSERT_EQ(lines.size(), kThreads * kLines);
    const QRegularExpression shape(QStringLiteral(
        R"(^\[TID:[ 0-9A-F]{8}\] \S+ \d\d:\d\d:\d\d WORKER\.CPP \(    (\d)\) TRACE2 thread (\d) line (\d+) end$)"));
    std::vector<int> next(kThreads, 0);
    for (const QString& line : lines) {
        const auto m = shape.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        ASSERT_EQ(m.captured(1), m.captured(2));
        const int t = m.captured(2).toInt();
        ASSERT_EQ(m.captured(3).toInt(), next[t]++); // each thread's lines in its own order
    }
}

TEST(DebugTracer, ScopesWriteEntryAndExitWithTheConstructionLine)
{
    // The process-wide tracer: point it at a file of this test's program folder.
    CDebugTracer* tracer = CDbgTracer::Instance();
    ASSERT_EQ(tracer, CDbgTracer::Instance());
    TempDir dir;
    ASSERT_TRUE(tracer->SetLogFile(Q(dir.File("scope.trc"))));
    tracer->SetOutput(FALSE, FALSE);
    {
        CTraceScope scope(u"CMainFrame::SavePrefs", TRACE_LEVEL_SCOPE, "frame/mainfrm.cpp", 321);
    }
    {
        CTraceScope silent(u"CMainFrame::LoadPrefs", TRACE_LEVEL_1, "frame/mainfrm.cpp", 400);
    }
    tracer->SetOutput(TRUE, FALSE);
    const QStringList lines = LinesOf(dir.File("scope.trc"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("MAINFRM.CPP (  321) ENTRY  [+] CMainFrame::SavePrefs")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("MAINFRM.CPP (  321) EXIT   [-] CMainFrame::SavePrefs")))
        << lines[1].toStdString();
}

TEST(DebugTracer, OverlongMessagesAreCut)
{
    TempDir dir;
    CDebugTracer tracer(Q(dir.File("t.ini")));
    ASSERT_TRUE(tracer.SetLogFile(Q(dir.File("long.trc"))));
    tracer.SetOutput(FALSE, FALSE);
    tracer.SetFlags(0);
    tracer.WriteHeader(u"");
    tracer.WriteMessage(u"%s", QString(100000, QLatin1Char('x')));
    EXPECT_EQ(ReadFile(dir.File("long.trc")).size(), 32767u);
}

TEST(DebugTracer, UnwritableTraceFileLosesLinesQuietly)
{
    TempDir dir;
    WriteFile(dir.File("regular"), "x");
    CDebugTracer tracer(Q(dir.File("t.ini")));
    ASSERT_TRUE(tracer.SetLogFile(Q(dir.File("gone/../t.trc"))) || true);
    ASSERT_TRUE(tracer.SetLogFile(Q(dir.File("t.trc"))));
    tracer.SetOutput(FALSE, FALSE);
    std::filesystem::remove(dir.File("t.trc"));
    // Replace the file by a folder: opening it for writing fails, the line is dropped.
    std::filesystem::create_directory(dir.File("t.trc"));
    TraceLine(tracer, "x.cpp", 1, u"dropped");
    TraceLine(tracer, "x.cpp", 2, u"dropped too"); // the lock was released: no hang
    SUCCEED();
}
