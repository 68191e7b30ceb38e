#include "model/text_fields.h"

#include <algorithm>
#include <unordered_set>

namespace torvale {

namespace {

// Walks a text's pieces: literal text to literal, each field's column name to field.
template <typename Literal, typename Field>
void walkFields(std::string_view text, Literal literal, Field field)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t brace = text.find_first_of("{}", i);
        if (brace == std::string_view::npos) {
            literal(text.substr(i));
            return;
        }
        literal(text.substr(i, brace - i));
        const char c = text[brace];
        if (brace + 1 < text.size() && text[brace + 1] == c) {
            literal(text.substr(brace, 1)); // "{{" or "}}"
            i = brace + 2;
            continue;
        }
        const std::size_t close = c == '{' ? text.find('}', brace + 1) : std::string_view::npos;
        if (close == std::string_view::npos) {
            literal(text.substr(brace, 1));
            i = brace + 1;
            continue;
        }
        field(text.substr(brace + 1, close - brace - 1));
        i = close + 1;
    }
}

} // namespace

std::vector<std::string> textFieldNames(std::string_view text)
{
    std::vector<std::string> names;
    std::unordered_set<std::string_view> seen; // views into text
    walkFields(
        text, [](std::string_view) {},
        [&names, &seen](std::string_view name) {
            if (seen.insert(name).second)
                names.emplace_back(name);
        });
    return names;
}

std::string fillTextFields(std::string_view text, const FieldCell& cellOf, std::size_t maxBytes)
{
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    const auto append = [&out, maxBytes](std::string_view piece) {
        if (out.size() < maxBytes)
            out.append(piece.substr(0, maxBytes - out.size()));
    };
    walkFields(text, append, [&append, &cellOf](std::string_view name) {
        if (const std::string* cell = cellOf(std::string(name)))
            append(*cell);
    });
    // A character cut in two at the end is left out.
    if (out.size() >= maxBytes) {
        std::size_t end = out.size();
        while (end > 0 && (static_cast<unsigned char>(out[end - 1]) & 0xC0) == 0x80)
            --end;
        if (end > 0 && static_cast<unsigned char>(out[end - 1]) >= 0xC0) {
            const auto lead = static_cast<unsigned char>(out[end - 1]);
            const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (out.size() - (end - 1) < length)
                out.resize(end - 1);
        }
    }
    return out;
}

std::optional<std::size_t> serialFieldWidth(std::string_view name)
{
    if (name == "#")
        return 0;
    constexpr std::string_view kPadded = "#:";
    const std::size_t width = name.size() - std::min(name.size(), kPadded.size());
    if (width == 0 || width > kMaxSerialWidth || !name.starts_with(kPadded) ||
        name.find_first_not_of('0', kPadded.size()) != std::string_view::npos)
        return std::nullopt;
    return width;
}

std::string serialText(std::int64_t serial, std::size_t width)
{
    std::string digits = std::to_string(serial);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string fillSerialFields(std::string_view text, std::int64_t serial)
{
    // The pieces walkFields hands out are views into text: everything between two serial
    // fields is copied as it is written.
    std::string out;
    std::size_t copied = 0;
    walkFields(
        text, [](std::string_view) {},
        [&](std::string_view name) {
            const std::optional<std::size_t> width = serialFieldWidth(name);
            if (!width)
                return;
            const auto open = static_cast<std::size_t>(name.data() - text.data()) - 1;
            out.append(text.substr(copied, open - copied));
            out += serialText(serial, *width);
            copied = open + name.size() + 2;
        });
    out.append(text.substr(copied));
    return out;
}

} // namespace torvale
