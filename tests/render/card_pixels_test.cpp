#include "batch/csv_source.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/card_pixels.h"
#include "render/picture_input.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

struct QuietLog : LogSink {
    void log(const std::string&) override {}
};

// Channels of two cards more than 2 levels apart, where either pixel shows (a colour under
// alpha 0 is not seen); the largest difference in largest.
std::size_t channelsApart(const RgbaPixels& a, const RgbaPixels& b, int& largest)
{
    std::size_t apart = 0;
    largest = 0;
    for (std::size_t i = 0; i < a.bytes.size(); i += 4) {
        const bool seen = a.bytes[i + 3] != 0 || b.bytes[i + 3] != 0;
        for (std::size_t c = seen ? 0 : 3; c < 4; ++c) {
            const int d = std::abs(int(a.bytes[i + c]) - int(b.bytes[i + c]));
            largest = std::max(largest, d);
            apart += d > 2 ? 1 : 0;
        }
    }
    return apart;
}

// Each row's card drawn by the image library and in 8-bit buffers: within 2 levels on all but
// a thousandth of the channels.
void expectSamePixels(const Template& tpl, const std::string& csvPath,
                      const std::vector<CardRow>& rows)
{
    const CardRenderer renderer(tpl, 300, test::testFonts(), csvPath);
    ASSERT_TRUE(renderer.drawsInBuffers(tpl.output));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QuietLog log;
        std::atomic<bool> stop{false};
        const MagickWandPtr drawn = renderer.draw(rows[i], tpl.output, log, stop);
        ASSERT_TRUE(drawn);
        const RgbaPixels library = exportRgba(drawn.get());
        const RgbaPixels buffered = renderer.drawPixels(rows[i], tpl.output, log, stop);
        ASSERT_EQ(library.width, buffered.width);
        ASSERT_EQ(library.height, buffered.height);
        int largest = 0;
        const std::size_t apart = channelsApart(library, buffered, largest);
        EXPECT_LE(apart, library.bytes.size() / 1000) << "row " << i + 1 << ", largest " << largest;
    }
}

Template readExample(const std::string& path, std::string& csvPath)
{
    Template tpl;
    const TemplateReadResult read =
        readTemplateFile(path, tpl, 300, [](const std::string& csv, bool trim) {
            return loadCsvColumns(csv, trim);
        });
    EXPECT_TRUE(read.ok()) << read.message;
    if (tpl.background.kind == BackgroundKind::Picture) {
        EXPECT_TRUE(loadBackgroundPicture(resolveTemplatePath(tpl.background.background_path, path),
                                          tpl.background));
    }
    csvPath = resolveTemplatePath(tpl.csv_file_path, path);
    return tpl;
}

std::vector<CardRow> firstRows(const Template& tpl, const std::string& csvPath, std::size_t count)
{
    std::string text;
    EXPECT_EQ(loadCsvText(csvPath, text), CsvStatus::Ok);
    CsvRows csvRows(text, csvFormatFor(true));
    const CardColumns columns(csvRows.header(), tpl);
    std::vector<CardRow> rows;
    CsvDataRow row;
    while (rows.size() < count && csvRows.next(row))
        rows.push_back(columns.row(row.cells));
    return rows;
}

TEST(EightBitCards, ExamplesDrawTheSamePixelsAsTheLibrary)
{
    for (const char* example : {"badge/badge.dat", "staff-card/staff-card.dat"}) {
        SCOPED_TRACE(example);
        std::string csvPath;
        const Template tpl =
            readExample(std::string(TORVALE_SOURCE_DIR) + "/examples/" + example, csvPath);
        expectSamePixels(tpl, csvPath, firstRows(tpl, csvPath, 6));
    }
}

