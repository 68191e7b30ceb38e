#include "common/text.h"
#include "render/card.h"
#include "render/code_render.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

struct CollectingLog : LogSink {
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

class CodeLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tpl.background.width = 400;
        tpl.background.height = 300;
        tpl.output.format = OutputFormat::Png;
        tpl.output.transparent_open = false;
    }

    Layer& addCode(const char* type, std::int32_t w, std::int32_t h)
    {
        Layer layer = makeLayer(LayerType::Code, LayerLevel::AboveBackground,
                                OverflowStyle::ShrinkToFit);
        layer.x = 10;
        layer.y = 10;
        layer.width = w;
        layer.height = h;
        layer.codeType = type;
        layer.bind_col_name = "value";
        layer.fontName = "WenQuanYi Zen Hei";
        layer.fontSize = 10;
        tpl.layers = {layer};
        renumberLayers(tpl.layers);
        return tpl.layers.back();
    }

    std::string card(const CardRow& row)
    {
        log.lines.clear();
        const CardRenderer renderer(tpl, 300, test::testFonts(), {});
        const auto encoded = renderer.compose(row, tpl.output, log, stop);
        EXPECT_TRUE(encoded);
        return encoded ? std::string(encoded->bytes.begin(), encoded->bytes.end()) : std::string();
    }

    Template tpl;
    CollectingLog log;
    std::atomic<bool> stop{false};
};

TEST_F(CodeLayerTest, CodesOnTheCardReadBackAsTheirValues)
{
    const struct {
        const char* type;
        const char* value;
        const char* read;
        bool fixed;
    } cases[] = {
        {"QR", "张伟", "张伟", false},
        {"QR", "https://id.example/{工号}", "https://id.example/A0001", true},
        {"Code128", "A0001", "A0001", false},
        {"EAN13", "400638133393", "4006381333931", false},
        {"UPCA", "03600029145", "0036000291452", false}, // read as EAN-13
        {"EAN8", "1234567", "12345670", false},
        {"ITF14", "1234567890123", "12345678901231", false},
        {"Code39", "A0001", "A0001", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Layer& layer = addCode(c.type, 380, 200);
        layer.isFixed = c.fixed;
        layer.text = c.value;
        layer.codeShowText = true;
        const auto bytes = card({{"value", c.value}, {"工号", "A0001"}});
        EXPECT_EQ(test::readCodes(bytes), std::vector<std::string>{c.read});
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    }
}

TEST_F(CodeLayerTest, RotatedCodesTurnWholeAndReadBack)
{
    // The Code 128 has room for its modules only along the layer's height: laid out upright.
    const struct {
        const char* type;
        std::int32_t rotation;
        std::int32_t width;
        std::int32_t height;
    } cases[] = {{"QR", 90, 200, 260}, {"QR", 270, 260, 200}, {"Code128", 90, 100, 280}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.rotation));
        Layer& layer = addCode(c.type, c.width, c.height);
        layer.rotation = c.rotation;
        layer.codeShowText = true;
        EXPECT_EQ(test::readCodes(card({{"value", "A0001"}})), std::vector<std::string>{"A0001"});
        // The card's own reading back found it too.
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    }
}

TEST_F(CodeLayerTest, ValuesThatCannotBeDrawnAreProblemsOfTheCard)
{
    addCode("EAN13", 380, 200);
    EXPECT_TRUE(test::readCodes(card({{"value", "ABC"}})).empty());
    EXPECT_EQ(log.lines, std::vector<std::string>{"图层#1 的内容无法生成条码（只能是数字）：ABC\n"});
    card({{"value", "4006381333932"}});
    EXPECT_EQ(log.lines, std::vector<std::string>{"图层#1 的内容无法生成条码（校验位应为 1）：4006381333932\n"});

    addCode("QR", 20, 20);
    card({{"value", "A long value that needs a large QR code, far more than 20 pixels"}});
    EXPECT_EQ(log.lines, std::vector<std::string>{"图层#1 太小，放不下条码\n"});

    // A code covered by another layer does not read back.
    addCode("QR", 200, 200);
    Layer cover = makeLayer(LayerType::Picture, LayerLevel::AboveBackground,
                            OverflowStyle::FillScale);
    cover.x = 10;
    cover.y = 10;
    cover.width = cover.height = 120;
    cover.bind_col_name = "photo";
    tpl.layers.push_back(cover);
    test::TempDir dir;
    const MagickWandPtr grey = newCanvas(10, 10, "#808080");
    MagickWriteImage(grey.get(), dir.file("grey.png").c_str());
    card({{"value", "A0001"}, {"photo", dir.file("grey.png")}});
    EXPECT_EQ(log.lines, std::vector<std::string>{"图层#1 条码无法识别\n"});
}

TEST_F(CodeLayerTest, WithoutBackgroundTheCardShowsThroughWholePixelModules)
{
    tpl.background.drawingColor = 0xC0E0FF; // 0x00BBGGRR: a light orange card
    Layer& layer = addCode("QR", 150, 150);
    layer.codeBackground = "";
    const auto bytes = card({{"value", "A0001"}});
    EXPECT_EQ(test::readCodes(bytes), std::vector<std::string>{"A0001"});
    // 21 modules and 4 on each side fit 5 pixels each: 145 pixels, placed at the centre.
    const auto encoded = encodeCode(layer, "A0001");
    ASSERT_TRUE(encoded.symbol);
    EXPECT_EQ(codeModuleSize(layer, *encoded.symbol), 5);
    MagickWandPtr wand(NewMagickWand());
    MagickReadImageBlob(wand.get(), bytes.data(), bytes.size());
    unsigned char p[3];
    MagickExportImagePixels(wand.get(), 14, 14, 1, 1, "RGB", CharPixel, p); // quiet zone
    EXPECT_EQ(colorToHtml(p[0] | (p[1] << 8) | (p[2] << 16)), "#FFE0C0");
    MagickExportImagePixels(wand.get(), 12 + 4 * 5, 12 + 4 * 5, 1, 1, "RGB", CharPixel, p);
    EXPECT_EQ(p[0], 0); // a finder pattern's corner module, dark and sharp
}

} // namespace
} // namespace torvale
