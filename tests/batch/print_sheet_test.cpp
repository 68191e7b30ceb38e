#include "batch/print_sheet.h"
#include "render/magick.h"
#include "support/test_support.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>

namespace torvale {
namespace {

using test::folderContent;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

class CountingListener : public BatchListener {
public:
    void log(const std::string& message) override { logs.push_back(message); }
    void batchTotal(std::size_t) override {}
    void batchStep(std::size_t n) override
    {
        if (n == stopAt)
            stop->store(true);
    }

    std::size_t stopAt = 0;
    std::atomic<bool>* stop = nullptr;
    std::vector<std::string> logs;
};

// A 64 x 40 card at 96 dpi (16.9 x 10.6 mm) in one colour (0x00BBGGRR), without layers.
Template plainCard(std::uint32_t color, OutputFormat format)
{
    Template tpl;
    tpl.background.kind = BackgroundKind::Custom;
    tpl.background.colorMode = BackgroundColorMode::Chosen;
    tpl.background.chosenColor = color;
    tpl.background.drawingColor = color;
    tpl.background.width = 64;
    tpl.background.height = 40;
    tpl.output.format = format;
    return tpl;
}

class PrintSheetTest : public ::testing::Test {
protected:
    // On paper of 40 x 30 mm with 2 mm margins: 2 x 2 cards a page.
    SheetLayout layout() const
    {
        SheetSettings settings;
        settings.paper = *parsePaper("40x30");
        settings.orientation = SheetOrientation::Portrait;
        settings.margin = 2;
        return *layoutCards(options.tpl, options.dpi, settings).layout;
    }

    // The cards of rows data rows laid out as layout() does, or as sheet says.
    SheetSummary run(std::size_t rows, const SheetLayout* sheet = nullptr)
    {
        std::string csv = "name\n";
        for (std::size_t i = 1; i <= rows; ++i)
            csv += "n" + std::to_string(i) + "\n";
        writeFile(dir.file("data.csv"), csv);
        options.csvPath = dir.file("data.csv");
        options.dpi = 96;
        options.fonts = test::sharedTestFonts();
        options.jobs = 2;
        listener.stop = &stop;
        return runSheet(options, sheet ? *sheet : layout(), out.file("sheet.pdf"), listener, stop);
    }

    // The colour at a point (mm) of a page, rendered at 254 dpi (10 pixels a millimetre).
    std::array<unsigned, 3> colorAt(const std::string& pdf, int page, double x, double y)
    {
        const std::string prefix = dir.file("page");
        const auto r =
            runCommand("pdftoppm -r 254 -singlefile -f " + std::to_string(page) + " -l " +
                       std::to_string(page) + " " + shellQuote(pdf) + " " + shellQuote(prefix));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        MagickWandPtr wand(NewMagickWand());
        EXPECT_NE(MagickReadImage(wand.get(), (prefix + ".ppm").c_str()), MagickFalse);
        std::array<unsigned char, 3> rgb{};
        MagickExportImagePixels(wand.get(), static_cast<long>(x * 10), static_cast<long>(y * 10), 1,
                                1, "RGB", CharPixel, rgb.data());
        return {rgb[0], rgb[1], rgb[2]};
    }

