#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// The column fields of a fixed text: "{列名}" stands for that column's cell of the row, "{{" and
/// "}}" for single braces. A "{" that is never closed and a lone "}" are kept as they are.

/// The column names the fields of a text name, each once, in the order they first appear.
std::vector<std::string> textFieldNames(std::string_view text);

/// The cell of a column of the row being drawn; nullptr when the row has no such column.
using FieldCell = std::function<const std::string*(const std::string& column)>;

/// The text with every field replaced by its cell (a column the row lacks gives ""), cut to
/// its first maxBytes bytes (whole characters): no more is ever made of it.
std::string fillTextFields(std::string_view text, const FieldCell& cellOf,
                           std::size_t maxBytes = std::string::npos);

} // namespace torvale
