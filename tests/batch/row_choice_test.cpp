#include "batch/row_choice.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace torvale {
namespace {

TEST(RowChoice, ColumnsAreTheFileNameColumnsThenThoseOfTheTextLayers)
{
    Template tpl;
    tpl.output.file_name_bind_col_name = "工号";
    tpl.output.file_name_bind_col_name2 = "姓名";
    for (const auto& [type, column, text] : {std::tuple{LayerType::Picture, "照片", ""},
                                             {LayerType::Text, "部门", ""},
                                             {LayerType::Code, "编码", ""},
                                             {LayerType::Text, "姓名", ""},
                                             {LayerType::Text, "旧列", "{职务} {工号} {地点}"}}) {
        Layer& layer = tpl.layers.emplace_back();
        layer.type = type;
        layer.bind_col_name = column;
        layer.isFixed = text[0] != '\0'; // a fixed text reads no bound column
        layer.text = text;
    }
    EXPECT_EQ(rowChoiceColumns(tpl),
              (std::vector<std::string>{"工号", "姓名", "部门", "职务", "地点"}));
}

TEST(RowChoice, RowsThatMakeCardsWithTheShownCells)
{
    test::TempDir dir;
    const std::string csv = dir.file("rows.csv");
    // Row 2 is blank, row 3 has a cell too many; of the two 姓名 the first counts.
    test::writeFile(csv, "工号,姓名,部门,姓名\n A1 ,甲,研发部,x\n , , ,\nA3,丙,研发部,x,y\n"
                         "A4,Ann,市场部,x\n");
    RowChoices rows;
    ASSERT_EQ(readRowChoices(csv, true, {"姓名", "缺少", "工号"}, rows), CsvStatus::Ok);
    EXPECT_EQ(rows.columns, (std::vector<std::string>{"姓名", "工号"}));
    EXPECT_EQ(rows.numbers, (std::vector<std::size_t>{1, 4}));
    EXPECT_EQ(rows.cell(0, 1), "A1");
    // Letters in either case; columns not shown are not searched.
    EXPECT_TRUE(rowContains(rows, 1, "aN"));
    EXPECT_FALSE(rowContains(rows, 0, "研发"));
    EXPECT_EQ(readRowChoices(dir.file("gone.csv"), true, {"姓名"}, rows), CsvStatus::CannotAccess);
    EXPECT_EQ(rows.size(), 0u);
}

TEST(RowChoice, TickedRowsBecomeMergedRanges)
{
    std::vector<std::string> ranges;
    for (const RowRange& range : rowRanges({9, 3, 4, 5, 5, 11, 12}))
        ranges.push_back(std::to_string(range.first) + "-" + std::to_string(range.last));
    EXPECT_EQ(ranges, (std::vector<std::string>{"3-5", "9-9", "11-12"}));
}

} // namespace
} // namespace torvale
