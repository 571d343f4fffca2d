#include "tests/support/PrivateNamespace.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace taluvo::test {

namespace {

constexpr const char* kChildVariable = "TALUVO_TEST_NAMESPACE_CHILD";

// Runs argv with the extra environment entries, output to the file; the exit status, or -1.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& extra, const std::string& outputFile)
{
    const pid_t pid = SpawnWithOutput(argv, extra, outputFile);
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

bool IsNamespaceChild()
{
    const char* child = std::getenv(kChildVariable);
    return child && *child;
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

NamespaceRun RunAgainInNamespace(const std::string& unshareFlags, const std::string& setup, std::string& output)
{
    if (IsNamespaceChild())
        return NamespaceRun::Child;

    char self[PATH_MAX] {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return NamespaceRun::Failed;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();

    const std::string script = setup + "exec \"$0\" \"$@\"\n";
    const std::string outputFile = HomeDir() + "/namespace-child.txt";
    const int status
        = Run({ "/usr/bin/unshare", unshareFlags, "/bin/sh", "-c", script, std::string(self, length), filter },
            { std::string(kChildVariable) + "=1", "TALUVO_TEST_KEEP_ENV=1" }, outputFile);
    output = ReadFile(outputFile);
    ::unlink(outputFile.c_str());
    // unshare's own refusal (no user namespaces) ends it with status 1 before the script runs.
    if (status == kNamespaceNotPermitted || (status == 1 && output.find("unshare:") != std::string::npos))
        return NamespaceRun::NotPermitted;
    if (status != 0)
        return NamespaceRun::Failed;
    // A filter that matched nothing passes too: the child must have run the test.
    return output.find("[  PASSED  ] 1 test") != std::string::npos ? NamespaceRun::Passed : NamespaceRun::Failed;
}

} // namespace taluvo::test
