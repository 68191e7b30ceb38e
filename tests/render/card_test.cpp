#include "common/settings_store.h"
#include "common/text.h"
#include "render/card.h"
#include "render/fonts.h"
#include "render/picture_input.h"
#include "support/test_support.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <lodepng.h>
#include <thread>

namespace torvale {
namespace {

using test::TempDir;

struct CollectingLog : LogSink {
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

void writePicture(const std::string& path, std::size_t width, std::size_t height, const char* color)
{
    MagickWandPtr wand = newCanvas(width, height, color);
    ASSERT_TRUE(wand);
    ASSERT_NE(MagickWriteImage(wand.get(), path.c_str()), MagickFalse);
}

struct Rgba {
    int r, g, b, a;
};

Rgba pixelAt(MagickWand* wand, long x, long y)
{
    unsigned char p[4];
    MagickExportImagePixels(wand, x, y, 1, 1, "RGBA", CharPixel, p);
    return {p[0], p[1], p[2], p[3]};
}

MagickWandPtr readBytes(const std::vector<unsigned char>& bytes)
{
    MagickWandPtr wand(NewMagickWand());
    EXPECT_NE(MagickReadImageBlob(wand.get(), bytes.data(), bytes.size()), MagickFalse);
    return wand;
}

Layer pictureLayer(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                   const std::string& column, LayerLevel level = LayerLevel::AboveBackground)
{
    Layer layer = makeLayer(LayerType::Picture, level, OverflowStyle::ShrinkToFit);
    layer.x = x;
    layer.y = y;
    layer.width = w;
    layer.height = h;
    layer.bind_col_name = column;
    return layer;
}

class CardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tpl.background.width = 120;
        tpl.background.height = 80;
        tpl.output.outputFolder = out.path().string();
        tpl.output.file_name_bind_col_name = "name";
        writePicture(dir.file("red.png"), 40, 30, "#FF0000");
    }

    std::optional<EncodedCard> compose(const CardRow& row)
    {
        const CardRenderer renderer(tpl, 300, test::testFonts(), dir.file("data.csv"));
        return renderer.compose(row, tpl.output, log, stop);
    }

    TempDir dir;
    TempDir out;
    Template tpl;
    CollectingLog log;
    std::atomic<bool> stop{false};
};

TEST_F(CardTest, PictureLayerLandsExactlyWhereItIsFitted)
{
    tpl.layers.push_back(pictureLayer(10, 20, 100, 50, "photo"));
    tpl.layers[0].pHAlign = 2;
    tpl.layers[0].pVAlign = 0;
    tpl.output.format = OutputFormat::Png;
    tpl.output.transparent_open = false;
    const auto card = compose({{"photo", dir.file("red.png")}, {"name", "a"}});
    ASSERT_TRUE(card);
    MagickWandPtr image = readBytes(card->bytes);
    // 40 x 30 is not shrunk; right / top alignment puts it at (70, 20).
    for (long y = 0; y < 80; ++y) {
        for (long x = 0; x < 120; ++x) {
            const bool inside = x >= 70 && x < 110 && y >= 20 && y < 50;
            const Rgba p = pixelAt(image.get(), x, y);
            ASSERT_EQ(p.r, 255) << x << "," << y;
            ASSERT_EQ(p.g, inside ? 0 : 255) << x << "," << y;
        }
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(CardTest, TransparencyFollowsFormatAndBackground)
{
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);

    // A transparent PNG card is transparent where nothing is drawn.
    tpl.output.format = OutputFormat::Png;
    tpl.output.transparent_open = true;
    auto card = compose({{"name", "a"}});
    ASSERT_TRUE(card);
    MagickWandPtr png = readBytes(card->bytes);
    EXPECT_EQ(pixelAt(png.get(), 5, 5).a, 0);
    EXPECT_EQ(pixelAt(png.get(), 119, 79).a, 0);

    // A JPEG card gets a white canvas whatever the transparency switch says.
    tpl.output.format = OutputFormat::Jpg;
    card = compose({{"name", "a"}});
    ASSERT_TRUE(card);
    MagickWandPtr jpg = readBytes(card->bytes);
    const Rgba p = pixelAt(jpg.get(), 60, 40);
    EXPECT_GE(p.r, 250);
    EXPECT_GE(p.g, 250);
    EXPECT_GE(p.b, 250);
}

TEST_F(CardTest, LayerBelowAnOpaqueBackgroundIsHidden)
{
    tpl.layers.push_back(pictureLayer(0, 0, 40, 30, "photo", LayerLevel::BelowBackground));
    tpl.output.format = OutputFormat::Png;
    auto card = compose({{"photo", dir.file("red.png")}});
    ASSERT_TRUE(card);
    MagickWandPtr hidden = readBytes(card->bytes);
    EXPECT_EQ(pixelAt(hidden.get(), 10, 10).g, 255);

    // Under a transparent background it shows.
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);
    card = compose({{"photo", dir.file("red.png")}});
    ASSERT_TRUE(card);
    MagickWandPtr shown = readBytes(card->bytes);
    const Rgba p = pixelAt(shown.get(), 10, 10);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.a, 255);
}

