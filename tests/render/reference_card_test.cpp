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

// The bundled example's first cards, as the batch makes them, against pictures of the expected
// cards. JPEG noise and small changes in the libraries stay far below the tolerance; a layer
// that moves, changes size or colour, or goes missing does not.
TEST(ReferenceCards, ExampleCardsLookAsExpected)
{
    Template tpl;
    const std::string templatePath = kExampleFolder + "/badge.dat";
    const TemplateReadResult read = readTemplateFile(
        templatePath, tpl, 72, [](const std::string& path, bool trim) {
            return loadCsvColumns(path, trim);
        });
    ASSERT_TRUE(read.ok()) << read.message;
    ASSERT_TRUE(loadBackgroundPicture(
        resolveTemplatePath(tpl.background.background_path, templatePath), tpl.background));
    const std::string csvPath = resolveTemplatePath(tpl.csv_file_path, templatePath);
    const auto table = loadCsvFile(csvPath, tpl.is_trim_csv_cell_value);
    ASSERT_TRUE(table && table->rows.size() >= 2);
    const CardRenderer renderer(tpl, read.dpi.value_or(72), test::testFonts(), csvPath);

    for (std::size_t row = 0; row < 2; ++row) {
        SCOPED_TRACE(row + 1);
        struct : LogSink {
            void log(const std::string& message) override { ADD_FAILURE() << message; }
        } log;
        std::atomic<bool> stop{false};
        const auto card =
            renderer.compose(makeCardRow(table->header, table->rows[row]), tpl.output, log, stop);
        ASSERT_TRUE(card);
        const DecodedPicture made = decodePicture(card->bytes.data(), card->bytes.size());
        const DecodedPicture expected = readPicture(
            test::dataFile("reference/badge-row" + std::to_string(row + 1) + ".png"));
        ASSERT_TRUE(made && expected);
        ASSERT_EQ(made.width, expected.width);
        ASSERT_EQ(made.height, expected.height);

        const auto a = rgbOf(made.wand.get());
        const auto b = rgbOf(expected.wand.get());
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

} // namespace
} // namespace torvale
