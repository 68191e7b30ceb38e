#include "model/text_fields.h"

#include <algorithm>

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
    walkFields(
        text, [](std::string_view) {},
        [&names](std::string_view name) {
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.emplace_back(name);
        });
    return names;
}

std::string fillTextFields(std::string_view text, const FieldCell& cellOf)
{
    std::string out;
    out.reserve(text.size());
    walkFields(
        text, [&out](std::string_view piece) { out.append(piece); },
        [&out, &cellOf](std::string_view name) {
            if (const std::string* cell = cellOf(std::string(name)))
                out += *cell;
        });
    return out;
}

} // namespace torvale
