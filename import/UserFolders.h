// Where the browsers keep what the import reads, and the conversion between the program's wide
// paths and the file system's byte paths.
#pragma once

#include <QString>

#include <filesystem>

namespace taluvo::import {

// The folder of Internet shortcut files: <home>/Favorites; empty without a home.
QString DefaultFavoritesFolder();
// The folder that holds profiles.ini: <home>/.mozilla/firefox; empty without a home.
QString DefaultFirefoxFolder();

// File names are bytes; the program's text codec carries any byte through a wide path unchanged.
std::filesystem::path NativePath(const QString& path);
QString WidePath(const std::filesystem::path& path);

} // namespace taluvo::import
