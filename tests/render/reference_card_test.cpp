#include "batch/card_columns.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/picture_input.h"
#include "support/test_support.h"

#include "common/text.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
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

// A template read as the editor reads it, with its background picture and data file.
struct ExampleTemplate {
    Template tpl;
    std::int32_t dpi = 72;
    std::string csvPath;
};

ExampleTemplate readExample(const std::string& templatePath)
{
    ExampleTemplate example;
    const TemplateReadResult read =
        readTemplateFile(templatePath, example.tpl, 72, [](const std::string& path, bool trim) {
            return loadCsvColumns(path, trim);
        });
    EXPECT_TRUE(read.ok()) << read.message;
    example.dpi = read.dpi.value_or(72);
    if (example.tpl.background.kind == BackgroundKind::Picture) {
        EXPECT_TRUE(loadBackgroundPicture(
            resolveTemplatePath(example.tpl.background.background_path, templatePath),
            example.tpl.background));
    }
    example.csvPath = resolveTemplatePath(example.tpl.csv_file_path, templatePath);
    return example;
}

// The card rows of a template's data file, in order.
std::vector<CardRow> exampleRows(const ExampleTemplate& example)
{
    std::vector<CardRow> rows;
    std::unique_ptr<RowSource> source;
    if (openRowSource(example.csvPath, example.tpl.is_trim_csv_cell_value, source) !=
        CsvStatus::Ok) {
        ADD_FAILURE() << "cannot read " << example.csvPath;
        return rows;
    }
    const CardColumns columns(source->columns(), example.tpl);
    const auto cursor = source->rows();
    for (CsvDataRow cells; cursor->next(cells);)
        rows.push_back(columns.row(cells));
    return rows;
}

// A log that fails the test on any line but those starting with allowed.
struct StrictLog : LogSink {
    explicit StrictLog(std::string allowedStart = {}) : allowed(std::move(allowedStart)) {}
    void log(const std::string& message) override
    {
        if (allowed.empty() || message.rfind(allowed, 0) != 0)
            ADD_FAILURE() << message;
    }
    std::string allowed;
};

