#include "app/watermarks.h"

#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace torvale {
namespace {

TEST(WatermarkPosition, ChecksInOrderWithTheirNumbers)
{
    using Focus = WatermarkPositionCheck::Focus;
    // A 100 x 50 watermark on a 400 x 300 background.
    const struct {
        const char* x;
        const char* y;
        const char* message;
        Focus focus;
    } cases[] = {
        {"", "", "请输入x坐标", Focus::X},
        {"-1", "", "x坐标不能小于 0", Focus::X},
        {"400", "", "x坐标不能大于或等于【背景层】宽度：400", Focus::X},
        {"10", "", "请输入y坐标", Focus::Y},
        {"10", "-3", "y坐标不能小于 0", Focus::Y},
        {"10", "300", "y坐标不能大于或等于【背景层】高度：300", Focus::Y},
    };
    for (const auto& c : cases) {
        const WatermarkPositionCheck check = checkWatermarkPosition(c.x, c.y, 100, 50, 400, 300);
        EXPECT_EQ(check.message, std::optional<std::string>(c.message)) << c.x << "," << c.y;
        EXPECT_EQ(check.focus, c.focus) << c.x << "," << c.y;
    }
    const WatermarkPositionCheck fits = checkWatermarkPosition("300", "250", 100, 50, 400, 300);
    EXPECT_FALSE(fits.message);
    EXPECT_EQ(fits.x, 300);
    EXPECT_EQ(fits.y, 250);
}

TEST(WatermarkPosition, PastTheEdgeMessagesKeepTheirLayout)
{
    const std::string x = *checkWatermarkPosition("301", "0", 100, 50, 400, 300).message;
    const std::string expected =
        "x坐标  +  水印宽度  >  【背景层】宽度\n"
        "\uFE63\uFE63\uFE63\uFE63\uFE63\uFE63\uFE63\uFE63\uFE63\u3000   "
        "\uFE63\uFE63\uFE63\uFE63\uFE63\uFE63\uFE63\n"
        "\u3000  \u3000401\u3000\u3000\u3000\u3000  \u3000\u3000\u3000\u3000400\n"
        "\n"
        "提示：x坐标需要设置小一些。";
    EXPECT_EQ(x, expected);
    const std::string y = *checkWatermarkPosition("0", "251", 100, 50, 400, 300).message;
    EXPECT_EQ(y.substr(0, y.find('\n')), "y坐标  +  水印高度  >  【背景层】高度");
    EXPECT_NE(y.find("\u3000301\u3000"), std::string::npos);
    EXPECT_TRUE(y.ends_with("提示：y坐标需要设置小一些。"));
}

TEST(WatermarkList, NumbersFollowTheListAfterInsertAndRemove)
{
    WatermarkList list;
    const auto a = list.insert(0, {});
    const auto b = list.insert(5, {});
    const auto c = list.insert(1, {});
    std::vector<std::pair<std::uint32_t, std::int32_t>> shown;
    for (const Watermark& w : list.items())
        shown.emplace_back(w.id, w.number);
    EXPECT_EQ(shown, (std::vector<std::pair<std::uint32_t, std::int32_t>>{{a, 1}, {c, 2}, {b, 3}}));
    EXPECT_EQ(list.remove(c), 1u);
    EXPECT_EQ(list.find(b)->number, 2);
    EXPECT_FALSE(list.remove(c));
}

TEST(WatermarkPicture, ExtensionAndContentAreChecked)
{
    test::TempDir dir;
    const std::string png = dir.file("mark.JPG"); // PNG content under a JPEG name is fine
    std::filesystem::copy_file(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/background.png",
                               png);
    const std::string bmp = dir.file("mark.gif");
    test::writeFile(bmp, "BM not really a picture");

    EXPECT_FALSE(watermarkExtensionProblem(png));
    EXPECT_EQ(watermarkExtensionProblem("a.bmp"),
              "水印图片 'a.bmp' 格式不对，请重新选择。\n\n支持的格式: png, jpg, gif");
    const WatermarkPicture good = checkWatermarkPicture(png);
    EXPECT_FALSE(good.problem);
    EXPECT_EQ(good.width, 1011);
    EXPECT_EQ(good.height, 638);
    EXPECT_EQ(checkWatermarkPicture(bmp).problem,
              "水印图片 '" + bmp + "' 内部数据格式不符合要求，请重新选择");
}

} // namespace
} // namespace torvale
