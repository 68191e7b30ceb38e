#include "app/installed_files.h"

#include "common/build_info.h"

#include <system_error>

namespace torvale {

namespace {

// The installed file is tried first: a program installed from a build tree that still exists
// should show the installed files, not those of the build it came from.
std::optional<std::filesystem::path> findBeside(const std::filesystem::path& programFolder,
                                                const char* installed, const char* buildTree)
{
    for (const char* relative : {installed, buildTree}) {
        const std::filesystem::path candidate = (programFolder / relative).lexically_normal();
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec))
            return candidate;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::filesystem::path> findUserGuide(const std::filesystem::path& programFolder)
{
    return findBeside(programFolder, kInstalledGuide, kBuildTreeGuide);
}

std::filesystem::path installedUserGuide(const std::filesystem::path& programFolder)
{
    return (programFolder / kInstalledGuide).lexically_normal();
}

std::optional<std::filesystem::path>
findApplicationIcon(const std::filesystem::path& programFolder)
{
    return findBeside(programFolder, kInstalledIcon, kBuildTreeIcon);
}

} // namespace torvale
