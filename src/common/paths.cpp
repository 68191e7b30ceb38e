#include "common/paths.h"

#include "common/text.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace torvale {

namespace {

std::filesystem::path homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::filesystem::path(home) : std::filesystem::path("/");
}

// Reads XDG_DESKTOP_DIR from user-dirs.dirs ("$HOME/Desktop" style values).
std::filesystem::path xdgDesktopFromUserDirs(const std::filesystem::path& configHome)
{
    std::ifstream in(configHome / "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            return homeFolder() / std::filesystem::path(value.substr(5)).relative_path();
        if (!value.empty() && value.front() == '/')
            return value;
    }
    return {};
}

} // namespace

std::filesystem::path programFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::filesystem::path desktopFolder()
{
    std::error_code ec;
    const char* xdgConfig = std::getenv("XDG_CONFIG_HOME");
    const auto configHome =
        xdgConfig && *xdgConfig ? std::filesystem::path(xdgConfig) : homeFolder() / ".config";
    const auto fromUserDirs = xdgDesktopFromUserDirs(configHome);
    if (!fromUserDirs.empty() && std::filesystem::is_directory(fromUserDirs, ec))
        return fromUserDirs;
    const auto desktop = homeFolder() / "Desktop";
    if (std::filesystem::is_directory(desktop, ec))
        return desktop;
    return homeFolder();
}

std::filesystem::path configFolder()
{
    if (const char* dir = std::getenv("TORVALE_CONFIG_DIR"); dir && *dir)
        return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "Torvale";
    return homeFolder() / ".config" / "Torvale";
}

std::filesystem::path folderOf(const std::string& path)
{
    std::filesystem::path folder = pathFromUtf8(path).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

std::filesystem::path pathFromUtf8(const std::string& text)
{
    return std::filesystem::path(reinterpret_cast<const char8_t*>(text.c_str()));
}

std::string pathToUtf8(const std::filesystem::path& path)
{
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

SheetPath splitSheetPath(const std::string& path)
{
    // A sheet name never holds a slash or a backslash (spreadsheets refuse them), so a "#"
    // followed by one belongs to a folder's name, not to a sheet.
    for (std::size_t hash = path.find('#'); hash != std::string::npos;
         hash = path.find('#', hash + 1)) {
        if (!endsWithIgnoreCase(std::string_view(path).substr(0, hash), ".xlsx"))
            continue;
        if (path.find_first_of("/\\", hash) != std::string::npos)
            continue;
        return {path.substr(0, hash), path.substr(hash + 1), true};
    }
    return {path, {}, false};
}

std::string joinSheetPath(const std::string& file, const std::string& sheet)
{
    return file + '#' + sheet;
}

bool isWorkbookPath(const std::string& path)
{
    return endsWithIgnoreCase(splitSheetPath(path).file, ".xlsx");
}

} // namespace torvale
