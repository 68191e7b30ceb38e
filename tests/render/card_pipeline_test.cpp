#include "render/card.h"
#include "render/picture_input.h"
#include "support/test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace torvale {
namespace {

struct QuietLog : LogSink {
    void log(const std::string&) override {}
};

struct Rgba {
    int r, g, b, a;
};

// A picture file of one colour, made by the image library in a format and depth.
void writePicture(const std::string& path, const char* color, const char* format, std::size_t depth,
                  ImageType type = UndefinedType, ColorspaceType colorspace = sRGBColorspace,
                  std::size_t width = 120)
{
    const MagickWandPtr wand = newCanvas(width, width * 2 / 3, color);
    ASSERT_TRUE(wand);
    if (colorspace != sRGBColorspace)
        MagickTransformImageColorspace(wand.get(), colorspace);
    if (type != UndefinedType)
        MagickSetImageType(wand.get(), type);
    MagickSetImageDepth(wand.get(), depth);
    MagickSetImageCompressionQuality(wand.get(), 100);
    MagickSetImageFormat(wand.get(), format);
    ASSERT_NE(MagickWriteImage(wand.get(), (std::string(format) + ":" + path).c_str()),
              MagickFalse);
}

Rgba pixelAt(const RgbaPixels& pixels, std::size_t x, std::size_t y)
{
    const unsigned char* p = &pixels.bytes[(y * pixels.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

int luma(const Rgba& c)
{
    return static_cast<int>(0.212656 * c.r + 0.715158 * c.g + 0.072186 * c.b + 0.5);
}

// Every kind of picture a row may hold, drawn on every kind of card and read back from the
// written bytes: the picture's colour where it lies (over the background by its alpha), the
// background beside it.
TEST(CardPipeline, PictureKindsOnEveryOutput)
{
    test::TempDir dir;
    struct Kind {
        const char* name;
        Rgba color; // as it shows, alpha included
    };
    const Kind kinds[] = {
        {"photo.jpg", {40, 120, 200, 255}},  {"grey.jpg", {128, 128, 128, 255}},
        {"cmyk.jpg", {40, 120, 200, 255}},   {"deep.png", {40, 120, 200, 255}},
        {"palette.png", {200, 40, 60, 255}}, {"glass.png", {0, 160, 60, 128}},
        {"photo.gif", {200, 40, 60, 255}},
    };
    writePicture(dir.file("photo.jpg"), "#2878C8", "JPEG", 8);
    writePicture(dir.file("grey.jpg"), "#808080", "JPEG", 8, GrayscaleType);
    writePicture(dir.file("cmyk.jpg"), "#2878C8", "JPEG", 8, UndefinedType, CMYKColorspace);
    writePicture(dir.file("deep.png"), "#2878C8", "PNG", 16);
    writePicture(dir.file("palette.png"), "#C8283C", "PNG8", 8, PaletteType);
    writePicture(dir.file("glass.png"), "rgba(0,160,60,0.502)", "PNG", 8);
    writePicture(dir.file("photo.gif"), "#C8283C", "GIF", 8);
    // A 16-bit background picture behind the opaque cards.
    writePicture(dir.file("background.png"), "#F0E0D0", "PNG", 16, UndefinedType, sRGBColorspace,
                 150);

    struct Output {
        const char* name;
        OutputFormat format;
        OutputColorspace colorspace;
        bool transparent;
        bool png8;
        int tolerance;
    };
    const Output outputs[] = {
        {"JPEG", OutputFormat::Jpg, OutputColorspace::SRgb, false, false, 3},
        {"CMYK JPEG", OutputFormat::Jpg, OutputColorspace::Cmyk, false, false, 4},
        {"grey JPEG", OutputFormat::Jpg, OutputColorspace::Gray, false, false, 3},
        {"PNG", OutputFormat::Png, OutputColorspace::SRgb, false, false, 1},
        {"transparent PNG", OutputFormat::Png, OutputColorspace::SRgb, true, false, 1},
        {"PNG-8", OutputFormat::Png, OutputColorspace::SRgb, false, true, 3},
        {"transparent PNG-8", OutputFormat::Png, OutputColorspace::SRgb, true, true, 3},
    };
    for (const Output& output : outputs) {
        Template tpl;
        tpl.background.width = 150;
        tpl.background.height = 100;
        if (output.transparent) {
            setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);
        } else {
            ASSERT_TRUE(loadBackgroundPicture(dir.file("background.png"), tpl.background));
            tpl.background.kind = BackgroundKind::Picture;
        }
        const Rgba background = output.transparent ? Rgba{0, 0, 0, 0} : Rgba{240, 224, 208, 255};
        Layer layer =
            makeLayer(LayerType::Picture, LayerLevel::AboveBackground, OverflowStyle::FillScale);
        layer.x = 20;
        layer.y = 10;
        layer.width = 60; // half the pictures' size: every picture is scaled
        layer.height = 40;
        layer.bind_col_name = "photo";
        tpl.layers.push_back(layer);
        tpl.output.format = output.format;
        tpl.output.colorspace = output.colorspace;
        tpl.output.transparent_open = output.transparent;
        tpl.output.isSaveToPng8 = output.png8;
        tpl.output.quality = 100;
        const CardRenderer renderer(tpl, 300, test::testFonts(), dir.file("data.csv"));
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(output.name) + ", " + kind.name);
            QuietLog log;
            std::atomic<bool> stop{false};
            const auto card =
                renderer.compose({{"photo", dir.file(kind.name)}}, tpl.output, log, stop);
            ASSERT_TRUE(card);
            const DecodedPicture decoded = decodePicture(card->bytes.data(), card->bytes.size());
            ASSERT_TRUE(decoded);
            const RgbaPixels pixels = exportRgba(decoded.wand.get());
            ASSERT_EQ(pixels.width, 150u);
            // The picture over the background by its alpha, as written.
            const Rgba& c = kind.color;
            const int a = c.a + background.a * (255 - c.a) / 255;
            const auto over = [&](int s, int d) {
                return a == 0 ? 0 : (s * c.a + d * background.a * (255 - c.a) / 255) / a;
            };
            Rgba expected{over(c.r, background.r), over(c.g, background.g), over(c.b, background.b),
                          a};
            Rgba beside = background;
            if (output.colorspace == OutputColorspace::Gray) {
                expected.r = expected.g = expected.b = luma(expected);
                beside.r = beside.g = beside.b = luma(beside);
            }
            for (const auto& [at, want] : {std::pair{pixelAt(pixels, 50, 30), expected},
                                           {pixelAt(pixels, 120, 70), beside}}) {
                EXPECT_NEAR(at.a, want.a, output.tolerance);
                if (want.a == 0)
                    continue;
                EXPECT_NEAR(at.r, want.r, output.tolerance);
                EXPECT_NEAR(at.g, want.g, output.tolerance);
                EXPECT_NEAR(at.b, want.b, output.tolerance);
            }
        }
    }
}

// The blend of a half-transparent colour over half-transparent card pixels follows the "over"
// formula to the nearest level.
TEST(CardPipeline, BlendOverFollowsTheFormula)
{
    struct Case {
        std::array<std::uint8_t, 4> card, picture, result;
    };
    for (const Case& c : {
             Case{{255, 255, 255, 255}, {0, 0, 0, 128}, {127, 127, 127, 255}},
             Case{{0, 0, 0, 0}, {200, 100, 50, 128}, {200, 100, 50, 128}},
             Case{{0, 0, 255, 128}, {255, 0, 0, 128}, {170, 0, 85, 192}},
             Case{{10, 20, 30, 255}, {1, 2, 3, 0}, {10, 20, 30, 255}},
         }) {
        RgbaPixels card;
        fillPixels(card, 2, 1, c.card);
        RgbaPixels picture;
        fillPixels(picture, 1, 1, c.picture);
        blendOver(card, picture, 1, 0);
        EXPECT_EQ((std::array{card.bytes[4], card.bytes[5], card.bytes[6], card.bytes[7]}),
                  c.result);
        EXPECT_EQ((std::array{card.bytes[0], card.bytes[1], card.bytes[2], card.bytes[3]}),
                  c.card); // outside the picture
    }
}

} // namespace
} // namespace torvale