TEST_F(CardTest, PictureLayerWithAnEmptyRectangleDrawsNothing)
{
    tpl.output.format = OutputFormat::Png;
    const struct {
        std::int32_t width, height;
    } sizes[] = {{0, 30}, {40, 0}, {-5, 30}, {0, 0}};
    for (const OverflowStyle style :
         {OverflowStyle::ShrinkToFit, OverflowStyle::FillScale, OverflowStyle::CropTopLeft,
          OverflowStyle::CropCentre, OverflowStyle::ScaleToFit}) {
        for (const auto& size : sizes) {
            tpl.layers = {pictureLayer(10, 10, size.width, size.height, "photo")};
            tpl.layers[0].overflow_style = style;
            const auto card = compose({{"photo", dir.file("red.png")}});
            ASSERT_TRUE(card);
            MagickWandPtr image = readBytes(card->bytes);
            EXPECT_EQ(pixelAt(image.get(), 20, 20).g, 255)
                << static_cast<int>(style) << " " << size.width << "x" << size.height;
        }
    }
}

TEST_F(CardTest, UnreadablePictureIsLoggedAndTheCardStillMade)
{
    test::writeFile(dir.file("fake.png"), "not a picture");
    tpl.layers.push_back(pictureLayer(0, 0, 40, 30, "photo"));
    tpl.layers.push_back(pictureLayer(50, 0, 40, 30, "blank"));
    const auto card = compose({{"photo", " fake.png "}, {"blank", " \t"}});
    ASSERT_TRUE(card);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "无效图片: fake.png \n");
}

TEST_F(CardTest, RelativePictureIsFoundBesideTheCsvFile)
{
    tpl.layers.push_back(pictureLayer(0, 0, 40, 30, "photo"));
    tpl.output.format = OutputFormat::Png;
    const auto card = compose({{"photo", "red.png"}});
    ASSERT_TRUE(card);
    EXPECT_TRUE(log.lines.empty());
    MagickWandPtr image = readBytes(card->bytes);
    EXPECT_EQ(pixelAt(image.get(), 1, 1).g, 0);
}

TEST_F(CardTest, PictureBackgroundCardsAreEncodedInTheChosenFormat)
{
    writePicture(dir.file("bg.png"), 120, 80, "#3366CC");
    tpl.background.kind = BackgroundKind::Picture;
    ASSERT_TRUE(loadBackgroundPicture(dir.file("bg.png"), tpl.background));
    for (const OutputFormat format : {OutputFormat::Jpg, OutputFormat::Png}) {
        tpl.output.format = format;
        const auto card = compose({{"name", "a"}});
        ASSERT_TRUE(card);
        ASSERT_GE(card->bytes.size(), 2u);
        if (format == OutputFormat::Jpg) {
            EXPECT_EQ(card->bytes[0], 0xFF);
            EXPECT_EQ(card->bytes[1], 0xD8);
        } else {
            EXPECT_EQ(card->bytes[0], 0x89);
            EXPECT_EQ(card->bytes[1], 'P');
        }
        MagickWandPtr image = readBytes(card->bytes);
        const Rgba p = pixelAt(image.get(), 60, 40);
        EXPECT_NEAR(p.b, 0xCC, 3);
    }
}

TEST_F(CardTest, ColourLayersOnAGreyBackgroundPictureStayInColour)
{
    writePicture(dir.file("grey.jpg"), 120, 80, "#808080");
    tpl.background.kind = BackgroundKind::Picture;
    ASSERT_TRUE(loadBackgroundPicture(dir.file("grey.jpg"), tpl.background));
    tpl.layers.push_back(pictureLayer(0, 0, 40, 30, "photo"));
    for (const OutputFormat format : {OutputFormat::Jpg, OutputFormat::Png}) {
        tpl.output.format = format;
        const auto card = compose({{"photo", dir.file("red.png")}});
        ASSERT_TRUE(card);
        MagickWandPtr image = readBytes(card->bytes);
        const Rgba red = pixelAt(image.get(), 10, 10);
        EXPECT_GE(red.r, 250) << card->extension;
        EXPECT_LE(red.g, 5) << card->extension;
        EXPECT_NEAR(pixelAt(image.get(), 100, 60).g, 0x80, 2) << card->extension;
    }
}

