#include "batch/csv_source.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/picture_input.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

const std::string kExampleFolder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";

std::vector<unsigned char> rgbOf(MagickWand* wand)
{
    std::vector<unsigned char> rgb(MagickGetImageWidth(wand) * MagickGetImageHeight(wand) * 3);
    EXPECT_TRUE(MagickExportImagePixels(wand, 0, 0, MagickGetImageWidth(wand),
                                        MagickGetImageHeight(wand), "RGB", CharPixel, rgb.data()));
    return rgb;
}

// The cards of a template's first data rows, as the batch makes them, each beside the picture
// test data holds for it (reference/<name>-row<n>.png). A card with a log line fails.
struct ReferencePair {
    DecodedPicture made;
    DecodedPicture expected;
};

std::vector<ReferencePair> renderAgainstReference(const std::string& templatePath,
                                                  const std::string& name, std::size_t rows)
{
    std::vector<ReferencePair> pairs;
    Template tpl;
    const TemplateReadResult read = readTemplateFile(
        templatePath, tpl, 72,
        [](const std::string& path, bool trim) { return loadCsvColumns(path, trim); });
    EXPECT_TRUE(read.ok()) << read.message;
    if (tpl.background.kind == BackgroundKind::Picture) {
        EXPECT_TRUE(loadBackgroundPicture(
            resolveTemplatePath(tpl.background.background_path, templatePath), tpl.background));
    }
    const std::string csvPath = resolveTemplatePath(tpl.csv_file_path, templatePath);
    std::string text;
    if (loadCsvText(csvPath, text) != CsvStatus::Ok) {
        ADD_FAILURE() << "cannot read " << csvPath;
        return pairs;
    }
    CsvRows csvRows(text, csvFormatFor(tpl.is_trim_csv_cell_value));
    const CardColumns columns(csvRows.header(), tpl);
    const CardRenderer renderer(tpl, read.dpi.value_or(72), test::testFonts(), csvPath);
    for (std::size_t row = 0; row < rows; ++row) {
        CsvDataRow cells;
        if (!csvRows.next(cells)) {
            ADD_FAILURE() << "no row " << row + 1 << " in " << csvPath;
            return pairs;
        }
        struct : LogSink {
            void log(const std::string& message) override { ADD_FAILURE() << message; }
        } log;
        std::atomic<bool> stop{false};
        const auto card = renderer.compose(columns.row(cells.cells), tpl.output, log, stop);
        if (!card) {
            ADD_FAILURE() << "no card for row " << row + 1;
            return pairs;
        }
        pairs.push_back({decodePicture(card->bytes.data(), card->bytes.size()),
                         readPicture(test::dataFile("reference/" + name + "-row" +
                                                    std::to_string(row + 1) + ".png"))});
        const ReferencePair& pair = pairs.back();
        EXPECT_TRUE(pair.made && pair.expected);
        if (!pair.made || !pair.expected || pair.made.width != pair.expected.width ||
            pair.made.height != pair.expected.height) {
            ADD_FAILURE() << "row " << row + 1 << ": no card or another size";
            pairs.pop_back();
        }
    }
    return pairs;
}

// The bundled example's first cards against pictures of the expected cards. JPEG noise and
// small changes in the libraries stay far below the tolerance; a layer that moves, changes
// size or colour, or goes missing does not.
TEST(ReferenceCards, ExampleCardsLookAsExpected)
{
    const auto pairs = renderAgainstReference(kExampleFolder + "/badge.dat", "badge", 2);
    ASSERT_EQ(pairs.size(), 2u);
    for (const ReferencePair& pair : pairs) {
        const auto a = rgbOf(pair.made.wand.get());
        const auto b = rgbOf(pair.expected.wand.get());
        std::size_t differing = 0;
        double total = 0;
        for (std::size_t i = 0; i < a.size(); i += 3) {
            int largest = 0;
            for (std::size_t c = 0; c < 3; ++c) {
                const int d = std::abs(int(a[i + c]) - int(b[i + c]));
                largest = std::max(largest, d);
                total += d;
            }
            differing += largest > 48 ? 1 : 0;
        }
        const std::size_t pixels = a.size() / 3;
        EXPECT_LT(differing, pixels / 1000) << "pixels that differ clearly";
        EXPECT_LT(total / static_cast<double>(a.size()), 2.0) << "mean difference per channel";
    }
}

// Texts every character of which their font has, in each alignment, with spacing, bold and a
// clipped long name, drawn without the text-fitting option: exactly the pixels the renderer
// drew before fallback fonts and shrinking existed (PNG, so nothing is lost in the file).
TEST(ReferenceCards, TextsWithoutTheNewOptionsDrawTheSamePixels)
{
    const auto pairs = renderAgainstReference(test::dataFile("reference/texts.dat"), "texts", 2);
    ASSERT_EQ(pairs.size(), 2u);
    for (const ReferencePair& pair : pairs)
        EXPECT_TRUE(rgbOf(pair.made.wand.get()) == rgbOf(pair.expected.wand.get()));
}

} // namespace
} // namespace torvale
