#include "batch/row_choice.h"

#include "batch/data_file.h"
#include "model/text_fields.h"

#include <algorithm>
#include <memory>

namespace torvale {

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::vector<std::string> rowChoiceColumns(const Template& tpl)
{
    std::vector<std::string> columns;
    const auto add = [&columns](const std::string& name) {
        if (!name.empty() && std::find(columns.begin(), columns.end(), name) == columns.end())
            columns.push_back(name);
    };
    add(tpl.output.file_name_bind_col_name);
    add(tpl.output.file_name_bind_col_name2);
    for (const Layer& layer : tpl.layers) {
        if (layer.type != LayerType::Text)
            continue;
        if (!layer.isFixed)
            add(layer.bind_col_name);
        else
            for (const std::string& name : textFieldNames(layer.text))
                add(name);
    }
    return columns;
}

CsvStatus readRowChoices(const std::string& path, bool trim,
                         const std::vector<std::string>& columns, RowChoices& choices)
{
    choices = {};
    std::vector<std::size_t> indexes; // of the shown columns in the header
    bool matched = false;
    const auto match = [&](const PackedStrings& header) {
        matched = true;
        for (const std::string& name : columns) {
            if (const std::size_t index = header.find(name); index < header.size()) {
                choices.columns.push_back(name);
                indexes.push_back(index);
            }
        }
    };
    std::unique_ptr<RowSource> source;
    const CsvStatus status =
        openRowSource(path, trim, source, [&](const CsvDataRow& row, const PackedStrings& header) {
            if (!matched)
                match(header);
            // The rows the batch makes no card of cannot be chosen.
            if (row.skipped || !makesCard(row.cells))
                return;
            choices.numbers.push_back(row.number);
            for (const std::size_t index : indexes)
                choices.cells.push_back(row.cells[index]);
        });
    if (status != CsvStatus::Ok) {
        choices = {};
        return status;
    }
    if (!matched)
        match(source->columns());
    return status;
}

bool rowContains(const RowChoices& choices, std::size_t row, std::string_view text)
{
    const auto same = [](char a, char b) { return lowerAscii(a) == lowerAscii(b); };
    for (std::size_t column = 0; column < choices.columns.size(); ++column) {
        const std::string_view cell = choices.cell(row, column);
        if (std::search(cell.begin(), cell.end(), text.begin(), text.end(), same) != cell.end())
            return true;
    }
    return text.empty();
}

std::vector<RowRange> rowRanges(std::vector<std::size_t> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    std::vector<RowRange> ranges;
    for (const std::size_t number : numbers) {
        if (!ranges.empty() && number <= ranges.back().last + 1)
            ranges.back().last = number;
        else
            ranges.push_back({number, number, {}});
    }
    for (RowRange& range : ranges) {
        range.text = std::to_string(range.first);
        if (range.last != range.first)
            range.text += "-" + std::to_string(range.last);
    }
    return ranges;
}

} // namespace torvale