TEST_F(CardTest, GreyJpegHasOneChannelAndResolutionIsWritten)
{
    tpl.output.colorspace = OutputColorspace::Gray;
    const auto card = compose({{"name", "a"}});
    ASSERT_TRUE(card);
    MagickWandPtr image = readBytes(card->bytes);
    EXPECT_EQ(MagickGetImageColorspace(image.get()), GRAYColorspace);
    // The JPEG frame header (SOF) declares one component.
    const auto& b = card->bytes;
    for (std::size_t i = 2; i + 9 < b.size(); ++i) {
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC1 || b[i + 1] == 0xC2)) {
            EXPECT_EQ(b[i + 9], 1);
            break;
        }
    }
    double xRes = 0;
    double yRes = 0;
    MagickGetImageResolution(image.get(), &xRes, &yRes);
    EXPECT_NEAR(xRes, 300, 0.5);

    // The same colour space on a PNG card changes nothing.
    tpl.output.format = OutputFormat::Png;
    const auto png = compose({{"name", "a"}});
    ASSERT_TRUE(png);
    EXPECT_NE(MagickGetImageColorspace(readBytes(png->bytes).get()), GRAYColorspace);
}

TEST_F(CardTest, Png8CardHasAPaletteAndKeepsTransparency)
{
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);
    tpl.layers.push_back(pictureLayer(0, 0, 40, 30, "photo"));
    tpl.output.format = OutputFormat::Png;
    tpl.output.isSaveToPng8 = true;
    tpl.output.colorCount = 4;
    const auto card = compose({{"photo", dir.file("red.png")}});
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->png8);
    LodePNGState state;
    lodepng_state_init(&state);
    unsigned char* pixels = nullptr;
    unsigned w = 0;
    unsigned h = 0;
    ASSERT_EQ(lodepng_decode(&pixels, &w, &h, &state, card->bytes.data(), card->bytes.size()), 0u);
    EXPECT_EQ(state.info_png.color.colortype, LCT_PALETTE);
    EXPECT_LE(state.info_png.color.palettesize, 4u);
    EXPECT_EQ(pixels[(5 * w + 5) * 4 + 0], 255);  // red layer
    EXPECT_EQ(pixels[(70 * w + 100) * 4 + 3], 0); // transparent elsewhere
    std::free(pixels);
    lodepng_state_cleanup(&state);

    // A JPEG card never takes the palette path.
    tpl.output.format = OutputFormat::Jpg;
    const auto jpg = compose({{"photo", dir.file("red.png")}});
    ASSERT_TRUE(jpg);
    EXPECT_FALSE(jpg->png8);
    EXPECT_EQ(jpg->extension, ".jpg");
}

TEST_F(CardTest, StopFlagMeansNoCard)
{
    stop = true;
    EXPECT_FALSE(compose({{"name", "a"}}));
}

TEST_F(CardTest, TextIsDrawnWithoutABoxAroundIt)
{
    Layer layer = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.x = 0;
    layer.y = 0;
    layer.width = 120;
    layer.height = 80;
    layer.tHAlign = 1;
    layer.bind_col_name = "name";
    tpl.layers.push_back(layer);
    tpl.output.format = OutputFormat::Png;
    tpl.output.transparent_open = false;
    const auto card = compose({{"name", "iiiiii"}});
    ASSERT_TRUE(card);
    MagickWandPtr image = readBytes(card->bytes);
    // Thin letters cover a small part of their text box; a box drawn opaque would not.
    long dark = 0;
    for (long y = 0; y < 80; ++y) {
        for (long x = 0; x < 120; ++x)
            dark += pixelAt(image.get(), x, y).r < 128 ? 1 : 0;
    }
    EXPECT_GT(dark, 20);
    EXPECT_LT(dark, 120 * 80 / 20);
}

