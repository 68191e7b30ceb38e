#include "model/settings.h"

#include "common/paths.h"

#include <system_error>

namespace torvale {

namespace {

std::optional<std::filesystem::path> readExistingFolder(const SettingsStore& store, Setting setting)
{
    const auto text = storedTextSetting(store, setting);
    if (!text || text->empty())
        return std::nullopt;
    auto folder = pathFromUtf8(*text);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return std::nullopt;
    return folder;
}

} // namespace

std::optional<std::int32_t> storedNumberSetting(const SettingsStore& store, Setting setting)
{
    const SettingDefinition& definition = settingDefinition(setting);
    std::int32_t value = 0;
    if (definition.type != SettingType::Number ||
        !store.readSettingNumber(kSettingsKey, definition.name, value) || value < definition.min ||
        value > definition.max)
        return std::nullopt;
    return value;
}

std::int32_t numberSetting(const SettingsStore& store, Setting setting)
{
    return storedNumberSetting(store, setting).value_or(settingDefinition(setting).defaultNumber);
}

bool writeNumberSetting(const SettingsStore& store, Setting setting, std::int32_t value)
{
    const SettingDefinition& definition = settingDefinition(setting);
    if (definition.type != SettingType::Number || value < definition.min || value > definition.max)
        return false;
    return store.writeSettingNumber(kSettingsKey, definition.name, value);
}

std::optional<std::string> storedTextSetting(const SettingsStore& store, Setting setting)
{
    const SettingDefinition& definition = settingDefinition(setting);
    std::string text;
    if (definition.type == SettingType::Number ||
        !store.readSettingText(kSettingsKey, definition.name, text, definition.capacity))
        return std::nullopt;
    return text;
}

bool writeTextSetting(const SettingsStore& store, Setting setting, const std::string& text)
{
    const SettingDefinition& definition = settingDefinition(setting);
    if (definition.type == SettingType::Number)
        return false;
    return store.writeSettingText(kSettingsKey, definition.name, text);
}

Setting dialogFolderSetting(DialogFolder folder)
{
    switch (folder) {
    case DialogFolder::ChooseBackground:
        return Setting::ChooseBackgroundFolder;
    case DialogFolder::ChooseTestPicture:
        return Setting::ChooseTestPictureFolder;
    case DialogFolder::ChooseCsvFile:
        return Setting::ChooseCsvFileFolder;
    case DialogFolder::ChooseWatermark:
        return Setting::ChooseWatermarkFolder;
    case DialogFolder::ChooseFont:
        break;
    }
    return Setting::ChooseFontFolder;
}

const char* dialogFolderSettingName(DialogFolder folder)
{
    return settingDefinition(dialogFolderSetting(folder)).name;
}

Settings readSettings(const SettingsStore& store)
{
    Settings settings;
    settings.dpi = numberSetting(store, Setting::Dpi);
    settings.default_pictures_layer_level =
        static_cast<LayerLevel>(numberSetting(store, Setting::DefaultLayerLevel));
    settings.default_pictures_overflow_style =
        static_cast<OverflowStyle>(numberSetting(store, Setting::DefaultOverflowStyle));
    settings.completed_alert = numberSetting(store, Setting::CompletedAlert) != 0;
    settings.check_shortcut_status = numberSetting(store, Setting::CheckShortcutStatus) != 0;
    settings.snapping = numberSetting(store, Setting::Snapping) != 0;

    std::optional<std::filesystem::path> desktop;
    for (int i = 0; i < kDialogFolderCount; ++i) {
        if (auto folder =
                readExistingFolder(store, dialogFolderSetting(static_cast<DialogFolder>(i)))) {
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
        writeTextSetting(store, dialogFolderSetting(static_cast<DialogFolder>(i)),
                         pathToUtf8(settings.dialogFolders[i]));
    }
}

bool writeDpi(const SettingsStore& store, std::int32_t dpi)
{
    return writeNumberSetting(store, Setting::Dpi, dpi);
}

std::optional<std::pair<int, int>> storedFolderBrowserSize(const SettingsStore& store)
{
    const auto width = storedNumberSetting(store, Setting::FolderBrowserWidth);
    const auto height = storedNumberSetting(store, Setting::FolderBrowserHeight);
    if (!width || !height)
        return std::nullopt;
    return std::pair{*width, *height};
}

bool writeFolderBrowserSize(const SettingsStore& store, int width, int height)
{
    const bool widthWritten = writeNumberSetting(store, Setting::FolderBrowserWidth, width);
    const bool heightWritten = writeNumberSetting(store, Setting::FolderBrowserHeight, height);
    return widthWritten && heightWritten;
}

namespace {

// The output folders by template path.
constexpr const char* kOutputFoldersKey = "OutputFolders";
constexpr std::size_t kOutputFolderCapacity = 4096;

} // namespace

std::optional<std::string> rememberedOutputFolder(const SettingsStore& store,
                                                  const std::string& templatePath)
{
    std::string folder;
    std::error_code error;
    if (templatePath.empty() ||
        !store.readSettingText(kOutputFoldersKey, templatePath, folder, kOutputFolderCapacity) ||
        !std::filesystem::is_directory(pathFromUtf8(folder), error))
        return std::nullopt;
    return folder;
}

bool rememberOutputFolder(const SettingsStore& store, const std::string& templatePath,
                          const std::string& folder)
{
    if (templatePath.empty())
        return false;
    if (folder.empty())
        return store.deleteSetting(kOutputFoldersKey, templatePath);
    return store.writeSettingText(kOutputFoldersKey, templatePath, folder);
}

} // namespace torvale
