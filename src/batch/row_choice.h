#pragma once

#include "batch/csv_source.h"
#include "batch/row_selection.h"
#include "common/packed_strings.h"
#include "model/template.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// The data rows a user picks from: every row that makes a card, with its number and its cells
/// in the columns that tell the rows apart.
struct RowChoices {
    /// The columns shown, each found in the data file.
    std::vector<std::string> columns;
    /// Data row numbers (CsvDataRow::number), ascending.
    std::vector<std::size_t> numbers;
    /// columns.size() cells for each row, row after row.
    PackedStrings cells;

    std::size_t size() const { return numbers.size(); }
    /// The cell of a row (index into numbers) in a column (index into columns).
    std::string_view cell(std::size_t row, std::size_t column) const
    {
        return cells[row * columns.size() + column];
    }
};

/// The columns that tell the rows of tpl apart: the file-name columns, then the bound columns
/// of the text layers and the "{列名}" fields of their fixed texts, each once, in layer order.
std::vector<std::string> rowChoiceColumns(const Template& tpl);

/// Reads the data file at path as the batch reads it (openRowSource with trim) into choices:
/// the rows that make cards, with their cells in those of columns the file has (the first of
/// columns of equal names). Anything but Ok leaves choices empty.
CsvStatus readRowChoices(const std::string& path, bool trim,
                         const std::vector<std::string>& columns, RowChoices& choices);

/// True when one of the row's cells contains text, letters A to Z in either case; every row
/// contains "".
bool rowContains(const RowChoices& choices, std::size_t row, std::string_view text);

/// The row numbers as ranges, equal and consecutive numbers merged: {3, 4, 5, 9} gives "3-5"
/// and "9".
std::vector<RowRange> rowRanges(std::vector<std::size_t> numbers);

} // namespace torvale
