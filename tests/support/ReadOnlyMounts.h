// Files and folders made read-only the way the system does it, which root cannot write either:
// the running test is started again in a child process of its own, in a private mount namespace
// (unshare -rm) where each given path is bind-mounted read-only. The child keeps the test
// process's TALUVO_HOME, so it sees what the test prepared there.
#pragma once

#include "tests/support/PrivateNamespace.h"

#include <string>
#include <vector>

namespace taluvo::test {

using ReadOnlyRun = NamespaceRun;

// Whether this process is such a child (the test's preparations are done already).
bool IsReadOnlyChild();

// In the test process: runs the current test in the child and returns how it went (output gets
// what the child printed). In the child: returns Child at once.
ReadOnlyRun RunAgainWithReadOnly(const std::vector<std::string>& paths, std::string& output);

} // namespace taluvo::test
