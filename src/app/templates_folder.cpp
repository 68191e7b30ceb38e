#include "app/templates_folder.h"

#include "common/paths.h"

#include <system_error>

namespace torvale {

std::filesystem::path prepareTemplatesFolder(const std::filesystem::path& userDataFolder)
{
    const std::filesystem::path folder = userDataFolder / pathFromUtf8(kTemplatesFolderName);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        std::filesystem::create_directories(folder, ec);
    return folder;
}

} // namespace torvale