// The bundled example's first cards and a table of texts in each alignment, with spacing,
// bold and a clipped long name, against pictures of the expected cards. Edge pixels of text
// may change with the libraries; a layer that moves, changes size or colour, or goes missing
// fails. TORVALE_WRITE_REFERENCE=1 writes the pictures anew instead (look at them first).
TEST(ReferenceCards, CardsLookAsExpected)
{
    struct Case {
        std::string templatePath;
        std::string name;
        std::string allowedLog;
    };
    const Case cases[] = {
        {kExampleFolder + "/badge.dat", "badge", ""},
        {test::dataFile("reference/texts.dat"), "texts", "文字比图层宽"},
    };
    const bool write = std::getenv("TORVALE_WRITE_REFERENCE") != nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ExampleTemplate example = readExample(c.templatePath);
        const std::vector<CardRow> rows = exampleRows(example);
        ASSERT_GE(rows.size(), 2u);
        const CardRenderer renderer(example.tpl, example.dpi, test::testFonts(), example.csvPath);
        for (std::size_t row = 0; row < 2; ++row) {
            StrictLog log(c.allowedLog);
            std::atomic<bool> stop{false};
            const auto card = renderer.compose(rows[row], example.tpl.output, log, stop);
            ASSERT_TRUE(card);
            const std::string path =
                test::dataFile("reference/" + c.name + "-row" + std::to_string(row + 1) + ".png");
            const DecodedPicture made = decodePicture(card->bytes.data(), card->bytes.size());
            ASSERT_TRUE(made);
            if (write) {
                MagickSetImageFormat(made.wand.get(), "PNG");
                EXPECT_TRUE(MagickWriteImage(made.wand.get(), path.c_str()));
                continue;
            }
            const DecodedPicture expected = readPicture(path);
            ASSERT_TRUE(expected);
            ASSERT_EQ(made.width, expected.width);
            ASSERT_EQ(made.height, expected.height);
            const auto a = rgbOf(made.wand.get());
            const auto b = rgbOf(expected.wand.get());
            std::size_t differing = 0;
            double total = 0;
            for (std::size_t i = 0; i < a.size(); i += 3) {
                int largest = 0;
                for (std::size_t k = 0; k < 3; ++k) {
                    const int d = std::abs(int(a[i + k]) - int(b[i + k]));
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
}

// Where the example cards' texts sit: every text layer's ink box on every card is within a
// pixel of where the image library's text had it (reference/text_ink_boxes.csv). An ink box is
// found as the pixels that differ clearly between the card and the card without that layer.
TEST(ReferenceCards, ExampleTextsKeepTheirPlaces)
{
    std::ifstream boxes(test::dataFile("reference/text_ink_boxes.csv"));
    ASSERT_TRUE(boxes);
    std::map<std::pair<std::string, std::size_t>, std::array<long, 4>> expected; // by file, row
    std::map<std::string, std::set<std::size_t>> layersOf;
    for (std::string line; std::getline(boxes, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> f = splitText(line, ',');
        ASSERT_EQ(f.size(), 7u) << line;
        const std::string key = f[0] + "#" + f[2];
        expected[{key, std::stoul(f[1])}] = {std::stol(f[3]), std::stol(f[4]), std::stol(f[5]) - 1,
                                             std::stol(f[6]) - 1};
        layersOf[f[0]].insert(std::stoul(f[2]));
    }
    std::size_t compared = 0;
    for (const auto& [file, layers] : layersOf) {
        SCOPED_TRACE(file);
        const std::string folder = file == "badge.dat" ? "badge" : "staff-card";
        ExampleTemplate example =
            readExample(std::string(TORVALE_SOURCE_DIR) + "/examples/" + folder + "/" + file);
        example.tpl.output.format = OutputFormat::Png;
        const std::vector<CardRow> rows = exampleRows(example);
        const CardRenderer full(example.tpl, example.dpi, test::testFonts(), example.csvPath);
        for (const std::size_t index : layers) {
            Template without = example.tpl;
            without.layers.erase(without.layers.begin() + static_cast<std::ptrdiff_t>(index));
            const CardRenderer other(without, example.dpi, test::testFonts(), example.csvPath);
            for (std::size_t row = 0; row < rows.size(); ++row) {
                SCOPED_TRACE(testing::Message() << "layer index " << index << ", row " << row + 1);
                StrictLog log("文字");
                std::atomic<bool> stop{false};
                const RgbaPixels a = full.draw(rows[row], example.tpl.output, log, stop);
                const RgbaPixels b = other.draw(rows[row], example.tpl.output, log, stop);
                ASSERT_EQ(a.bytes.size(), b.bytes.size());
                std::array<long, 4> box{LONG_MAX, LONG_MAX, -1, -1};
                for (std::size_t i = 0; i < a.bytes.size(); i += 4) {
                    std::array<long, 3> d{};
                    for (std::size_t k = 0; k < 3; ++k)
                        d[k] = std::abs(long(a.bytes[i + k]) - long(b.bytes[i + k]));
                    // The luminance of the difference, as image tools compute it.
                    if (((d[0] * 19595 + d[1] * 38470 + d[2] * 7471 + 0x8000) >> 16) < 64)
                        continue;
                    const long x = static_cast<long>((i / 4) % a.width);
                    const long y = static_cast<long>((i / 4) / a.width);
                    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                           std::max(box[3], y)};
                }
                const auto it = expected.find({file + "#" + std::to_string(index), row + 1});
                ASSERT_NE(it, expected.end());
                for (std::size_t side = 0; side < 4; ++side)
                    EXPECT_NEAR(box[side], it->second[side], 1) << "side " << side;
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, expected.size());
}

} // namespace
} // namespace torvale
