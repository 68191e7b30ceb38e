#include "render/fonts.h"

#include "support/test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace torvale {
namespace {

constexpr const char* kCjkFamily = "WenQuanYi Zen Hei";
constexpr const char* kCjkLocalName = "文泉驿正黑";
constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

bool hasDejaVu()
{
    return std::filesystem::exists(kDejaVuSans);
}

// ---- chooseFontFile ------------------------------------------------------------------------

// One letter per entry: r regular, b bold, i italic, x bold italic, l light (300), m medium (500).
std::vector<FontEntry> family(const std::string& styles)
{
    std::vector<FontEntry> entries;
    for (const char style : styles) {
        FontEntry entry;
        entry.fontReference = std::to_string(entries.size());
        entry.weight = style == 'b' || style == 'x' ? 700
                       : style == 'l'               ? 300
                       : style == 'm'               ? 500
                                                    : 400;
        entry.italic = style == 'i' || style == 'x';
        entries.push_back(entry);
    }
    return entries;
}

struct ChooseCase {
    const char* styles;
    bool bold;
    bool italic;
    int expected;
};

TEST(ChooseFontFile, FollowsExactMatchThenFallbacks)
{
    const ChooseCase cases[] = {
        {"x", false, false, 0},  // a single entry whatever is asked
        {"rb", false, false, 0}, // regular and bold in either order
        {"rb", true, false, 1},
        {"br", false, false, 1},
        {"br", true, false, 0},
        {"rbix", true, true, 3}, // exact matches
        {"rbix", false, true, 2},
        {"xbi", false, false, 1}, // regular: first bold-only or italic-only
        {"xib", false, false, 1},
        {"xx", false, false, 0},  // no fallback: the first entry
        {"rxbx", false, true, 3}, // italic: the last bold italic
        {"brb", false, true, 1},  // italic: else the first regular
        {"rxix", true, false, 3}, // bold: the last bold italic
        {"ir", true, false, 1},   // bold: else the first regular
        {"ri", true, false, 0},
        {"rbi", true, true, 2}, // bold italic: the last bold-only or italic-only
        {"rib", true, true, 2},
        {"rr", true, true, 0},
        {"lb", false, false, 0}, // 300 is not bold
        {"rm", true, false, 1},  // 500 is bold
    };
    for (const auto& c : cases) {
        const auto entries = family(c.styles);
        const FontEntry& chosen = chooseFontFile(entries, c.bold, c.italic);
        EXPECT_EQ(chosen.fontReference, std::to_string(c.expected))
            << c.styles << " bold=" << c.bold << " italic=" << c.italic;
    }
}

// ---- FontRegistry --------------------------------------------------------------------------

class FontRegistryTest : public ::testing::Test {
protected:
    FontRegistry buildWith(const std::vector<std::pair<std::string, std::string>>& mapping)
    {
        SettingsStore store(m_dir.path() / "settings.json");
        for (const auto& [name, path] : mapping)
            EXPECT_TRUE(store.writeSettingText(kFontsKey, name, path));
        return FontRegistry::build(store);
    }

    std::string cjkFile()
    {
        const auto registry = buildWith({});
        const auto* entries = registry.family(kCjkFamily);
        return entries ? entries->front().fontReference : std::string();
    }

    test::TempDir m_dir;
};

TEST_F(FontRegistryTest, InstalledCjkFontIsAFamilyUnderEveryName)
{
    const auto registry = buildWith({});
    const auto* english = registry.family(kCjkFamily);
    const auto* local = registry.family(kCjkLocalName);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(english->front().filePath, local->front().filePath);
    EXPECT_TRUE(english->front().filePath.ends_with(".ttc"));
    EXPECT_FALSE(english->front().mapped);
    EXPECT_TRUE(registry.isChineseCapable(kCjkFamily));
    EXPECT_TRUE(registry.isChineseCapable(kCjkLocalName));
    EXPECT_TRUE(registry.hasFontName(kCjkFamily));

    // The list offers the font once, under its Chinese name.
    const auto& names = registry.fontNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), kCjkLocalName), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), kCjkFamily), 0);
}

TEST_F(FontRegistryTest, StandardWindowsNamesResolveToTheCjkFont)
{
    const auto registry = buildWith({});
    const auto& names = registry.fontNames();
    for (const char* name : {"宋体", "黑体", "楷体", "微软雅黑"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1);
        const auto* entries = registry.family(name);
        ASSERT_NE(entries, nullptr);
        EXPECT_TRUE(registry.isChineseCapable(name));
        EXPECT_TRUE(fontSupportsText(registry, name, true));
    }
    ASSERT_NE(registry.fallbackFont(), nullptr);
    EXPECT_EQ(registry.fallbackFont()->filePath, registry.family("黑体")->front().filePath);
}

