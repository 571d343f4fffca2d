// What the database tests share: the sqlite3 tool as an independent reader, and the trace lines
// of a test's scope.
#pragma once

#include "core/DebugTracer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace taluvo::test {

struct SCommandResult {
    int status = -1;
    std::string output;
};

inline SCommandResult RunCommand(const std::string& command)
{
    SCommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), pipe)) > 0)
        result.output.append(chunk, n);
    result.status = pclose(pipe);
    return result;
}

inline std::string Sqlite3(const std::string& database, const std::string& sql)
{
    const SCommandResult result = RunCommand("sqlite3 '" + database + "' \"" + sql + "\"");
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output;
}

// Sends the trace lines to a file of the test while it lives. The INI file beside the executable
// switches the settings-row module on; without it the lines are not written and their checks are
// skipped.
class CTraceCapture {
public:
    explicit CTraceCapture(const TempDir& dir)
        : m_path(dir.File("trace.log"))
    {
        CDebugTracer* tracer = CDbgTracer::Instance();
        m_bEnabled = ReadFile(tracer->IniPath().toStdString()).find("CMainFrame=15") != std::string::npos;
        tracer->SetLogFile(QString::fromStdString(m_path));
        tracer->SetOutput(FALSE, FALSE);
    }
    ~CTraceCapture() { CDbgTracer::Instance()->SetOutput(TRUE, FALSE); }

    void Expect(const std::string& text) const
    {
        if (!m_bEnabled)
            return;
        const std::string lines = ReadFile(m_path);
        EXPECT_NE(lines.find(text), std::string::npos) << "missing trace text: " << text << "\n" << lines;
    }

private:
    std::string m_path;
    bool m_bEnabled = false;
};

} // namespace taluvo::test
