#include "app/font_mapping.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

class FontMappingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::copyInstalledCjkFont(font));
        test::writeFile(dir.file("notes.ttf"), "not a font");
        // A real font's first bytes: a table directory without the tables it names.
        test::writeFile(dir.file("cut.ttf"), test::readFile(font.string()).substr(0, 4096));
    }

    test::TempDir dir;
    std::filesystem::path font = dir.path() / "fonts" / "mine.ttc";
};

TEST_F(FontMappingTest, ChecksInOrderAndTrims)
{
    const std::string path = font.string();
    struct Case {
        std::string name;
        std::string path;
        FontMappingField field;
        const char* message;
    };
    const Case cases[] = {
        {"", "", FontMappingField::Name, "字体名称不能为空"},
        {" \t\r\n", path, FontMappingField::Name, "字体名称不能为空"},
        {"我的字体", " \t", FontMappingField::Path, "字体路径不能为空"},
        // A missing file is reported before a taken name.
        {test::kInstalledCjkFamily, dir.file("missing.ttf"), FontMappingField::Path,
         "字体路径不存在，请重新选择。"},
        {"我的字体", dir.path().string(), FontMappingField::Path, "字体路径不存在，请重新选择。"},
        {test::kInstalledCjkFamily, path, FontMappingField::Name, "字体名称已存在，请重新输入"},
        {"文泉驿正黑", path, FontMappingField::Name, "字体名称已存在，请重新输入"},
        {"我的字体", dir.file("notes.ttf"), FontMappingField::Path, "字体文件无法读取"},
        {"我的字体", dir.file("cut.ttf"), FontMappingField::Path, "字体文件无法读取"},
        // A taken name is reported before an unreadable file.
        {test::kInstalledCjkFamily, dir.file("notes.ttf"), FontMappingField::Name,
         "字体名称已存在，请重新输入"},
        // A standard Windows name that only stands for another font may be mapped.
        {"黑体", path, FontMappingField::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " | " + c.path);
        const FontMappingCheck check = checkFontMapping(c.name, c.path, test::testFonts());
        EXPECT_EQ(check.field, c.field);
        EXPECT_EQ(check.message, c.message);
    }

    const FontMappingCheck check =
        checkFontMapping(" 我的字体\t", "\r\n " + path + " ", test::testFonts());
    EXPECT_TRUE(check.ok());
    EXPECT_EQ(check.name, "我的字体");
    EXPECT_EQ(check.path, path);
}

TEST_F(FontMappingTest, AddAndRemoveChangeStoreAndFonts)
{
    const SettingsStore store(dir.file("settings.json"));
    FontLibrary fonts{FontRegistry(test::testFonts())};
    const std::string path = font.string();

    ASSERT_TRUE(addFontMapping(fonts, store, "我的字体", path));
    std::string stored;
    EXPECT_TRUE(store.readSettingText(kFontsKey, "我的字体", stored, 260));
    EXPECT_EQ(stored, path);
    EXPECT_TRUE(fontSupportsText(*fonts.current(), "我的字体", true));
    // A new registry built from the store has it too (the next start).
    EXPECT_NE(FontRegistry::build(store).family("我的字体"), nullptr);

    EXPECT_FALSE(addFontMapping(fonts, store, test::kInstalledCjkFamily, path));
    EXPECT_FALSE(store.readSettingText(kFontsKey, test::kInstalledCjkFamily, stored, 260));

    EXPECT_TRUE(removeFontMapping(fonts, store, "我的字体"));
    EXPECT_TRUE(store.textValues(kFontsKey).empty());
    EXPECT_EQ(fonts.current()->family("我的字体"), nullptr);

    // A stored mapping that never became a family (named like an installed font): its value
    // goes, the installed family stays.
    ASSERT_TRUE(store.writeSettingText(kFontsKey, test::kInstalledCjkFamily, path));
    EXPECT_FALSE(removeFontMapping(fonts, store, test::kInstalledCjkFamily));
    EXPECT_TRUE(store.textValues(kFontsKey).empty());
    EXPECT_NE(fonts.current()->family(test::kInstalledCjkFamily), nullptr);
}

} // namespace
} // namespace torvale
