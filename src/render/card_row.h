#pragma once

#include "model/template.h"

#include <string>
#include <unordered_map>

namespace torvale {

/// Column name to cell text of the row being rendered. With duplicate column names the first
/// column's cell is used.
using CardRow = std::unordered_map<std::string, std::string>;

/// The cell of a column in a row; nullptr when the row has no such column.
const std::string* findCell(const CardRow& row, const std::string& column);

/// What a layer shows on the card of a row: a bound layer its cell (nullptr when the row has
/// none); a fixed text or code layer its text with the row's fields filled in, kept in storage. A
/// fixed picture layer and a shape layer have no cell (they are the same on every card).
const std::string* layerCell(const Layer& layer, const CardRow& row, std::string& storage);

/// Whether the card of a row shows a layer: always without a rule column; else whether the
/// row's cell of that column (empty when the row has none) passes the layer's test.
bool layerShown(const Layer& layer, const CardRow& row);

} // namespace torvale