TEST(MakeOutputName, BuildsNamesFromTheFileNameColumns)
{
    OutputSettings both;
    both.file_name_bind_col_name = "工号";
    both.file_name_bind_col_name2 = "姓名";
    EXPECT_EQ(makeOutputName({{"工号", "A1"}, {"姓名", "张 伟/二"}}, both, 1), "A1-张-伟-二");
    // A blank first cell gives the column's own name.
    EXPECT_EQ(makeOutputName({{"工号", " "}, {"姓名", "Wang"}}, both, 1), "工号-Wang");

    OutputSettings second;
    second.file_name_bind_col_name2 = "姓名";
    EXPECT_EQ(makeOutputName({{"姓名", "Li"}}, second, 3), "Li");
    EXPECT_EQ(makeOutputName({{"姓名", "Li"}}, OutputSettings{}, 3), "3");

    OutputSettings one;
    one.file_name_bind_col_name = "n";
    EXPECT_EQ(makeOutputName({{"n", std::string(70, 'x')}}, one, 1), std::string(64, 'x'));
    // Cut at 64 UTF-16 units without splitting a surrogate pair.
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::string withPair = std::string(63, 'y') + emoji;
    EXPECT_EQ(makeOutputName({{"n", withPair}}, one, 1), std::string(63, 'y'));
    EXPECT_EQ(utf16Length(
                  makeOutputName({{"n", std::string(40, 'z') + std::string(30 * 3, 'a')}}, one, 1)),
              64u);
    // No hidden cards, and "." or ".." never name the folder itself.
    EXPECT_EQ(makeOutputName({{"n", ".bashrc"}}, one, 1), "-.bashrc");
    EXPECT_EQ(makeOutputName({{"n", ".."}}, one, 1), "-..");
    EXPECT_EQ(makeOutputName({{"n", "." + std::string(70, 'x')}}, one, 1),
              "-." + std::string(62, 'x'));
    EXPECT_EQ(makeOutputName({{"n", std::string(20'000'000, 'q')}}, one, 1), std::string(64, 'q'));

    // Invisible characters name nothing: a cell of them is a blank cell, and they take no room
    // from the visible ones.
    const std::string zeroWidth = "\u200b";
    EXPECT_EQ(makeOutputName({{"工号", "\ufeff"}, {"姓名", "Wang"}}, both, 1), "工号-Wang");
    EXPECT_EQ(makeOutputName({{"工号", " \u200b\u2060 "}, {"姓名", "Wang\u200b"}}, both, 1),
              "工号-Wang");
    std::string hidden;
    for (int i = 0; i < 70; ++i)
        hidden += zeroWidth;
    EXPECT_EQ(makeOutputName({{"n", hidden + "Li"}}, one, 1), "Li");
    EXPECT_TRUE(isBlankNameCell(nullptr));
    EXPECT_TRUE(isBlankNameCell(&hidden));
    OutputSettings invisibleColumn;
    invisibleColumn.file_name_bind_col_name = "\ufeff";
    EXPECT_EQ(makeOutputName({}, invisibleColumn, 7), "7");
}

TEST(CellForLog, KeepsALogLineOnOneLine)
{
    EXPECT_EQ(cellForLog("a.jpg\n12:00:00 完成\u2028x\ufeff\ty"),
              "a.jpg\uFFFD12:00:00 完成\uFFFDx\uFFFD\ty");
    const std::string longCell = std::string(199, 'a') + "\r\n" + std::string(300, 'b');
    EXPECT_EQ(cellForLog(longCell), std::string(199, 'a') + "\uFFFD...（共 501 个字符）");
}

TEST_F(CardTest, HugeCellsAndUndrawableTextsAreLogged)
{
    Layer text = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    text.fontName = "WenQuanYi Zen Hei";
    text.x = text.y = 0;
    text.width = 100;
    text.height = 40;
    text.bind_col_name = "name";
    tpl.layers = {text, pictureLayer(0, 0, 40, 40, "photo")};

    // A cell of megabytes is cut to what the layer can show, and the echo in the log is short.
    const std::string huge(5'000'000, 'W');
    ASSERT_TRUE(compose({{"name", huge}, {"photo", huge}}));
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[0], "图层#1 的文字过长（5000000 个字符），只绘制前 656 个字符\n");
    EXPECT_EQ(log.lines[1], "无效图片:" + std::string(200, 'W') + "...（共 5000000 个字符）\n");
    EXPECT_EQ(log.lines[2], "文字比图层宽，超出的部分不会显示：图层#1\n");

    // A text that cannot be drawn at all is reported instead of leaving the layer empty.
    log.lines.clear();
    tpl.layers[0].fontSize = INT32_MAX;
    ASSERT_TRUE(compose({{"name", "王小明"}, {"photo", ""}}));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("图层#1 的文字无法绘制", 0), 0u) << log.lines[0];
}

