#pragma once

#include <filesystem>
#include <string>

namespace torvale {

/// Folder holding the running program (from /proc/self/exe on Linux).
std::filesystem::path programFolder();

/// The user's desktop folder (XDG desktop directory, else ~/Desktop, else the home folder).
std::filesystem::path desktopFolder();

/// Folder of the user's settings: $TORVALE_CONFIG_DIR when set, else
/// $XDG_CONFIG_HOME/Torvale, else ~/.config/Torvale.
std::filesystem::path configFolder();

/// The folder of a file path; "." for a bare file name, whose folder is the current one.
std::filesystem::path folderOf(const std::string& path);

/// A std::filesystem path from UTF-8 text, and back.
std::filesystem::path pathFromUtf8(const std::string& text);
std::string pathToUtf8(const std::filesystem::path& path);

} // namespace torvale
