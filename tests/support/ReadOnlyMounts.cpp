#include "tests/support/ReadOnlyMounts.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace taluvo::test {

namespace {

constexpr const char* kChildVariable = "TALUVO_TEST_READ_ONLY_CHILD";
constexpr int kNotPermitted = 77;

// Runs argv with the extra environment entries, output to the file; the exit status, or -1.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& extra, const std::string& outputFile)
{
    const pid_t pid = SpawnWithOutput(argv, extra, outputFile);
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

bool IsReadOnlyChild()
{
    const char* child = std::getenv(kChildVariable);
    return child && *child;
}

ReadOnlyRun RunAgainWithReadOnly(const std::vector<std::string>& paths, std::string& output)
{
    if (IsReadOnlyChild())
        return ReadOnlyRun::Child;

    char self[PATH_MAX] {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return ReadOnlyRun::Failed;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();

    // A mount that fails means the system does not allow it here: the child says so by its status.
    std::string script;
    for (const std::string& path : paths)
        script += "mount --bind " + Quoted(path) + " " + Quoted(path) + " && mount -o remount,bind,ro " + Quoted(path)
            + " " + Quoted(path) + " || exit " + std::to_string(kNotPermitted) + "\n";
    script += "exec \"$0\" \"$@\"\n";
    const std::string outputFile = HomeDir() + "/read-only-child.txt";
    const int status = Run({ "/usr/bin/unshare", "-rm", "/bin/sh", "-c", script, std::string(self, length), filter },
        { std::string(kChildVariable) + "=1", "TALUVO_TEST_KEEP_ENV=1" }, outputFile);
    output = ReadFile(outputFile);
    ::unlink(outputFile.c_str());
    // unshare's own refusal (no user namespaces) ends it with status 1 before the script runs.
    if (status == kNotPermitted || (status == 1 && output.find("unshare:") != std::string::npos))
        return ReadOnlyRun::NotPermitted;
    if (status != 0)
        return ReadOnlyRun::Failed;
    // A filter that matched nothing passes too: the child must have run the test.
    return output.find("[  PASSED  ] 1 test") != std::string::npos ? ReadOnlyRun::Passed : ReadOnlyRun::Failed;
}

} // namespace taluvo::test
