#pragma once

#include <filesystem>
#include <string>

namespace torvale {

/// File name of the desktop launcher ("Torvale.desktop").
inline constexpr const char* kDesktopLauncherName = "Torvale.desktop";

/// The launcher's path inside a desktop folder.
std::filesystem::path desktopLauncherPath(const std::filesystem::path& desktopFolder);

/// Writes the launcher of the program into the desktop folder (mode 0755), replacing an
/// existing one: it starts the executable in the program folder and shows the icon (a file
/// path or an icon theme's name). True on success.
bool writeDesktopLauncher(const std::filesystem::path& desktopFolder,
                          const std::filesystem::path& executable, const std::string& icon);

/// Whether start-up offers to create the launcher: not when check_shortcut_status is 0, not
/// when the program folder's path contains the desktop folder's path (the program lies on the
/// desktop), and not when the launcher exists already.
bool shouldOfferDesktopLauncher(bool checkShortcutStatus,
                                const std::filesystem::path& programFolder,
                                const std::filesystem::path& desktopFolder);

} // namespace torvale
