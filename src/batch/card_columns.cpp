#include "batch/card_columns.h"

#include "model/text_fields.h"

#include <algorithm>

namespace torvale {

CardColumns::CardColumns(const PackedStrings& header, const Template& tpl, const Template* back)
    : m_header(header), m_serialStart(tpl.output.serialStart)
{
    const auto add = [this](const std::string& name) {
        if (name.empty())
            return;
        for (const auto& column : m_columns) {
            if (column.first == name)
                return;
        }
        // With duplicate names the first column's cell is used.
        if (const std::size_t index = m_header.find(name); index < m_header.size())
            m_columns.emplace_back(name, index);
    };
    // A field of a fixed text is a column when the data has one of its name, else maybe a serial.
    const auto addField = [this, &add](const std::string& name) {
        add(name);
        if (m_header.contains(name))
            return;
        const std::optional<std::size_t> width = serialFieldWidth(name);
        if (width && std::none_of(m_serials.begin(), m_serials.end(),
                                  [&name](const auto& serial) { return serial.first == name; }))
            m_serials.emplace_back(name, *width);
    };
    for (const Template* t : {&tpl, back}) {
        if (!t)
            continue;
        for (const Layer& layer : t->layers) {
            add(layer.showIfColumn);
            if (layer.type == LayerType::Shape)
                continue;
            if (!layer.isFixed)
                add(layer.bind_col_name);
            else if (layer.type != LayerType::Picture)
                for (const std::string& field : textFieldNames(layer.text))
                    addField(field);
        }
        add(t->output.file_name_bind_col_name);
        add(t->output.file_name_bind_col_name2);
    }
}

CardRow CardColumns::row(const CsvDataRow& data) const
{
    const PackedStrings& cells = data.cells;
    CardRow row;
    row.reserve(m_columns.size() + m_serials.size());
    for (const auto& [name, index] : m_columns) {
        if (index < cells.size())
            row.emplace(name, cells[index]);
    }
    // The serial counts every data row, so a row keeps its number whichever rows are made.
    const std::int64_t serial = m_serialStart + static_cast<std::int64_t>(data.number) - 1;
    for (const auto& [name, width] : m_serials)
        row.emplace(name, serialText(serial, width));
    return row;
}

CardRow CardColumns::row(const CsvDataRow& data, const OutputSettings& output) const
{
    const PackedStrings& cells = data.cells;
    CardRow row = this->row(data);
    for (const std::string* name :
         {&output.file_name_bind_col_name, &output.file_name_bind_col_name2}) {
        if (name->empty() || row.count(*name))
            continue;
        if (const std::size_t index = m_header.find(*name); index < cells.size())
            row.emplace(*name, cells[index]);
    }
    return row;
}

} // namespace torvale
