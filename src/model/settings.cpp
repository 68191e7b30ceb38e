#include "model/settings.h"

#include "common/paths.h"

#include <optional>
#include <system_error>

namespace torvale {

namespace {

// A stored number inside [min, max]; anything else counts as missing.
std::optional<std::int32_t> readNumberIn(const SettingsStore& store, const char* name,
                                         std::int32_t min, std::int32_t max)
{
    std::int32_t value = 0;
    if (!store.readSettingNumber(kSettingsKey, name, value) || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<std::filesystem::path> readExistingFolder(const SettingsStore& store,
                                                        const char* name)
{
    std::string text;
    if (!store.readSettingText(kSettingsKey, name, text, kFolderSettingCapacity) || text.empty())
        return std::nullopt;
    const auto folder = pathFromUtf8(text);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return std::nullopt;
    return folder;
}

} // namespace

const char* dialogFolderSettingName(DialogFolder folder)
{
    switch (folder) {
    case DialogFolder::ChooseBackground:
        return "file_dlg_choose_background";
    case DialogFolder::ChooseTestPicture:
        return "file_dlg_choose_test_pic";
    case DialogFolder::ChooseCsvFile:
        return "file_dlg_choose_csv_file";
    case DialogFolder::ChooseWatermark:
        return "dlg_choose_watermark";
    case DialogFolder::ChooseFont:
        return "file_dlg_choose_font";
    }
    return "";
}

Settings readSettings(const SettingsStore& store)
{
    Settings settings;
    if (const auto dpi = readNumberIn(store, "dpi", kMinDpi, kMaxDpi))
        settings.dpi = *dpi;
    if (const auto level = readNumberIn(store, "default_pictures_layer_level", 0, 1))
        settings.default_pictures_layer_level = static_cast<LayerLevel>(*level);
    if (const auto style = readNumberIn(store, "default_pictures_overflow_style", 0, 4))
        settings.default_pictures_overflow_style = static_cast<OverflowStyle>(*style);
    std::int32_t flag = 0;
    if (store.readSettingNumber(kSettingsKey, "completed_alert", flag))
        settings.completed_alert = flag != 0;
    if (store.readSettingNumber(kSettingsKey, "check_shortcut_status", flag))
        settings.check_shortcut_status = flag != 0;

    std::optional<std::filesystem::path> desktop;
    for (int i = 0; i < kDialogFolderCount; ++i) {
        const char* name = dialogFolderSettingName(static_cast<DialogFolder>(i));
        if (auto folder = readExistingFolder(store, name)) {
            settings.dialogFolders[i] = std::move(*folder);
        } else {
            if (!desktop)
                desktop = desktopFolder();
            settings.dialogFolders[i] = *desktop;
        }
    }
    return settings;
}

void writeDialogFolders(const SettingsStore& store, const Settings& settings)
{
    for (int i = 0; i < kDialogFolderCount; ++i) {
        store.writeSettingText(kSettingsKey, dialogFolderSettingName(static_cast<DialogFolder>(i)),
                               pathToUtf8(settings.dialogFolders[i]));
    }
}

bool writeDpi(const SettingsStore& store, std::int32_t dpi)
{
    if (dpi < kMinDpi || dpi > kMaxDpi)
        return false;
    return store.writeSettingNumber(kSettingsKey, "dpi", dpi);
}

} // namespace torvale