TEST_F(FontRegistryTest, FontNamesAreUniqueAndSortedInGb18030Order)
{
    const auto registry = buildWith({});
    const auto& names = registry.fontNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());

    const auto position = [&names](const std::string& name) {
        return std::find(names.begin(), names.end(), name) - names.begin();
    };
    // GB18030 order (黑 < 楷 < 宋 < 微 < 文), unlike the order of the code points.
    EXPECT_LT(position("黑体"), position("楷体"));
    EXPECT_LT(position("楷体"), position("宋体"));
    EXPECT_LT(position("宋体"), position("微软雅黑"));
    EXPECT_LT(position("微软雅黑"), position(kCjkLocalName));

    // Latin names come first, compared without regard to case.
    std::vector<std::string> latin;
    std::copy_if(
        names.begin(), names.end(), std::back_inserter(latin),
        [](const std::string& name) { return static_cast<unsigned char>(name[0]) < 0x80; });
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    for (std::size_t i = 1; i < latin.size(); ++i)
        EXPECT_LE(lower(latin[i - 1]), lower(latin[i]));
    if (!latin.empty()) {
        EXPECT_LT(position(latin.back()), position("黑体"));
    }
}

TEST_F(FontRegistryTest, MappedFonts)
{
    const std::string file = cjkFile();
    ASSERT_FALSE(file.empty());
    const auto registry = buildWith({
        {"我的字体", file},
        {kCjkFamily, kDejaVuSans},             // named like an installed family
        {"不见了", m_dir.file("missing.ttf")}, // its file is gone
        {"宋体", file},                        // takes the name from the stand-in
    });
    const auto& names = registry.fontNames();

    const auto* mine = registry.family("我的字体");
    ASSERT_NE(mine, nullptr);
    ASSERT_EQ(mine->size(), 1u);
    EXPECT_TRUE(mine->front().mapped);
    EXPECT_EQ(mine->front().fontReference, file);
    EXPECT_EQ(std::count(names.begin(), names.end(), "我的字体"), 1);

    EXPECT_FALSE(registry.family(kCjkFamily)->front().mapped);
    EXPECT_EQ(registry.family("不见了"), nullptr);
    EXPECT_EQ(std::count(names.begin(), names.end(), "不见了"), 0);

    ASSERT_NE(registry.family("宋体"), nullptr);
    EXPECT_TRUE(registry.family("宋体")->front().mapped);
    EXPECT_EQ(std::count(names.begin(), names.end(), "宋体"), 1);
}

TEST_F(FontRegistryTest, AddingAndRemovingAMappedFamily)
{
    auto registry = buildWith({});
    FontEntry entry;
    entry.family = "黑体";
    entry.fontReference = cjkFile();
    EXPECT_TRUE(registry.addMappedFamily(entry));
    EXPECT_TRUE(registry.family("黑体")->front().mapped);
    entry.family = kCjkFamily;
    EXPECT_FALSE(registry.addMappedFamily(entry));

    registry.removeMappedFamily("黑体");
    ASSERT_NE(registry.family("黑体"), nullptr); // the stand-in is back
    EXPECT_FALSE(registry.family("黑体")->front().mapped);
    registry.removeMappedFamily(kCjkFamily); // installed families stay
    EXPECT_NE(registry.family(kCjkFamily), nullptr);

    const auto& names = registry.fontNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "黑体"), 1);
}

TEST_F(FontRegistryTest, LibraryChangesLeaveEarlierSnapshotsAlone)
{
    FontLibrary library(buildWith({}));
    const auto before = library.current();
    ASSERT_TRUE(library.addMappedFamily(mappedFontEntry("我的字体", cjkFile())));
    const auto added = library.current();
    EXPECT_EQ(before->family("我的字体"), nullptr);
    EXPECT_EQ(std::count(before->fontNames().begin(), before->fontNames().end(), "我的字体"), 0);
    ASSERT_NE(added->family("我的字体"), nullptr);
    EXPECT_TRUE(added->family("我的字体")->front().mapped);

    // Refused changes make no new snapshot.
    EXPECT_FALSE(library.addMappedFamily(mappedFontEntry(kCjkFamily, cjkFile())));
    EXPECT_FALSE(library.removeMappedFamily(kCjkFamily));
    EXPECT_EQ(library.current(), added);

    ASSERT_TRUE(library.removeMappedFamily("我的字体"));
    EXPECT_NE(added->family("我的字体"), nullptr);
    EXPECT_EQ(library.current()->family("我的字体"), nullptr);
    EXPECT_NE(library.current()->family(kCjkFamily), nullptr);
}

TEST_F(FontRegistryTest, SupportCheck)
{
    const auto registry = buildWith({});
    EXPECT_TRUE(fontSupportsText(registry, kCjkFamily, true));
    EXPECT_TRUE(fontSupportsText(registry, kCjkLocalName, false));
    EXPECT_FALSE(fontSupportsText(registry, "No Such Font", false));
    EXPECT_FALSE(fontSupportsText(registry, "No Such Font", true));
    if (!hasDejaVu())
        GTEST_SKIP() << "DejaVu Sans is not installed";
    EXPECT_TRUE(fontSupportsText(registry, "DejaVu Sans", false));
    EXPECT_FALSE(fontSupportsText(registry, "DejaVu Sans", true));
}

TEST_F(FontRegistryTest, MappedFontIsMeasuredForChinese)
{
    if (!hasDejaVu())
        GTEST_SKIP() << "DejaVu Sans is not installed";
    const auto registry = buildWith({{"拉丁", kDejaVuSans}, {"中文", cjkFile()}});
    EXPECT_FALSE(registry.isChineseCapable("中文"));
    EXPECT_TRUE(fontSupportsText(registry, "中文", true));
    EXPECT_TRUE(fontSupportsText(registry, "拉丁", false));
    EXPECT_FALSE(fontSupportsText(registry, "拉丁", true));
}

} // namespace
} // namespace torvale
