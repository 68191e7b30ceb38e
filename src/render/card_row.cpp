#include "render/card_row.h"

#include "model/text_fields.h"
#include "render/text_render.h"

#include <string_view>

namespace torvale {

const std::string* findCell(const CardRow& row, const std::string& column)
{
    const auto it = row.find(column);
    return it == row.end() ? nullptr : &it->second;
}

const std::string* layerCell(const Layer& layer, const CardRow& row, std::string& storage)
{
    if (layer.type == LayerType::Shape)
        return nullptr;
    if (!layer.isFixed)
        return findCell(row, layer.bind_col_name);
    if (layer.type == LayerType::Picture)
        return nullptr;
    // A text layer draws at most maxDrawnUnits of it (each at most 3 bytes); one more unit
    // still shows that the text was cut. Cells of megabytes repeated by many fields are
    // never joined whole.
    const std::size_t maxBytes =
        layer.type == LayerType::Text ? 3 * (maxDrawnUnits(layer) + 1) : std::string::npos;
    storage = fillTextFields(
        layer.text, [&row](const std::string& column) { return findCell(row, column); }, maxBytes);
    return &storage;
}

bool layerShown(const Layer& layer, const CardRow& row)
{
    if (layer.showIfColumn.empty())
        return true;
    const std::string* found = findCell(row, layer.showIfColumn);
    const std::string_view cell = found ? std::string_view(*found) : std::string_view();
    switch (layer.showIfOp) {
    case ShowIfOp::Equals:
        return cell == layer.showIfValue;
    case ShowIfOp::NotEquals:
        return cell != layer.showIfValue;
    case ShowIfOp::Empty:
        return cell.empty();
    case ShowIfOp::NotEmpty:
        return !cell.empty();
    case ShowIfOp::Contains:
        return cell.find(layer.showIfValue) != std::string_view::npos;
    }
    return true;
}

} // namespace torvale
