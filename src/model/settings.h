#pragma once

#include "common/settings_store.h"
#include "model/template.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace torvale {

inline constexpr std::int32_t kMinDpi = 1;
inline constexpr std::int32_t kMaxDpi = 1200;
inline constexpr std::size_t kFolderSettingCapacity = 261;
inline constexpr std::size_t kRecentListCapacity = 4162;

/// The remembered start folders of the file dialogs.
enum class DialogFolder {
    ChooseBackground, // file_dlg_choose_background
    ChooseTestPicture, // file_dlg_choose_test_pic
    ChooseCsvFile,     // file_dlg_choose_csv_file
    ChooseWatermark,   // dlg_choose_watermark
    ChooseFont,        // file_dlg_choose_font
};
inline constexpr int kDialogFolderCount = 5;

/// Value name of a dialog folder setting.
const char* dialogFolderSettingName(DialogFolder folder);

/// The per-user preferences, read with their defaults.
struct Settings {
    std::int32_t dpi = 72;
    LayerLevel default_pictures_layer_level = LayerLevel::AboveBackground;
    OverflowStyle default_pictures_overflow_style = OverflowStyle::FillScale;
    bool completed_alert = true;
    bool check_shortcut_status = true;
    /// Start folders of the file dialogs, indexed by DialogFolder.
    std::filesystem::path dialogFolders[kDialogFolderCount];
};

/// Reads every setting; a value that is missing or unreadable takes its default, and a folder
/// value that does not name an existing folder becomes the desktop folder.
Settings readSettings(const SettingsStore& store);

/// Writes the five dialog folders (done when the main window goes).
void writeDialogFolders(const SettingsStore& store, const Settings& settings);

/// Stores the current DPI ("dpi"); values outside 1..1200 are refused (false).
bool writeDpi(const SettingsStore& store, std::int32_t dpi);

} // namespace torvale
