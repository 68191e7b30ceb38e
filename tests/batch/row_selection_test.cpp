#include "batch/row_selection.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

// The numbers of the rows 1..10 that a selection takes; the cells of row n are "n" under 序号
// and, under 部门, "研发部" for odd rows and " 市场部 " (spaces kept) for even ones.
std::vector<std::size_t> selectedRows(const RowSelection& selection)
{
    const PackedStrings columns{"序号", "部门"};
    const RowFilter filter(selection, columns);
    std::vector<std::size_t> taken;
    for (std::size_t n = 1; n <= 10; ++n) {
        CsvDataRow row;
        row.number = n;
        row.cells = PackedStrings{std::to_string(n), n % 2 ? "研发部" : " 市场部 "};
        if (filter.selects(row))
            taken.push_back(n);
    }
    return taken;
}

TEST(RowSelection, TakesTheRowsOfItsOptionsTogether)
{
    const struct {
        std::vector<std::string> rows, where;
        std::string part;
        std::vector<std::size_t> taken;
    } cases[] = {
        {{}, {}, "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {{"3-5,9"}, {}, "", {3, 4, 5, 9}},
        {{" 7 - 8 , 2", "8-10"}, {}, "", {2, 7, 8, 9, 10}}, // spaces; overlapping; repeated
        {{}, {"部门=市场部"}, "", {2, 4, 6, 8, 10}},        // the cell's spaces do not count
        {{}, {"部门 != 市场部 "}, "", {1, 3, 5, 7, 9}},
        {{}, {"部门=研发部", "序号!=3"}, "", {1, 5, 7, 9}},
        {{}, {"部门="}, "", {}},
        {{}, {}, "1/3", {1, 4, 7, 10}},
        {{}, {}, "3/3", {3, 6, 9}},
        {{}, {}, "5/20", {5}},
        {{"2-9"}, {"部门=研发部"}, "2/3", {5}},
    };
    for (const auto& c : cases) {
        RowSelection selection;
        for (const std::string& list : c.rows)
            ASSERT_EQ(addRowNumbers(selection, list), "") << list;
        for (const std::string& condition : c.where)
            ASSERT_EQ(addRowCondition(selection, condition), "") << condition;
        if (!c.part.empty()) {
            ASSERT_EQ(setRowPart(selection, c.part), "") << c.part;
        }
        EXPECT_EQ(selectedRows(selection), c.taken) << c.part;
        EXPECT_EQ(selection.all(), c.rows.empty() && c.where.empty() && c.part.empty());
    }
}

TEST(RowSelection, RefusesBadPartsNamingThem)
{
    using Add = std::string (*)(RowSelection&, std::string_view);
    const struct {
        Add add;
        std::string text;
        std::string problem;
    } cases[] = {
        {addRowNumbers, "", "no row numbers given (e.g. 3-7,12)"},
        {addRowNumbers, "3,,5", "an empty part between commas"},
        {addRowNumbers, "3,7-5", "'7-5' is reversed: write 5-7"},
        {addRowNumbers, "0", "'0': rows are numbered from 1"},
        {addRowNumbers, "2,x", "'x' is not a row number or a range like 3-7"},
        {addRowNumbers, "3-", "'3-' is not a row number or a range like 3-7"},
        {addRowNumbers, "1-2-3", "'1-2-3' is not a row number or a range like 3-7"},
        {addRowNumbers, "99999999999999999999", "'99999999999999999999' is too large"},
        {addRowCondition, "部门", "'部门' is not COL=VALUE or COL!=VALUE"},
        {addRowCondition, "!=x", "'!=x' is not COL=VALUE or COL!=VALUE"},
        {setRowPart, "0/3", "'0/3' is not a part K/N with 1 <= K <= N (e.g. 2/3)"},
        {setRowPart, "4/3", "'4/3' is not a part K/N with 1 <= K <= N (e.g. 2/3)"},
        {setRowPart, "1/0", "'1/0' is not a part K/N with 1 <= K <= N (e.g. 2/3)"},
        {setRowPart, "1/3/4", "'1/3/4' is not a part K/N with 1 <= K <= N (e.g. 2/3)"},
    };
    for (const auto& c : cases) {
        RowSelection selection;
        ASSERT_EQ(addRowNumbers(selection, "1"), "");
        EXPECT_EQ(c.add(selection, c.text), c.problem) << c.text;
        // A refused part leaves the selection as it was.
        EXPECT_EQ(selection.ranges.size(), 1u) << c.text;
        EXPECT_TRUE(selection.conditions.empty() && selection.parts == 0) << c.text;
    }
}

} // namespace
} // namespace torvale
