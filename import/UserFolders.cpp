#include "import/UserFolders.h"

#include "platform/base/TextCodec.h"
#include "platform/base/UserFolders.h"

namespace taluvo::import {

QString DefaultFavoritesFolder()
{
    const QString home = UserHomeFolder();
    return home.isEmpty() ? QString() : home + QStringLiteral("/Favorites");
}

QString DefaultFirefoxFolder()
{
    const QString home = UserHomeFolder();
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

} // namespace taluvo::import