TEST_F(CardTest, TextsAtTheirMinimumAndCharactersNoFontHasAreLoggedOncePerCard)
{
    Layer name = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    name.fontName = "WenQuanYi Zen Hei";
    name.x = name.y = 0;
    name.width = 100;
    name.height = 40;
    name.bind_col_name = "name";
    name.autoShrink = true;
    name.minFontSize = 20;
    Layer title = name;
    title.autoShrink = false;
    title.bind_col_name = "title";
    tpl.layers = {name, title};
    const CardRow row = {{"name", "Alexander Wolfeschlegel\U0010FFFD"}, {"title", "\U0010FFFD"}};
    // Drawn afresh, then from the text cache: the same lines each time.
    const CardRenderer renderer(tpl, 300, test::testFonts(), dir.file("data.csv"));
    for (int card = 0; card < 3; ++card) {
        SCOPED_TRACE(card);
        log.lines.clear();
        ASSERT_TRUE(renderer.compose(row, tpl.output, log, stop, "Alexander"));
        EXPECT_EQ(log.lines,
                  (std::vector<std::string>{"文字太长，已按最小字号绘制：图层#1（Alexander）\n",
                                            "无法显示的字符：U+10FFFD（Alexander）\n"}));
    }
}

TEST_F(CardTest, SameNameTenTimesIsNumberedAndNothingOverwritten)
{
    tpl.output.outputFolder = (out.path() / "100%").string();
    std::filesystem::create_directory(tpl.output.outputFolder);
    const CardRenderer renderer(tpl, 72, test::testFonts(), "");
    std::vector<std::string> paths;
    for (int i = 1; i <= 10; ++i) {
        const CardResult result = renderCard(renderer, {{"name", "N"}}, tpl.output,
                                             static_cast<std::size_t>(i), log, stop);
        ASSERT_EQ(result.outcome, CardOutcome::Written);
        paths.push_back(std::filesystem::path(result.path).filename().string());
    }
    EXPECT_EQ(paths.front(), "N.jpg");
    EXPECT_EQ(paths[1], "N(2).jpg");
    EXPECT_EQ(paths.back(), "N(10).jpg");
    EXPECT_TRUE(
        std::filesystem::exists(std::filesystem::path(tpl.output.outputFolder) / "N(10).jpg"));
}

TEST_F(CardTest, WriteFailuresAreLoggedAndPng8FailureStops)
{
    tpl.output.outputFolder = out.file("missing");
    const CardRenderer renderer(tpl, 72, test::testFonts(), "");
    CardResult result = renderCard(renderer, {{"name", "N"}}, tpl.output, 1, log, stop);
    EXPECT_EQ(result.outcome, CardOutcome::WriteFailed);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("写入文件 '" + out.file("missing/N.jpg") + "' 时发生错误:\r\n", 0),
              0u);
    EXPECT_FALSE(stop.load());

    tpl.output.format = OutputFormat::Png;
    tpl.output.isSaveToPng8 = true;
    result = renderCard(renderer, {{"name", "N"}}, tpl.output, 1, log, stop);
    EXPECT_EQ(result.outcome, CardOutcome::Stopped);
    ASSERT_EQ(log.lines.size(), 2u);
    // The path on the first line, the support line second, then the system's reason.
    EXPECT_EQ(log.lines[1].rfind("fopen() error: " + out.file("missing/N.png") + "\r\n---", 0),
              0u);
    EXPECT_TRUE(log.lines[1].ends_with("\r\n" + std::string(std::strerror(ENOENT)) + "\r\n"));
    EXPECT_TRUE(stop.load());
}

} // namespace
} // namespace torvale

namespace torvale {
namespace {

// The library's colour-name lookup failed now and then with several threads; a failed
// transparent canvas dropped a whole text layer from a card.
TEST(Canvas, TransparentCanvasesFromSeveralThreadsAlwaysSucceed)
{
    std::atomic<int> failures{0};
    const auto work = [&failures] {
        for (int i = 0; i < 3000; ++i) {
            if (!newCanvas(2, 2, i % 2 ? "none" : "#1A2B3C"))
                ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(work);
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);

    MagickWandPtr canvas = newCanvas(1, 1, "#1A2B3C");
    unsigned char p[4];
    MagickExportImagePixels(canvas.get(), 0, 0, 1, 1, "RGBA", CharPixel, p);
    EXPECT_EQ(p[0], 0x1A);
    EXPECT_EQ(p[1], 0x2B);
    EXPECT_EQ(p[2], 0x3C);
    EXPECT_EQ(p[3], 0xFF);
}

} // namespace
} // namespace torvale
