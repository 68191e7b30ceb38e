#include "common/paths.h"
#include "model/recent_files.h"
#include "model/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <set>
#include <tuple>

namespace torvale {
namespace {

using Paths = std::vector<std::string>;

class SettingsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    SettingsStore store{dir.path() / "settings.json"};

    std::string storedList() const
    {
        std::string text;
        store.readSettingText(kSettingsKey, kRecentListSetting, text, kRecentListCapacity);
        return text;
    }
};

TEST_F(SettingsTest, EmptyStoreGivesDefaults)
{
    const Settings settings = readSettings(store);
    EXPECT_EQ(settings.dpi, 72);
    EXPECT_EQ(settings.default_pictures_layer_level, LayerLevel::AboveBackground);
    EXPECT_EQ(settings.default_pictures_overflow_style, OverflowStyle::FillScale);
    EXPECT_TRUE(settings.completed_alert);
    EXPECT_TRUE(settings.check_shortcut_status);
    EXPECT_TRUE(settings.snapping);
    for (const auto& folder : settings.dialogFolders)
        EXPECT_EQ(folder, desktopFolder());
}

TEST_F(SettingsTest, StoredValuesAreUsedWhenInRange)
{
    struct Case {
        std::int32_t dpi, level, style, alert;
        std::int32_t expectedDpi, expectedLevel, expectedStyle;
        bool expectedAlert;
    };
    const Case cases[] = {
        {300, 1, 4, 0, 300, 1, 4, false},   {1, 0, 0, 1, 1, 0, 0, true},
        {1200, 1, 3, 2, 1200, 1, 3, true},  {0, 2, 5, 0, 72, 0, 1, false},
        {1201, -1, -1, 0, 72, 0, 1, false}, {-72, 0, 1, 0, 72, 0, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        store.writeSettingNumber(kSettingsKey, "dpi", c.dpi);
        store.writeSettingNumber(kSettingsKey, "default_pictures_layer_level", c.level);
        store.writeSettingNumber(kSettingsKey, "default_pictures_overflow_style", c.style);
        store.writeSettingNumber(kSettingsKey, "completed_alert", c.alert);
        const Settings settings = readSettings(store);
        EXPECT_EQ(settings.dpi, c.expectedDpi);
        EXPECT_EQ(static_cast<int>(settings.default_pictures_layer_level), c.expectedLevel);
        EXPECT_EQ(static_cast<int>(settings.default_pictures_overflow_style), c.expectedStyle);
        EXPECT_EQ(settings.completed_alert, c.expectedAlert);
    }
    EXPECT_TRUE(writeDpi(store, 600));
    EXPECT_FALSE(writeDpi(store, 0));
    EXPECT_FALSE(writeDpi(store, 1201));
    EXPECT_EQ(readSettings(store).dpi, 600);
}

TEST(SettingTable, HasEverySettingOnceWithDistinctNamesAndDefaultsInRange)
{
    std::set<std::string> names;
    for (int i = 0; i <= static_cast<int>(Setting::Snapping); ++i) {
        const auto setting = static_cast<Setting>(i);
        const SettingDefinition& definition = settingDefinition(setting);
        SCOPED_TRACE(definition.name);
        EXPECT_EQ(definition.setting, setting);
        EXPECT_TRUE(names.insert(definition.name).second);
        if (definition.type == SettingType::Number) {
            // -1 stands for "unknown" and is the one default allowed outside the range.
            EXPECT_TRUE(definition.defaultNumber == -1 ||
                        (definition.defaultNumber >= definition.min &&
                         definition.defaultNumber <= definition.max));
        } else {
            EXPECT_GT(definition.capacity, 0u);
        }
    }
    EXPECT_EQ(names.size(), std::size(kSettingTable));
}

TEST_F(SettingsTest, NumberSettingsRefuseValuesOutsideTheirRange)
{
    const std::tuple<Setting, std::int32_t, bool> cases[] = {
        {Setting::DefaultOverflowStyle, 4, true}, {Setting::DefaultOverflowStyle, 5, false},
        {Setting::DefaultLayerLevel, -1, false},  {Setting::FolderBrowserWidth, -1, false},
        {Setting::CompletedAlert, 2, true},       {Setting::RecentFiles, 1, false},
    };
    for (const auto& [setting, value, stored] : cases) {
        SCOPED_TRACE(settingDefinition(setting).name);
        EXPECT_EQ(writeNumberSetting(store, setting, value), stored);
        if (stored) {
            EXPECT_EQ(storedNumberSetting(store, setting), value);
        }
    }
}

TEST_F(SettingsTest, DialogFoldersRoundTripAndFallBackToTheDesktop)
{
    const auto kept = dir.path() / "图片";
    const auto gone = dir.path() / "gone";
    std::filesystem::create_directory(kept);
    std::filesystem::create_directory(gone);

    Settings settings;
    for (auto& folder : settings.dialogFolders)
        folder = kept;
    settings.dialogFolders[static_cast<int>(DialogFolder::ChooseCsvFile)] = gone;
    writeDialogFolders(store, settings);
    std::filesystem::remove(gone);

    const Settings read = readSettings(store);
    for (int i = 0; i < kDialogFolderCount; ++i) {
        SCOPED_TRACE(dialogFolderSettingName(static_cast<DialogFolder>(i)));
        EXPECT_EQ(read.dialogFolders[i],
                  i == static_cast<int>(DialogFolder::ChooseCsvFile) ? desktopFolder() : kept);
    }
}

TEST_F(SettingsTest, RecentFileReopenedMovesToTheFront)
{
    RecentFileList list(store);
    list.addRecentFile("/t/a.dat", true);
    list.addRecentFile("/t/b.dat", true);
    list.addRecentFile("/t/a.dat", true);
    EXPECT_EQ(storedList(), "/t/a.dat\n/t/b.dat");
    EXPECT_EQ(list.entries(), Paths{"/t/b.dat"}); // the open file is not offered

    list.reload();
    EXPECT_EQ(list.entries(), (Paths{"/t/a.dat", "/t/b.dat"}));
}

TEST_F(SettingsTest, RecentFilesKeepFifteen)
{
    RecentFileList list(store);
    for (int i = 1; i <= 16; ++i)
        list.addRecentFile("/t/" + std::to_string(i) + ".dat", false);
    Paths expected;
    for (int i = 16; i >= 2; --i)
        expected.push_back("/t/" + std::to_string(i) + ".dat");
    EXPECT_EQ(list.entries(), expected);
    list.reload();
    EXPECT_EQ(list.entries(), expected);
}

TEST_F(SettingsTest, RecentFileRemoval)
{
    RecentFileList list(store);
    for (const char* path : {"/t/a.dat", "/t/b.dat", "/t/c.dat"})
        list.addRecentFile(path, false);
    list.removeRecentFile("/t/b.dat", false);
    EXPECT_EQ(storedList(), "/t/c.dat\n/t/a.dat");
    list.removeRecentFile("/t/missing.dat", true);
    EXPECT_EQ(storedList(), "/t/c.dat\n/t/a.dat");
    EXPECT_EQ(list.entries(), Paths{"/t/a.dat"});
}

TEST_F(SettingsTest, RecentFilesCompareExactlyAndIgnoreEmptyPieces)
{
    store.writeSettingText(kSettingsKey, kRecentListSetting, "\n/t/A.dat\n\n/t/a.dat\n");
    RecentFileList list(store);
    list.reload();
    EXPECT_EQ(list.entries(), (Paths{"/t/A.dat", "/t/a.dat"}));
    list.addRecentFile("/t/a.dat", false);
    EXPECT_EQ(storedList(), "/t/a.dat\n/t/A.dat");
}

TEST_F(SettingsTest, RecentFilesRefuseWhatCannotBeReadBack)
{
    RecentFileList list(store);
    list.addRecentFile("/t/a.dat", false);
    list.addRecentFile("/t/x\ny.dat", false);
    list.addRecentFile("", false);
    EXPECT_EQ(storedList(), "/t/a.dat");

    // Fifteen long paths exceed the stored capacity: the newest that fit are kept.
    const std::string longName(1000, 'n');
    for (int i = 0; i < 15; ++i)
        list.addRecentFile("/t/" + std::to_string(i) + longName, false);
    list.reload();
    ASSERT_FALSE(list.entries().empty());
    EXPECT_EQ(list.entries().front(), "/t/14" + longName);
    EXPECT_LT(list.entries().size(), 15u);
}

} // namespace
} // namespace torvale
