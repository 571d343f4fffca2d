// What the crash tests share: running the crash fixture under its own program folder and reading
// the report it leaves.
#pragma once

#include "tests/support/TestEnvironment.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace taluvo::crashtest {

using taluvo::test::TempDir;

inline const std::string kFixture = TALUVO_CRASH_FIXTURE;
inline const std::string kHelper = TALUVO_CRASH_HELPER;
inline const std::string kNoSymbols = TALUVO_CRASH_NOSYMBOLS;
inline constexpr int kRunBoundMs = 60000;

struct FixtureRun {
    int signal = 0; // the signal that ended the fixture; 0 when it exited
    std::string output; // its standard output and error, and its helper's
    uint64_t base = 0; // where the fixture's executable was loaded
};

// Runs the fixture with TALUVO_HOME=home and TALUVO_CRASH_KIND=kind (and the extra "NAME=value"
// entries, which replace nothing) until it and its helper end, within kRunBoundMs.
FixtureRun RunFixture(const std::string& kind, const std::string& home, const std::string& helper = kHelper,
    const std::vector<std::string>& extraEnvironment = {});

std::string ReportPath(const TempDir& home);
QString ReadReport(const std::string& path);
// The lines of the report, which are all ended by CR LF.
QStringList Lines(const QString& report);
qsizetype IndexOf(const QStringList& lines, const QString& line, qsizetype from = 0);
std::string Text(const QString& s);
// Standard output and error of a shell command.
std::string CommandOutput(const std::string& command);

// The helper reads the crashed program's memory from a child process. Where the kernel forbids
// that (ptrace restrictions, a seccomp filter), the report has no call stack to test.
bool ChildCanReadParentMemory();

} // namespace taluvo::crashtest

#define SKIP_WITHOUT_MEMORY_ACCESS()                                                                                   \
    do {                                                                                                               \
        if (!ChildCanReadParentMemory())                                                                               \
            GTEST_SKIP() << "the kernel does not let a child process read its parent's memory here, so "               \
                            "the helper cannot walk the stack";                                                        \
    } while (0)
