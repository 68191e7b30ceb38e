#include "app/templates_folder.h"

#include "common/paths.h"

#include <system_error>
#include <unistd.h>

namespace torvale {

namespace {

bool usableFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec))
        return false;
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

std::filesystem::path prepareTemplatesFolder(const std::filesystem::path& programFolder,
                                             const std::filesystem::path& userDataFolder)
{
    const std::filesystem::path name = pathFromUtf8(kTemplatesFolderName);
    const std::filesystem::path besideProgram = programFolder / name;
    if (usableFolder(besideProgram))
        return besideProgram;
    const std::filesystem::path inUserData = userDataFolder / name;
    usableFolder(inUserData);
    return inUserData;
}

} // namespace torvale
