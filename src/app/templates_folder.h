#pragma once

#include <filesystem>

namespace torvale {

/// Name of the templates folder ("我的模版").
inline constexpr const char* kTemplatesFolderName = "我的模版";

/// The default folder of the template dialogs: "我的模版" in the user's data folder (created
/// when missing), never a folder beside the program, which may be shared or read-only. Returns
/// the folder (which may not exist when it could not be created).
std::filesystem::path prepareTemplatesFolder(const std::filesystem::path& userDataFolder);

} // namespace torvale
