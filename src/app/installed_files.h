#pragma once

#include <filesystem>
#include <optional>

namespace torvale {

/// The user guide (an HTML page) of programs lying in programFolder: the installed guide
/// (share/doc/torvale/guide beside the installed programs), else the one built in the build
/// tree the programs were built in. Nothing when neither exists.
std::optional<std::filesystem::path> findUserGuide(const std::filesystem::path& programFolder);

/// Where the installed user guide of programs in programFolder lies, whether it exists or not.
std::filesystem::path installedUserGuide(const std::filesystem::path& programFolder);

/// The scalable application icon of programs in programFolder, installed or in the build
/// tree; nothing when neither exists.
std::optional<std::filesystem::path>
findApplicationIcon(const std::filesystem::path& programFolder);

} // namespace torvale
