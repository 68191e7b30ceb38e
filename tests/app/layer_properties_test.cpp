#include "app/layer_properties.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

TEST(LayerProperties, FontListPutsChineseNamesFirstInRegistryOrder)
{
    EXPECT_EQ(fontListOrder({"Arial", "黑体", "DejaVu Sans", "宋体"}),
              (std::vector<std::string>{"黑体", "宋体", "Arial", "DejaVu Sans"}));
}

TEST(LayerProperties, SizeListOffersTheUsualSizesAndKeepsAnOtherOneFirst)
{
    const auto usual = fontSizeEntries("26");
    ASSERT_EQ(usual.size(), 24u);
    EXPECT_EQ(usual.front(), "8");
    EXPECT_EQ(usual.back(), "200");
    const auto other = fontSizeEntries("27");
    ASSERT_EQ(other.size(), 25u);
    EXPECT_EQ(other.front(), "27");
    EXPECT_EQ(fontSizeEntries("").size(), 24u);
}

TEST(LayerProperties, PrintedSizeIsThePointSizeAtTheCardsDpi)
{
    // Sizes are points at the screen's 96 dpi: 40 prints at 12.8 points on a 300 dpi card.
    EXPECT_EQ(printedSizeText(40, 300), "≈ 12.8 磅（打印）");
    EXPECT_EQ(printedSizeText(8, 300), "≈ 2.6 磅（打印）");
    EXPECT_EQ(printedSizeText(12, 96), "≈ 12.0 磅（打印）");
}

TEST(LayerProperties, NumericFieldsTakeIntegersAndEmptyBelowTheMinimum)
{
    const struct {
        std::string text;
        std::int32_t minimum;
        std::optional<std::int32_t> value;
        bool clear;
    } cases[] = {
        {"", 0, std::nullopt, false}, {"-", 0, std::nullopt, false}, {"12", 0, 12, false},
        {"0", 0, 0, false},           {"0", 1, std::nullopt, true},  {"-5", 0, std::nullopt, true},
        {"-5", INT32_MIN, -5, false},
    };
    for (const auto& c : cases) {
        const NumericFieldValue value = numericFieldValue(c.text, c.minimum);
        EXPECT_EQ(value.value, c.value) << c.text;
        EXPECT_EQ(value.clearField, c.clear) << c.text;
    }
    for (const char* taken : {"-", "-12", "0", "345"})
        EXPECT_TRUE(acceptsPastedInteger(taken)) << taken;
    for (const char* refused : {"", "--1", "1-", "1.5", "a", " 1"})
        EXPECT_FALSE(acceptsPastedInteger(refused)) << refused;
}

TEST(LayerProperties, FontCheckWarnsWhenTheFontCannotShowTheDemoText)
{
    const FontRegistry& fonts = test::testFonts();
    std::string latinOnly;
    std::string chinese;
    for (const std::string& name : fonts.fontNames()) {
        if (latinOnly.empty() && fontSupportsText(fonts, name, false) &&
            !fontSupportsText(fonts, name, true))
            latinOnly = name;
        if (chinese.empty() && fontSupportsText(fonts, name, true))
            chinese = name;
    }
    if (latinOnly.empty() || chinese.empty())
        GTEST_SKIP() << "needs a Latin-only and a Chinese font";
    const auto warning = checkLayerFont(fonts, latinOnly, "王小明");
    ASSERT_TRUE(warning);
    EXPECT_EQ(warning->title, "当前字体不支持中文");
    EXPECT_FALSE(checkLayerFont(fonts, chinese, "王小明"));
    EXPECT_FALSE(checkLayerFont(fonts, latinOnly, "Wang"));
    EXPECT_FALSE(checkLayerFont(fonts, latinOnly, "  "));
    EXPECT_FALSE(checkLayerFont(fonts, "No Such Font", "王小明"));
}

TEST(LayerProperties, StandardNamesWithoutTheirStyleNameTheFontDrawn)
{
    const FontRegistry& fonts = test::testFonts();
    for (const char* name : {"宋体", "仿宋", "楷体", "黑体"}) {
        const auto standIn = fonts.standInFamily(name);
        const auto warning = checkLayerFont(fonts, name, "王小明");
        EXPECT_EQ(warning ? warning->title : "", standIn ? "当前字体未安装，使用 " + *standIn : "")
            << name;
    }
    // New layers get a font of its own style that draws Chinese.
    EXPECT_FALSE(fonts.standInFamily(newLayerFont(fonts)));
    EXPECT_TRUE(fontSupportsText(fonts, newLayerFont(fonts), true));
}

} // namespace
} // namespace torvale
