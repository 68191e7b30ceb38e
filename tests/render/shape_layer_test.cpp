#include "common/text.h"
#include "render/card.h"
#include "render/fonts.h"
#include "render/thumbnail.h"
#include "support/test_support.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace torvale {
namespace {

constexpr long kWidth = 120;
constexpr long kHeight = 80;

struct CollectingLog : LogSink {
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

Layer shapeLayer(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                 const char* fill)
{
    Layer layer = makeLayer(LayerType::Shape, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.x = x;
    layer.y = y;
    layer.width = w;
    layer.height = h;
    layer.htmlColor = fill;
    return layer;
}

// A pixel as "#RRGGBB" and its alpha.
struct Pixel {
    std::string color;
    int alpha = 0;
};

class ShapeCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tpl.background.width = kWidth;
        tpl.background.height = kHeight;
        tpl.output.format = OutputFormat::Png;
        tpl.output.transparent_open = false;
    }

    bool drawCard(const CardRow& row = {})
    {
        const CardRenderer renderer(tpl, 300, test::testFonts(), {});
        pixels = renderer.draw(row, tpl.output, log, stop);
        return pixels.width == static_cast<std::size_t>(kWidth);
    }

    Pixel at(long x, long y) const
    {
        const unsigned char* p = &pixels.bytes[static_cast<std::size_t>(y * kWidth + x) * 4];
        return {colorToHtml(p[0] | (p[1] << 8) | (p[2] << 16)), p[3]};
    }

