#include "platform/base/DebugOutput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What OutputDebugText writes in a child process whose stderr is a pipe; traced: the child asks
// its parent (this test) to be its debugger first.
std::string OutputOfChild(bool traced)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        if (traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(2);
        taluvo::OutputDebugText(QStringLiteral("to the debugger\n"));
        _exit(0);
    }
    close(pipeFds[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return said;
}

TEST(DebugOutput, WrittenOnlyForADebuggerOrWhenAskedFor)
{
    unsetenv("TALUVO_DEBUG");
    EXPECT_EQ(OutputOfChild(false), "");
    EXPECT_EQ(OutputOfChild(true), "to the debugger\n");
    setenv("TALUVO_DEBUG", "", 1);
    EXPECT_EQ(OutputOfChild(false), "");
    setenv("TALUVO_DEBUG", "1", 1);
    EXPECT_EQ(OutputOfChild(false), "to the debugger\n");
    unsetenv("TALUVO_DEBUG");
}

} // namespace
