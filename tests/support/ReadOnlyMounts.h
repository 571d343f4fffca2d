// Files and folders made read-only the way the system does it, which root cannot write either:
// the running test is started again in a child process of its own, in a private mount namespace
// (unshare -rm) where each given path is bind-mounted read-only. The child keeps the test
// process's TALUVO_HOME, so it sees what the test prepared there.
#pragma once

#include <string>
#include <vector>

namespace taluvo::test {

enum class ReadOnlyRun {
    Child, // this is the child: the paths are read-only now, go on with the test
    Passed, // the child ran the test and it passed
    Failed, // the child ran the test and it failed (its output is given)
    NotPermitted, // this system allows no private mount namespace: skip the test
};

// Whether this process is such a child (the test's preparations are done already).
bool IsReadOnlyChild();

// In the test process: runs the current test in the child and returns how it went (output gets
// what the child printed). In the child: returns Child at once.
ReadOnlyRun RunAgainWithReadOnly(const std::vector<std::string>& paths, std::string& output);

} // namespace taluvo::test
