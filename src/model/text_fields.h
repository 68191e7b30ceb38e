#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

/// The serial fields: "{#}" stands for the row's serial number, "{#:0000}" for it padded with
/// zeros to as many digits as the format has 0s (1 to kMaxSerialWidth). A data column of the
/// field's name wins over the serial. The number of digits of a serial field's name (0: as many
/// as it takes); nothing when the name is no serial field ("#:abc" is then an unknown column).
std::optional<std::size_t> serialFieldWidth(std::string_view name);
/// More zeros than a serial can have digits make no serial field.
inline constexpr std::size_t kMaxSerialWidth = 20;

/// A serial as a field of that width shows it.
std::string serialText(std::int64_t serial, std::size_t width);

/// The text with its serial fields showing serial and every other field as it is written: what
/// a fixed text shows where there is no data row.
std::string fillSerialFields(std::string_view text, std::int64_t serial);

} // namespace torvale
