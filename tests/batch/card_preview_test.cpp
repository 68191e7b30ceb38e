#include "batch/card_columns.h"
#include "batch/card_preview.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

TEST(CardPreview, DrawsTheRowAsPixelsAndStopsWhenAsked)
{
    test::TempDir dir;
    test::writeFile(dir.file("rows.csv"), "名字\n张三\n");
    PreviewRequest request;
    request.tpl.background.width = 64;
    request.tpl.background.height = 40;
    request.fonts = test::sharedTestFonts();
    request.csvPath = dir.file("rows.csv");

    const PreviewResult drawn = renderPreview(request);
    EXPECT_FALSE(drawn.problem);
    EXPECT_EQ(drawn.rowCount, 1u);
    ASSERT_EQ(drawn.card.bytes.size(), 64u * 40 * 4);
    EXPECT_EQ(drawn.card.bytes[0], 255); // the white canvas

    // A preview that goes while it draws gets no card, and no problem to report.
    request.stop = std::make_shared<const std::atomic<bool>>(true);
    const PreviewResult stopped = renderPreview(request);
    EXPECT_TRUE(stopped.card.empty());
    EXPECT_FALSE(stopped.problem);
}

// A fixed text's fields as every card shows them: a column of the field's name first, else
// the row's serial (serialStart plus the row's place among all data rows), padded as asked.
TEST(CardColumns, FixedTextsShowTheSerialOfTheirRow)
{
    const struct {
        const char* secondColumn;
        const char* text;
        std::size_t number;
        std::int32_t serialStart;
        const char* shown;
    } cases[] = {
        {"其他", "No.{#:0000} {名}", 3, 41, "No.0043 李"},
        {"其他", "{#}|{#:00}", 200, 0, "199|199"},
        {"#", "{#}|{#:000}", 3, 41, "x|043"},
        {"其他", "[{#:abc}][{#:}][{#:000000000000000000000}]{{#}}", 1, 1, "[][][]{#}"},
    };
    for (const auto& c : cases) {
        Template tpl;
        tpl.output.serialStart = c.serialStart;
        Layer& layer = tpl.layers.emplace_back();
        layer.isFixed = true;
        layer.text = c.text;
        const PackedStrings header{"名", c.secondColumn};
        CsvDataRow data{{"李", "x"}, c.number};
        std::string storage;
        EXPECT_EQ(*layerCell(layer, CardColumns(header, tpl).row(data), storage), c.shown);
    }
}

} // namespace
} // namespace torvale
