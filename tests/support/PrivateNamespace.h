// A test run again in a child process of its own inside private namespaces (unshare -r and more),
// where a setup script first changes what the child's world looks like (mounts, its own loopback,
// its own files in place of the system's). The child keeps the test process's TALUVO_HOME, so it
// sees what the test prepared there.
#pragma once

#include <string>

namespace taluvo::test {

enum class NamespaceRun {
    Child, // this is the child: the setup has run, go on with the test
    Passed, // the child ran the test and it passed
    Failed, // the child ran the test and it failed (its output is given)
    NotPermitted, // this system allows no such namespace or setup: skip the test
};

// The status a setup line exits with when the system does not allow what it does.
constexpr int kNamespaceNotPermitted = 77;

// Whether this process is such a child (the test's preparations are done already).
bool IsNamespaceChild();

// The text as one argument of a shell line.
std::string ShellQuoted(const std::string& text);

// In the test process: runs the current test in a child started as `unshare <unshareFlags>`,
// after the shell lines of setup (each ending "|| exit 77" where the system may refuse it), and
// returns how it went (output gets what the child printed). In the child: returns Child at once.
NamespaceRun RunAgainInNamespace(const std::string& unshareFlags, const std::string& setup, std::string& output);

} // namespace taluvo::test
