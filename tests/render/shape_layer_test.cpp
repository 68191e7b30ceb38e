#include "common/text.h"
#include "render/card.h"
#include "render/thumbnail.h"
#include "support/test_support.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace torvale {
namespace {

constexpr const char* kRed = "#FF0000";
constexpr const char* kGreen = "#00FF00";
constexpr const char* kBlue = "#0000FF";

struct NoLog : LogSink {
    void log(const std::string& message) override { ADD_FAILURE() << message; }
};

Layer makeAt(LayerType type, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h)
{
    Layer layer = makeLayer(type, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.x = x;
    layer.y = y;
    layer.width = w;
    layer.height = h;
    layer.isFixed = true;
    layer.fontName = "WenQuanYi Zen Hei";
    return layer;
}

// Cards of 120 x 80 drawn as the batch draws them.
class ShapeCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tpl.background.width = 120;
        tpl.background.height = 80;
        tpl.output.format = OutputFormat::Png;
        tpl.output.transparent_open = false;
    }
    void draw(const CardRow& row = {})
    {
        NoLog log;
        const std::atomic<bool> stop{false};
        pixels = CardRenderer(tpl, 300, test::testFonts(), {}).draw(row, tpl.output, log, stop);
        ASSERT_EQ(pixels.width, 120u);
    }
    // Whether a pixel is within two levels of a colour on every channel.
    bool near(long x, long y, const char* color) const
    {
        const unsigned char* p = &pixels.bytes[static_cast<std::size_t>(y * 120 + x) * 4];
        const std::uint32_t want = *htmlToColor(color);
        for (int c = 0; c < 3; ++c) {
            if (std::abs(p[c] - static_cast<int>((want >> (8 * c)) & 0xFF)) > 2)
                return false;
        }
        return true;
    }

    Template tpl;
    RgbaPixels pixels;
};

TEST_F(ShapeCardTest, BandFollowsTheRowsCategory)
{
    const std::pair<const char*, const char*> bands[] = {
        {"嘉宾", "#FF0000"}, {"观众", "#0000FF"}, {"工作人员", "#00FF00"}, {"媒体", "#FFFFFF"}};
    for (std::size_t i = 0; i < 3; ++i) {
        tpl.layers.push_back(makeAt(LayerType::Shape, 0, 0, 120, 20));
        tpl.layers.back().htmlColor = bands[i].second;
        tpl.layers.back().showIfColumn = "类别";
        tpl.layers.back().showIfValue = bands[i].first;
    }
    // One colour on each row, none of the others mixed in; no band for another category.
    for (const auto& [category, color] : bands) {
        ASSERT_NO_FATAL_FAILURE(draw({{"类别", category}}));
        EXPECT_TRUE(near(0, 10, color) && near(119, 19, color) && near(60, 30, "#FFFFFF"))
            << category;
    }
}

TEST_F(ShapeCardTest, OutlinesBordersOpacityAndOddSizes)
{
    tpl.background.chosenColor = 0xFF0000; // blue
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Chosen);
    struct Case {
        const char* name;
        std::function<void(Layer&)> change;
        std::vector<std::tuple<long, long, const char*>> probes;
    };
    const Case cases[] = {
        {"rounded", [](Layer& l) { l.cornerRadius = 30; }, {{1, 1, kBlue}, {60, 1, kRed}}},
        // Clamped to half the shorter side: round ends, not an ellipse.
        {"radius beyond the shape",
         [](Layer& l) { l.height = 40, l.cornerRadius = kMaxPictureEdge; },
         {{1, 1, kBlue}, {10, 5, kRed}, {60, 1, kRed}}},
        {"ellipse",
         [](Layer& l) { l.shapeKind = ShapeKind::Ellipse; },
         {{60, 40, kRed}, {3, 3, kBlue}, {116, 76, kBlue}, {60, 1, kRed}}},
        {"border only",
         [](Layer& l) { l.htmlColor = "", l.borderWidth = 5, l.borderColor = kGreen; },
         {{0, 40, kGreen}, {4, 40, kGreen}, {5, 40, kBlue}}},
        {"border beyond the shape",
         [](Layer& l) { l.borderWidth = 1000, l.borderColor = kGreen; },
         {{60, 40, kGreen}}},
        {"1 wide", [](Layer& l) { l.x = 5, l.width = 1; }, {{5, 40, kRed}, {6, 40, kBlue}}},
        {"20 000 wide",
         [](Layer& l) { l.x = -10000, l.width = 20000, l.cornerRadius = 50; },
         {{0, 40, kRed}, {119, 0, kRed}}},
        {"opacity 50", [](Layer& l) { l.opacity = 50; }, {{60, 40, "#800080"}}},
        {"opacity 250", [](Layer& l) { l.opacity = 250; }, {{60, 40, kRed}}},
    };
    for (const Case& c : cases) {
        tpl.layers = {makeAt(LayerType::Shape, 0, 0, 120, 80)};
        tpl.layers[0].htmlColor = kRed;
        c.change(tpl.layers[0]);
        ASSERT_NO_FATAL_FAILURE(draw());
        for (const auto& [x, y, color] : c.probes)
            EXPECT_TRUE(near(x, y, color)) << c.name << " " << x << "," << y;
    }
}

TEST_F(ShapeCardTest, ShapesAndCodesFollowTheirLevelTextStaysAbove)
{
    tpl.layers = {makeAt(LayerType::Shape, 0, 0, 30, 30), makeAt(LayerType::Code, 40, 0, 80, 80),
                  makeAt(LayerType::Text, 0, 40, 40, 40)};
    tpl.layers[2].text = "工";
    for (Layer& layer : tpl.layers)
        layer.layer_level = LayerLevel::BelowBackground;
    const auto inked = [this](long left, long top, long right, long bottom) {
        for (long y = top; y < bottom; ++y)
            for (long x = left; x < right; ++x)
                if (!near(x, y, "#FFFFFF"))
                    return true;
        return false;
    };
    for (const auto mode : {BackgroundColorMode::White, BackgroundColorMode::Transparent}) {
        setBackgroundColorMode(tpl.background, mode);
        ASSERT_NO_FATAL_FAILURE(draw());
        const bool shows = mode == BackgroundColorMode::Transparent;
        EXPECT_EQ(inked(0, 0, 30, 30), shows);
        EXPECT_EQ(inked(40, 0, 120, 80), shows);
        EXPECT_TRUE(inked(0, 40, 40, 80));
    }
}

TEST(ShapeThumbnail, IsTheCardsShapeSmallerForAHugeLayer)
{
    Layer shape = makeAt(LayerType::Shape, 0, 0, 30, 20);
    RgbaPixels drawn;
    ASSERT_TRUE(drawShapePixels(shape, drawn));
    EXPECT_EQ(renderLayerThumbnail(shape, test::testFonts(), {}).bytes, drawn.bytes);
    shape.width = shape.height = 20000;
    EXPECT_LE(renderLayerThumbnail(shape, test::testFonts(), {}).width, 4096u);
}

} // namespace
} // namespace torvale
