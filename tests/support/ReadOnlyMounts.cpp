#include "tests/support/ReadOnlyMounts.h"

namespace taluvo::test {

bool IsReadOnlyChild()
{
    return IsNamespaceChild();
}

ReadOnlyRun RunAgainWithReadOnly(const std::vector<std::string>& paths, std::string& output)
{
    // A mount that fails means the system does not allow it here: the child says so by its status.
    std::string setup;
    for (const std::string& path : paths)
        setup += "mount --bind " + ShellQuoted(path) + " " + ShellQuoted(path) + " && mount -o remount,bind,ro "
            + ShellQuoted(path) + " " + ShellQuoted(path) + " || exit " + std::to_string(kNamespaceNotPermitted) + "\n";
    return RunAgainInNamespace("-rm", setup, output);
}

} // namespace taluvo::test
