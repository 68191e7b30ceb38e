#pragma once

#include "common/settings_store.h"
#include "model/template.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace torvale {

inline constexpr std::int32_t kMinDpi = 1;
inline constexpr std::int32_t kMaxDpi = 1200;

/// Every value the program keeps under kSettingsKey.
enum class Setting {
    Dpi,
    DefaultLayerLevel,
    DefaultOverflowStyle,
    CompletedAlert,
    CheckShortcutStatus,
    ChooseBackgroundFolder,
    ChooseTestPictureFolder,
    ChooseCsvFileFolder,
    ChooseWatermarkFolder,
    ChooseFontFolder,
    RecentFiles,
    FolderBrowserWidth,
    FolderBrowserHeight,
    Snapping,
};

enum class SettingType {
    Number, // 32-bit number; a stored value outside [min, max] counts as missing
    Text,   // text of at most capacity characters (terminator included); default empty
    Folder, // text naming an existing folder; default the desktop folder
};

/// One stored value: its name, type and default.
struct SettingDefinition {
    Setting setting;
    const char* name;
    SettingType type;
    std::int32_t defaultNumber; // Number only
    std::int32_t min;
    std::int32_t max;
    std::size_t capacity; // Text and Folder only
};

inline constexpr std::int32_t kNumberMin = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kNumberMax = std::numeric_limits<std::int32_t>::max();
inline constexpr std::size_t kFolderCapacity = 261;

/// The settings table: every reader and writer of a setting takes its name and default here.
inline constexpr SettingDefinition kSettingTable[] = {
    // clang-format off
    // setting                          name                               type                  default min         max         capacity
    {Setting::Dpi,                     "dpi",                             SettingType::Number,  72, kMinDpi,    kMaxDpi,    0},
    {Setting::DefaultLayerLevel,       "default_pictures_layer_level",    SettingType::Number,  0,  0,          1,          0},
    {Setting::DefaultOverflowStyle,    "default_pictures_overflow_style", SettingType::Number,  1,  0,          4,          0},
    {Setting::CompletedAlert,          "completed_alert",                 SettingType::Number,  1,  kNumberMin, kNumberMax, 0},
    {Setting::CheckShortcutStatus,     "check_shortcut_status",           SettingType::Number,  1,  kNumberMin, kNumberMax, 0},
    {Setting::ChooseBackgroundFolder,  "file_dlg_choose_background",      SettingType::Folder,  0,  0,          0,          kFolderCapacity},
    {Setting::ChooseTestPictureFolder, "file_dlg_choose_test_pic",        SettingType::Folder,  0,  0,          0,          kFolderCapacity},
    {Setting::ChooseCsvFileFolder,     "file_dlg_choose_csv_file",        SettingType::Folder,  0,  0,          0,          kFolderCapacity},
    {Setting::ChooseWatermarkFolder,   "dlg_choose_watermark",            SettingType::Folder,  0,  0,          0,          kFolderCapacity},
    {Setting::ChooseFontFolder,        "file_dlg_choose_font",            SettingType::Folder,  0,  0,          0,          kFolderCapacity},
    {Setting::RecentFiles,             "last_edit_file_list",             SettingType::Text,    0,  0,          0,          4162},
    // The folder browser's size when it was last closed; -1 while unknown.
    {Setting::FolderBrowserWidth,      "Browse For Folder Width",         SettingType::Number,  -1, 0,          kNumberMax, 0},
    {Setting::FolderBrowserHeight,     "Browse For Folder Height",        SettingType::Number,  -1, 0,          kNumberMax, 0},
    // "设置 > 吸附对齐": dragged layers and watermarks snap to the card and the other layers.
    {Setting::Snapping,                "snap_to_guides",                  SettingType::Number,  1,  0,          1,          0},
    // clang-format on
};

/// The table entry of a setting.
constexpr const SettingDefinition& settingDefinition(Setting setting)
{
    for (const SettingDefinition& definition : kSettingTable) {
        if (definition.setting == setting)
            return definition;
    }
    return kSettingTable[0]; // not reached: the table has every setting
}

inline constexpr std::size_t kFolderSettingCapacity = kFolderCapacity;
inline constexpr const char* kRecentListSetting = settingDefinition(Setting::RecentFiles).name;
inline constexpr std::size_t kRecentListCapacity = settingDefinition(Setting::RecentFiles).capacity;

/// A number setting as stored, nothing when it is missing, unreadable or out of its range.
std::optional<std::int32_t> storedNumberSetting(const SettingsStore& store, Setting setting);
/// A number setting as stored, or its default.
std::int32_t numberSetting(const SettingsStore& store, Setting setting);
/// Stores a number setting; a value outside its range is refused (false).
bool writeNumberSetting(const SettingsStore& store, Setting setting, std::int32_t value);
/// A text setting as stored, nothing when it is missing or longer than its capacity.
std::optional<std::string> storedTextSetting(const SettingsStore& store, Setting setting);
/// Stores a text or folder setting.
bool writeTextSetting(const SettingsStore& store, Setting setting, const std::string& text);

/// The remembered start folders of the file dialogs.
enum class DialogFolder {
    ChooseBackground,  // file_dlg_choose_background
    ChooseTestPicture, // file_dlg_choose_test_pic
    ChooseCsvFile,     // file_dlg_choose_csv_file
    ChooseWatermark,   // dlg_choose_watermark
    ChooseFont,        // file_dlg_choose_font
};
inline constexpr int kDialogFolderCount = 5;

/// The setting of a dialog folder.
Setting dialogFolderSetting(DialogFolder folder);
/// Value name of a dialog folder setting.
const char* dialogFolderSettingName(DialogFolder folder);

/// The per-user preferences, read with their defaults.
struct Settings {
    std::int32_t dpi = settingDefinition(Setting::Dpi).defaultNumber;
    LayerLevel default_pictures_layer_level =
        static_cast<LayerLevel>(settingDefinition(Setting::DefaultLayerLevel).defaultNumber);
    OverflowStyle default_pictures_overflow_style =
        static_cast<OverflowStyle>(settingDefinition(Setting::DefaultOverflowStyle).defaultNumber);
    bool completed_alert = settingDefinition(Setting::CompletedAlert).defaultNumber != 0;
    bool check_shortcut_status = settingDefinition(Setting::CheckShortcutStatus).defaultNumber != 0;
    bool snapping = settingDefinition(Setting::Snapping).defaultNumber != 0;
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

/// The folder browser's size as last stored, when both values can be read.
std::optional<std::pair<int, int>> storedFolderBrowserSize(const SettingsStore& store);
/// Stores the folder browser's size; true when both values were written.
bool writeFolderBrowserSize(const SettingsStore& store, int width, int height);

/// The output folder last chosen for the template at templatePath (it is not stored in the
/// template); nothing when none was, or it is no folder any more.
std::optional<std::string> rememberedOutputFolder(const SettingsStore& store,
                                                  const std::string& templatePath);
/// Remembers the output folder of the template at templatePath (an empty folder forgets it).
bool rememberOutputFolder(const SettingsStore& store, const std::string& templatePath,
                          const std::string& folder);

} // namespace torvale