    TempDir dir;
    TempDir out;
    BatchOptions options;
    CountingListener listener;
    std::atomic<bool> stop{false};
};

constexpr std::uint32_t kBlue = 0xFF0000;
constexpr std::uint32_t kRed = 0x0000FF;
const std::array<unsigned, 3> kBlueRgb = {0, 0, 255};
const std::array<unsigned, 3> kRedRgb = {255, 0, 0};
const std::array<unsigned, 3> kWhiteRgb = {255, 255, 255};

// Colours within the rounding of JPEG.
bool near(const std::array<unsigned, 3>& a, const std::array<unsigned, 3>& b)
{
    for (std::size_t i = 0; i < 3; ++i) {
        if (a[i] + 8 < b[i] || b[i] + 8 < a[i])
            return false;
    }
    return true;
}

TEST_F(PrintSheetTest, BacksFollowTheirFrontsMirroredAndPngCardsAreDrawn)
{
    options.tpl = plainCard(kBlue, OutputFormat::Png);
    options.backTpl = plainCard(kRed, OutputFormat::Jpg);
    options.backDpi = 96;
    const SheetSummary summary = run(5);
    ASSERT_EQ(summary.error, "");
    EXPECT_EQ(summary.batch.written, 5u);
    EXPECT_EQ(summary.pages, 4u); // fronts, backs, fronts, backs
    EXPECT_EQ(summary.path, out.file("sheet.pdf"));

    // The fifth card is alone on the third page, at the left; its back is on the right.
    const SheetLayout sheet = layout();
    const auto centre = [&](int place, bool back) {
        const SheetRect r = sheet.place(place, back);
        return std::pair{r.x + r.width / 2, r.y + r.height / 2};
    };
    const auto [leftX, topY] = centre(0, false);
    const auto [rightX, rightY] = centre(1, false);
    EXPECT_TRUE(near(colorAt(summary.path, 3, leftX, topY), kBlueRgb));
    EXPECT_TRUE(near(colorAt(summary.path, 3, rightX, rightY), kWhiteRgb));
    EXPECT_TRUE(near(colorAt(summary.path, 4, leftX, topY), kWhiteRgb));
    EXPECT_TRUE(near(colorAt(summary.path, 4, rightX, rightY), kRedRgb));
    EXPECT_EQ(centre(0, true).first, rightX);
}

TEST_F(PrintSheetTest, BacksTakeMemoryForTheCardsPlacedOnly)
{
    options.tpl = plainCard(kBlue, OutputFormat::Jpg);
    options.backTpl = plainCard(kRed, OutputFormat::Jpg);
    options.dpi = 96;
    options.backDpi = 96;
    // Places far beyond a 32-bit count (layoutSheet refuses such a layout; the writer must not
    // size anything by it either).
    SheetLayout huge = layout();
    huge.columns = 50000;
    huge.rows = 50000;
    const SheetSummary summary = run(2, &huge);
    ASSERT_EQ(summary.error, "");
    EXPECT_EQ(summary.batch.written, 2u);
    EXPECT_EQ(summary.pages, 2u); // the fronts, then their backs
    const SheetRect second = huge.place(1);
    EXPECT_TRUE(near(colorAt(summary.path, 1, second.x + 1, second.y + 1), kBlueRgb));
}

TEST_F(PrintSheetTest, CmykCardsKeepTheirColours)
{
    // Drawn from decoded pixels: embedded as they are, a reader would show their negative.
    options.tpl = plainCard(kBlue, OutputFormat::Jpg);
    options.tpl.output.colorspace = OutputColorspace::Cmyk;
    const SheetSummary summary = run(1);
    ASSERT_EQ(summary.error, "");
    const SheetRect place = layout().place(0);
    const auto seen = colorAt(summary.path, 1, place.x + place.width / 2, place.y + 2);
    EXPECT_LT(seen[0], 60u);
    EXPECT_LT(seen[1], 60u);
    EXPECT_GT(seen[2], 180u);
}

TEST_F(PrintSheetTest, StopLeavesNoFile)
{
    options.tpl = plainCard(kBlue, OutputFormat::Jpg);
    listener.stopAt = 6; // after the first page was written
    const SheetSummary summary = run(40);
    EXPECT_TRUE(summary.batch.stopped);
    EXPECT_EQ(summary.path, "");
    EXPECT_EQ(summary.error, "");
    EXPECT_TRUE(folderContent(out.path()).empty());
}

TEST_F(PrintSheetTest, NoRowsMakeNoFile)
{
    options.tpl = plainCard(kBlue, OutputFormat::Jpg);
    const SheetSummary summary = run(0);
    EXPECT_FALSE(summary.batch.stopped);
    EXPECT_EQ(summary.path, "");
    EXPECT_EQ(summary.error, "没有可以排版的卡片，未生成PDF文件");
    EXPECT_TRUE(folderContent(out.path()).empty());
}

} // namespace
} // namespace torvale
