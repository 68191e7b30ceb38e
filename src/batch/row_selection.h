#pragma once

#include "batch/csv_source.h"
#include "common/packed_strings.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// Data row numbers first to last, both included, and the text that gave them (for messages).
struct RowRange {
    std::size_t first = 0;
    std::size_t last = 0;
    std::string text;
};

/// A condition on the cell of one column: equal to the value (COL=VALUE) or not (COL!=VALUE),
/// compared without spaces and tabs at either end.
struct RowCondition {
    std::string column;
    std::string value;
    bool equal = true;
    std::string text; // as given, for messages
};

/// The data rows a batch makes cards of; the default takes every row. A row is taken when it
/// is in one of the ranges (when there are any), meets every condition and is in the part.
/// Whatever is taken, the cards keep the names a batch of every row gives them.
struct RowSelection {
    /// Data row numbers as CsvDataRow::number counts them; none: every row.
    std::vector<RowRange> ranges;
    std::vector<RowCondition> conditions;
    /// Part K of N: the rows whose position i (number - 1) has i mod N = K - 1. N = 0: no part.
    std::size_t part = 0;
    std::size_t parts = 0;

    /// True when every row is taken.
    bool all() const { return ranges.empty() && conditions.empty() && parts == 0; }
};

/// Adds the rows of a list like "3-7,12" (numbers and ranges split by commas, spaces allowed
/// around them). "" when it was read, else the problem naming the part that is wrong (empty,
/// not a number, 0, reversed, too large); the selection is then unchanged.
std::string addRowNumbers(RowSelection& selection, std::string_view list);

/// Adds a condition "COL=VALUE" or "COL!=VALUE" (the value may be empty). "" or the problem.
std::string addRowCondition(RowSelection& selection, std::string_view text);

/// Sets the part from "K/N" (1 <= K <= N). "" or the problem.
std::string setRowPart(RowSelection& selection, std::string_view text);

/// "" when every row number of the selection is one of rowCount data rows, else the problem
/// naming the first that is beyond them.
std::string checkRowNumbers(const RowSelection& selection, std::size_t rowCount);

/// "" when the data has every column the conditions name, else the problem naming the first
/// condition whose column it does not have.
std::string checkRowColumns(const RowSelection& selection, const PackedStrings& columns);

/// checkRowNumbers, then checkRowColumns: "" when the selection fits the data.
std::string checkRowSelection(const RowSelection& selection, const PackedStrings& columns,
                              std::size_t rowCount);

/// A selection matched once against the columns of a data source, deciding row by row.
class RowFilter {
public:
    RowFilter(const RowSelection& selection, const PackedStrings& columns);
    /// True when the selection takes the row. A condition on a column the source does not have
    /// holds for no row.
    bool selects(const CsvDataRow& row) const;

private:
    struct Condition {
        std::size_t index; // in the header; past the cells when the column is missing
        std::string value;
        bool equal;
    };
    std::vector<RowRange> m_ranges; // sorted, none overlapping
    std::vector<Condition> m_conditions;
    std::size_t m_part = 0;
    std::size_t m_parts = 0;
};

} // namespace torvale
