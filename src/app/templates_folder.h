#pragma once

#include <filesystem>

namespace torvale {

/// Name of the templates folder ("我的模版").
inline constexpr const char* kTemplatesFolderName = "我的模版";

/// The default folder of the template dialogs: "我的模版" beside the program when that folder
/// exists or can be created and is writable, else "我的模版" in the user's data folder
/// (created when missing). Returns the folder chosen (which may not exist when neither could
/// be created).
std::filesystem::path prepareTemplatesFolder(const std::filesystem::path& programFolder,
                                             const std::filesystem::path& userDataFolder);

} // namespace torvale
