#include "batch/card_columns.h"

#include "model/text_fields.h"

namespace torvale {

CardColumns::CardColumns(const PackedStrings& header, const Template& tpl, const Template* back)
    : m_header(header)
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
                for (const std::string& column : textFieldNames(layer.text))
                    add(column);
        }
        add(t->output.file_name_bind_col_name);
        add(t->output.file_name_bind_col_name2);
    }
}

CardRow CardColumns::row(const PackedStrings& cells) const
{
    CardRow row;
    row.reserve(m_columns.size());
    for (const auto& [name, index] : m_columns) {
        if (index < cells.size())
            row.emplace(name, cells[index]);
    }
    return row;
}

CardRow CardColumns::row(const PackedStrings& cells, const OutputSettings& output) const
{
    CardRow row = this->row(cells);
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