    Template tpl;
    RgbaPixels pixels;
    CollectingLog log;
    std::atomic<bool> stop{false};
};

TEST_F(ShapeCardTest, BandFollowsTheRowsCategory)
{
    const std::pair<const char*, const char*> bands[] = {
        {"嘉宾", "#FF0000"}, {"观众", "#0000FF"}, {"工作人员", "#00FF00"}};
    for (const auto& [category, color] : bands) {
        Layer band = shapeLayer(0, 0, kWidth, 20, color);
        band.showIfColumn = "类别";
        band.showIfValue = category;
        tpl.layers.push_back(band);
    }
    const std::pair<const char*, const char*> rows[] = {
        {"嘉宾", "#FF0000"}, {"观众", "#0000FF"}, {"工作人员", "#00FF00"}, {"媒体", "#FFFFFF"}};
    for (const auto& [category, color] : rows) {
        SCOPED_TRACE(category);
        ASSERT_TRUE(drawCard({{"类别", category}}));
        // Each band covers the others' place exactly: one colour shows, none mixed in.
        for (const long x : {0L, 60L, kWidth - 1})
            EXPECT_EQ(at(x, 10).color, color) << x;
        EXPECT_EQ(at(60, 30).color, "#FFFFFF");
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(ShapeCardTest, OutlinesBordersAndOpacity)
{
    tpl.background.chosenColor = 0xFF0000; // blue (0x00BBGGRR)
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Chosen);
    struct Probe {
        long x, y;
        const char* color;
    };
    struct Case {
        const char* name;
        std::function<void(Layer&)> change;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"rounded rectangle",
         [](Layer& l) { l.cornerRadius = 30; },
         {{1, 1, "#0000FF"}, {118, 78, "#0000FF"}, {60, 1, "#FF0000"}, {60, 40, "#FF0000"}}},
        // Clamped to half the shorter side: round ends, not an ellipse.
        {"radius larger than the shape",
         [](Layer& l) {
             l.height = 40;
             l.cornerRadius = kMaxPictureEdge;
         },
         {{1, 1, "#0000FF"}, {10, 5, "#FF0000"}, {60, 1, "#FF0000"}, {60, 45, "#0000FF"}}},
        {"ellipse",
         [](Layer& l) { l.shapeKind = ShapeKind::Ellipse; },
         {{60, 40, "#FF0000"}, {3, 3, "#0000FF"}, {116, 76, "#0000FF"}, {60, 1, "#FF0000"}}},
        {"border inside the outline, no fill",
         [](Layer& l) {
             l.htmlColor.clear();
             l.borderWidth = 5;
             l.borderColor = "#00FF00";
         },
         {{0, 40, "#00FF00"}, {4, 40, "#00FF00"}, {5, 40, "#0000FF"}, {60, 40, "#0000FF"}}},
        {"border wider than the shape",
         [](Layer& l) {
             l.borderWidth = 1000;
             l.borderColor = "#00FF00";
         },
         {{60, 40, "#00FF00"}, {0, 0, "#00FF00"}}},
        {"one pixel wide",
         [](Layer& l) {
             l.x = 5;
             l.width = 1;
         },
         {{5, 40, "#FF0000"}, {4, 40, "#0000FF"}, {6, 40, "#0000FF"}}},
        // Only the part on the card is made.
        {"20 000 wide",
         [](Layer& l) {
             l.x = -10000;
             l.width = 20000;
             l.cornerRadius = 50;
         },
         {{0, 40, "#FF0000"}, {kWidth - 1, 0, "#FF0000"}}},
        {"opacity 50 over blue", [](Layer& l) { l.opacity = 50; }, {{60, 40, "#800080"}}},
        {"opacity out of range", [](Layer& l) { l.opacity = 250; }, {{60, 40, "#FF0000"}}},
        {"opacity 0", [](Layer& l) { l.opacity = 0; }, {{60, 40, "#0000FF"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layer shape = shapeLayer(0, 0, kWidth, kHeight, "#FF0000");
        c.change(shape);
        tpl.layers = {shape};
        ASSERT_TRUE(drawCard());
        for (const Probe& probe : c.probes) {
            const Pixel p = at(probe.x, probe.y);
            const auto want = *htmlToColor(probe.color);
            const auto got = *htmlToColor(p.color);
            // Within a level or two of each channel (the opacity's rounding).
            for (int shift : {0, 8, 16})
                EXPECT_LE(std::abs(static_cast<int>((want >> shift) & 0xFF) -
                                   static_cast<int>((got >> shift) & 0xFF)),
                          2)
                    << probe.x << "," << probe.y << " " << p.color;
        }
    }
}

TEST_F(ShapeCardTest, ShapesAndCodesFollowTheirLevelTextsStayAbove)
{
    Layer shape = shapeLayer(0, 0, 30, 30, "#FF0000");
    Layer code =
        makeLayer(LayerType::Code, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    code.x = 40;
    code.y = 0;
    code.width = code.height = 80;
    code.isFixed = true;
    Layer text = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    text.x = 0;
    text.y = 40;
    text.width = text.height = 40;
    text.isFixed = true;
    text.text = "工";
    text.fontName = "WenQuanYi Zen Hei";
    for (Layer* layer : {&shape, &code, &text})
        layer->layer_level = LayerLevel::BelowBackground;
    tpl.layers = {shape, code, text};
    // Whether any pixel of a rectangle is not the background's white.
    const auto inked = [this](long left, long top, long right, long bottom) {
        for (long y = top; y < bottom; ++y)
            for (long x = left; x < right; ++x)
                if (at(x, y).color != "#FFFFFF")
                    return true;
        return false;
    };
    for (const bool transparent : {false, true}) {
        SCOPED_TRACE(transparent ? "transparent background" : "opaque background");
        setBackgroundColorMode(tpl.background, transparent ? BackgroundColorMode::Transparent
                                                           : BackgroundColorMode::White);
        ASSERT_TRUE(drawCard());
        EXPECT_EQ(inked(0, 0, 30, 30), transparent);
        EXPECT_EQ(inked(40, 0, kWidth, kHeight), transparent);
        EXPECT_TRUE(inked(0, 40, 40, kHeight));
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    }
}

TEST(ShapeThumbnail, IsTheCardsShapeAndStaysSmallForAHugeLayer)
{
    Layer shape = shapeLayer(0, 0, 30, 20, "#FF0000");
    shape.shapeKind = ShapeKind::Ellipse;
    const Thumbnail small = renderLayerThumbnail(shape, test::testFonts(), {});
    RgbaPixels drawn;
    ASSERT_TRUE(drawShapePixels(shape, drawn));
    EXPECT_EQ(small.bytes, drawn.bytes);

    shape.width = 20000;
    shape.height = 20000;
    const Thumbnail huge = renderLayerThumbnail(shape, test::testFonts(), {});
    EXPECT_LE(huge.width, 4096u);
    EXPECT_EQ(huge.width, huge.height);

    shape.htmlColor.clear();
    EXPECT_TRUE(renderLayerThumbnail(shape, test::testFonts(), {}).empty());
}

} // namespace
} // namespace torvale
