#include "import/UserFolders.h"

#include "platform/base/TextCodec.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace taluvo::import {

QString HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return AnsiDecode(home);
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
        && *found->pw_dir)
        return AnsiDecode(found->pw_dir);
    return QString();
}

QString DefaultFavoritesFolder()
{
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : home + QStringLiteral("/Favorites");
}

QString DefaultFirefoxFolder()
{
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : home + QStringLiteral("/.mozilla/firefox");
}

std::filesystem::path NativePath(const QString& path)
{
    return std::filesystem::path(AnsiEncode(path).toStdString());
}

QString WidePath(const std::filesystem::path& path)
{
    const std::string& bytes = path.native();
    return AnsiDecode(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace taluvo::import
