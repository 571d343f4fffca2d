#include "platform/base/UserFolders.h"

#include "platform/base/TextCodec.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace taluvo {
namespace {

// Reentrant: the import runs on a worker thread while the user-interface thread may ask too.
QString PasswordEntryHome()
{
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return AnsiDecode(found->pw_dir);
    return QString();
}

QString XdgHome(const char* variable, const QString& underHome)
{
    const QString value = EnvironmentPath(variable);
    if (value.startsWith(QLatin1Char('/')))
        return WithoutTrailingSlashes(value);
    return UserHomeFolder() + underHome;
}

} // namespace

QString WithoutTrailingSlashes(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString EnvironmentPath(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? AnsiDecode(value) : QString();
}

QString UserHomeFolder()
{
    QString home = EnvironmentPath("HOME");
    if (home.isEmpty())
        home = PasswordEntryHome();
    return WithoutTrailingSlashes(home);
}

QString UserConfigHome()
{
    return XdgHome("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString UserDataHome()
{
    return XdgHome("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

} // namespace taluvo
