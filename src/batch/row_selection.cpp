#include "batch/row_selection.h"

#include "common/text.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace torvale {

namespace {

// Enough for any row number; more digits are refused as too large rather than wrapped.
constexpr std::size_t kMaxNumber = 999999999999999999ULL;

enum class NumberProblem { None, NotANumber, TooLarge };

NumberProblem parseNumber(std::string_view text, std::size_t& value)
{
    if (text.empty())
        return NumberProblem::NotANumber;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return NumberProblem::NotANumber;
        if (value > (kMaxNumber - static_cast<std::size_t>(c - '0')) / 10)
            return NumberProblem::TooLarge;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return NumberProblem::None;
}

// The column of the header a condition names: the one spelt exactly so, else the first that
// differs only in ASCII case (as file-name columns are matched); size() when there is none.
std::size_t findColumn(const PackedStrings& columns, const std::string& name)
{
    const std::size_t exact = columns.find(name);
    if (exact < columns.size())
        return exact;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoreCase(columns[i], name))
            return i;
    }
    return columns.size();
}

// The range of one part of a row list, or the problem.
std::optional<RowRange> parseRange(std::string_view part, std::string& problem)
{
    const std::string text = trimSpacesTabs(part);
    if (text.empty()) {
        problem = "an empty part between commas";
        return std::nullopt;
    }
    const std::size_t dash = text.find('-');
    RowRange range{0, 0, text};
    const std::string first = trimSpacesTabs(std::string_view(text).substr(0, dash));
    const std::string last =
        dash == std::string::npos ? first : trimSpacesTabs(std::string_view(text).substr(dash + 1));
    for (const auto& [digits, value] : {std::pair{&first, &range.first}, {&last, &range.last}}) {
        switch (parseNumber(*digits, *value)) {
        case NumberProblem::None:
            break;
        case NumberProblem::NotANumber:
            problem = "'" + text + "' is not a row number or a range like 3-7";
            return std::nullopt;
        case NumberProblem::TooLarge:
            problem = "'" + text + "' is too large";
            return std::nullopt;
        }
    }
    if (range.first == 0 || range.last == 0) {
        problem = "'" + text + "': rows are numbered from 1";
        return std::nullopt;
    }
    if (range.first > range.last) {
        problem =
            formatText("'%s' is reversed: write %zu-%zu", text.c_str(), range.last, range.first);
        return std::nullopt;
    }
    return range;
}

} // namespace

std::string addRowNumbers(RowSelection& selection, std::string_view list)
{
    if (trimSpacesTabs(list).empty())
        return "no row numbers given (e.g. 3-7,12)";
    std::vector<RowRange> ranges;
    std::string problem;
    for (std::size_t begin = 0;;) {
        const std::size_t comma = list.find(',', begin);
        auto range = parseRange(list.substr(begin, comma - begin), problem);
        if (!range)
            return problem;
        ranges.push_back(std::move(*range));
        if (comma == std::string_view::npos)
            break;
        begin = comma + 1;
    }
    selection.ranges.insert(selection.ranges.end(), ranges.begin(), ranges.end());
    return {};
}

std::string addRowCondition(RowSelection& selection, std::string_view text)
{
    const std::size_t equals = text.find('=');
    const bool notEqual = equals != std::string_view::npos && equals > 0 && text[equals - 1] == '!';
    RowCondition condition;
    if (equals != std::string_view::npos)
        condition.column = trimSpacesTabs(text.substr(0, notEqual ? equals - 1 : equals));
    if (condition.column.empty())
        return "'" + std::string(text) + "' is not COL=VALUE or COL!=VALUE";
    condition.value = trimSpacesTabs(text.substr(equals + 1));
    condition.equal = !notEqual;
    condition.text = text;
    selection.conditions.push_back(std::move(condition));
    return {};
}

std::string setRowPart(RowSelection& selection, std::string_view text)
{
    const std::size_t slash = text.find('/');
    std::size_t part = 0;
    std::size_t parts = 0;
    if (slash == std::string_view::npos ||
        parseNumber(trimSpacesTabs(text.substr(0, slash)), part) != NumberProblem::None ||
        parseNumber(trimSpacesTabs(text.substr(slash + 1)), parts) != NumberProblem::None ||
        part == 0 || part > parts)
        return "'" + std::string(text) + "' is not a part K/N with 1 <= K <= N (e.g. 2/3)";
    selection.part = part;
    selection.parts = parts;
    return {};
}

std::string checkRowNumbers(const RowSelection& selection, std::size_t rowCount)
{
    for (const RowRange& range : selection.ranges) {
        if (range.last > rowCount) {
            return formatText("'%s' is beyond the data: it has %zu row%s", range.text.c_str(),
                              rowCount, rowCount == 1 ? "" : "s");
        }
    }
    return {};
}

std::string checkRowColumns(const RowSelection& selection, const PackedStrings& columns)
{
    for (const RowCondition& condition : selection.conditions) {
        if (findColumn(columns, condition.column) == columns.size()) {
            return formatText("'%s': the data has no column '%s'", condition.text.c_str(),
                              condition.column.c_str());
        }
    }
    return {};
}

std::string checkRowSelection(const RowSelection& selection, const PackedStrings& columns,
                              std::size_t rowCount)
{
    std::string problem = checkRowNumbers(selection, rowCount);
    return problem.empty() ? checkRowColumns(selection, columns) : problem;
}

RowFilter::RowFilter(const RowSelection& selection, const PackedStrings& columns)
    : m_ranges(selection.ranges), m_part(selection.part), m_parts(selection.parts)
{
    // Sorted and merged, so that a row is looked up in a few steps however many ranges there are.
    std::sort(m_ranges.begin(), m_ranges.end(),
              [](const RowRange& a, const RowRange& b) { return a.first < b.first; });
    std::vector<RowRange> merged;
    for (RowRange& range : m_ranges) {
        if (!merged.empty() && range.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, range.last);
        else
            merged.push_back({range.first, range.last, {}});
    }
    m_ranges = std::move(merged);
    for (const RowCondition& condition : selection.conditions) {
        const std::size_t index = findColumn(columns, condition.column);
        m_conditions.push_back(
            {index < columns.size() ? index : std::numeric_limits<std::size_t>::max(),
             condition.value, condition.equal});
    }
}

bool RowFilter::selects(const CsvDataRow& row) const
{
    if (!m_ranges.empty()) {
        const auto after = std::upper_bound(
            m_ranges.begin(), m_ranges.end(), row.number,
            [](std::size_t number, const RowRange& range) { return number < range.first; });
        if (after == m_ranges.begin() || std::prev(after)->last < row.number)
            return false;
    }
    if (m_parts > 0 && (row.number - 1) % m_parts != m_part - 1)
        return false;
    for (const Condition& condition : m_conditions) {
        if (condition.index >= row.cells.size())
            return false;
        if ((trimSpacesTabs(row.cells[condition.index]) == condition.value) != condition.equal)
            return false;
    }
    return true;
}

} // namespace torvale
