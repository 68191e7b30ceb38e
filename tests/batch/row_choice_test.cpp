#include "batch/row_choice.h"

#include "support/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

Layer layer(LayerType type, std::string column, bool fixed = false, std::string text = {})
{
    Layer l;
    l.type = type;
    l.bind_col_name = std::move(column);
    l.isFixed = fixed;
    l.text = std::move(text);
    return l;
}

TEST(RowChoice, ColumnsAreTheFileNameColumnsThenThoseOfTheTextLayers)
{
    Template tpl;
    tpl.output.file_name_bind_col_name = "工号";
    tpl.output.file_name_bind_col_name2 = "姓名";
    tpl.layers = {layer(LayerType::Picture, "照片"), layer(LayerType::Text, "部门"),
                  layer(LayerType::Code, "编码"), layer(LayerType::Text, "姓名"),
                  layer(LayerType::Text, "旧列", true, "{职务} {工号} {地点}")};
    EXPECT_EQ(rowChoiceColumns(tpl),
              (std::vector<std::string>{"工号", "姓名", "部门", "职务", "地点"}));
}

TEST(RowChoice, ReadsTheRowsThatMakeCardsWithTheShownCells)
{
    test::TempDir dir;
    const std::string csv = dir.file("rows.csv");
    // Row 2 is blank, row 3 has a cell too many; 姓名 is there twice (the first one counts).
    test::writeFile(csv, "工号,姓名,部门,姓名\n A1 ,甲,研发部,x\n , , ,\nA3,丙,研发部,x,y\n"
                         "A4,Ann,市场部,x\n");
    RowChoices rows;
    ASSERT_EQ(readRowChoices(csv, true, {"姓名", "缺少", "工号"}, rows), CsvStatus::Ok);
    EXPECT_EQ(rows.columns, (std::vector<std::string>{"姓名", "工号"}));
    EXPECT_EQ(rows.numbers, (std::vector<std::size_t>{1, 4}));
    EXPECT_EQ(rows.cell(0, 1), "A1");
    EXPECT_EQ(rows.cell(1, 0), "Ann");

    const struct {
        std::string text;
        std::vector<bool> contained;
    } filters[] = {{"", {true, true}},
                   {"a", {true, true}},
                   {"AN", {false, true}},
                   {"甲", {true, false}},
                   {"研发", {false, false}}};
    for (const auto& f : filters) {
        for (std::size_t row = 0; row < rows.size(); ++row)
            EXPECT_EQ(rowContains(rows, row, f.text), f.contained[row]) << f.text << " " << row;
    }

    EXPECT_EQ(readRowChoices(dir.file("gone.csv"), true, {"姓名"}, rows), CsvStatus::CannotAccess);
    EXPECT_EQ(rows.size(), 0u);
}

TEST(RowChoice, TickedRowsBecomeRangesTheBatchSelects)
{
    const struct {
        std::vector<std::size_t> numbers;
        std::vector<std::string> ranges;
    } cases[] = {
        {{}, {}},
        {{7}, {"7"}},
        {{9, 3, 4, 5, 5, 11}, {"3-5", "9", "11"}},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {"1-10"}},
    };
    for (const auto& c : cases) {
        RowSelection selection;
        selection.ranges = rowRanges(c.numbers);
        std::vector<std::string> texts;
        for (const RowRange& range : selection.ranges)
            texts.push_back(range.text);
        EXPECT_EQ(texts, c.ranges);
        if (c.numbers.empty())
            continue;
        const RowFilter filter(selection, PackedStrings{"序号"});
        for (std::size_t n = 1; n <= 12; ++n) {
            CsvDataRow row;
            row.number = n;
            row.cells = PackedStrings{std::to_string(n)};
            const bool ticked = std::find(c.numbers.begin(), c.numbers.end(), n) != c.numbers.end();
            EXPECT_EQ(filter.selects(row), ticked) << n;
        }
    }
}

} // namespace
} // namespace torvale