// The JPEG of the example's first card, encoded here and by the image library with the card
// writer's settings: the same bytes, in both samplings.
TEST(EightBitCards, JpegWritesTheLibrarysBytes)
{
    std::string csvPath;
    const Template tpl =
        readExample(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/badge.dat", csvPath);
    const CardRenderer renderer(tpl, 300, test::testFonts(), csvPath);
    QuietLog log;
    std::atomic<bool> stop{false};
    const RgbaPixels pixels =
        renderer.drawPixels(firstRows(tpl, csvPath, 1).at(0), tpl.output, log, stop);
    for (const int quality : {90, 75}) {
        std::vector<unsigned char> ours;
        ASSERT_TRUE(encodeJpeg(pixels, quality, 300, ours));
        MagickWandPtr wand = newCanvas(pixels.width, pixels.height, "#ffffff");
        ASSERT_NE(MagickImportImagePixels(wand.get(), 0, 0, pixels.width, pixels.height, "RGBA",
                                          CharPixel, pixels.bytes.data()),
                  MagickFalse);
        MagickSetImageAlphaChannel(wand.get(), DeactivateAlphaChannel);
        MagickSetImageUnits(wand.get(), PixelsPerInchResolution);
        MagickSetImageResolution(wand.get(), 300, 300);
        MagickSetImageFormat(wand.get(), "JPEG");
        MagickSetImageCompressionQuality(wand.get(), static_cast<std::size_t>(quality));
        MagickSetOption(wand.get(), "jpeg:optimize-coding", "false");
        MagickSetImageDepth(wand.get(), 8);
        std::size_t length = 0;
        MagickMemoryPtr<unsigned char> blob(MagickGetImageBlob(wand.get(), &length));
        ASSERT_TRUE(blob);
        EXPECT_TRUE(std::vector<unsigned char>(blob.get(), blob.get() + length) == ours)
            << "quality " << quality << ": " << length << " bytes against " << ours.size();
    }
}

// Alpha edges (text, a round framed picture, a half-transparent picture), a picture partly
// off the card, a layer under a half-transparent background, on transparent and opaque cards.
TEST(EightBitCards, AlphaEdgesAndPicturesOffTheCardDrawTheSamePixels)
{
    test::TempDir dir;
    const auto writePicture = [&](const std::string& name, const char* color) {
        const MagickWandPtr wand = newCanvas(90, 70, color);
        ASSERT_NE(MagickWriteImage(wand.get(), dir.file(name).c_str()), MagickFalse);
    };
    writePicture("photo.png", "#3080c0");
    writePicture("glass.png", "rgba(0,160,60,0.5)");
    const auto layer = [](LayerType type, std::int32_t x, std::int32_t y, const std::string& column,
                          LayerLevel level = LayerLevel::AboveBackground) {
        Layer made = makeLayer(type, level, OverflowStyle::ShrinkToFit);
        made.x = x;
        made.y = y;
        made.width = 120;
        made.height = 90;
        made.bind_col_name = column;
        return made;
    };
    struct Case {
        const char* name;
        bool tintedBackground; // a 40 % opaque background picture; else a transparent canvas
        OutputFormat format;
        bool transparent;
    };
    for (const Case& c : {Case{"transparent PNG", false, OutputFormat::Png, true},
                          Case{"tinted PNG", true, OutputFormat::Png, true},
                          Case{"tinted opaque PNG", true, OutputFormat::Png, false},
                          Case{"tinted JPEG", true, OutputFormat::Jpg, false}}) {
        SCOPED_TRACE(c.name);
        Template tpl;
        tpl.background.width = 300;
        tpl.background.height = 200;
        if (c.tintedBackground) {
            const MagickWandPtr tint = newCanvas(300, 200, "rgba(200,30,30,0.4)");
            ASSERT_NE(MagickWriteImage(tint.get(), dir.file("background.png").c_str()),
                      MagickFalse);
            ASSERT_TRUE(loadBackgroundPicture(dir.file("background.png"), tpl.background));
            tpl.background.kind = BackgroundKind::Picture;
        } else {
            setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);
        }
        tpl.output.format = c.format;
        tpl.output.transparent_open = c.transparent;
        tpl.layers.push_back(layer(LayerType::Picture, -40, 20, "photo"));
        tpl.layers.back().cornerRadius = 30;
        tpl.layers.back().borderWidth = 3;
        tpl.layers.back().borderColor = "#202020";
        tpl.layers.push_back(layer(LayerType::Picture, 230, 150, "glass"));
        tpl.layers.push_back(
            layer(LayerType::Picture, 100, 60, "photo", LayerLevel::BelowBackground));
        tpl.layers.push_back(layer(LayerType::Text, 60, 10, "name"));
        tpl.layers.back().fontSize = 40;
        tpl.layers.back().htmlColor = "#1A4FA0";
        expectSamePixels(tpl, dir.file("data.csv"),
                         {{{"photo", dir.file("photo.png")},
                           {"glass", dir.file("glass.png")},
                           {"name", "王小明 Wang"}}});
    }
}

} // namespace
} // namespace torvale
