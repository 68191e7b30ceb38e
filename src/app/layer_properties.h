#pragma once

#include "model/template.h"
#include "render/fonts.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// The font sizes the text window's size list offers, in order.
inline constexpr int kOfferedFontSizes[] = {8,  9,  10, 11, 12, 14,  16,  18,  20,  24,  26,  28,
                                            36, 48, 60, 72, 80, 88, 96, 108, 128, 150, 180, 200};

/// The text window's font list: the names with a character outside ASCII first, then the
/// others, each group in the given (registry) order.
std::vector<std::string> fontListOrder(const std::vector<std::string>& names);

/// The size list's entries when it opens: the offered sizes, with the current text first when
/// it is not one of them (and not empty).
std::vector<std::string> fontSizeEntries(const std::string& current);

/// Whether the bold button is offered for a family: it has a file heavier than normal and one
/// of normal weight or lighter.
bool isBoldSelectable(const FontRegistry& fonts, const std::string& family);

/// A warning shown in a balloon.
struct PropertyWarning {
    std::string title;
    std::string text;
};

/// The check after the demo text or the font changed: a Chinese demo text needs a Chinese font,
/// any other text a font that can draw it; a standard Chinese name whose style is not installed
/// names the family drawn instead. Nothing for a blank text or a font that is not in the font
/// list.
std::optional<PropertyWarning> checkLayerFont(const FontRegistry& fonts, const std::string& font,
                                              const std::string& demoText);

/// The font new layers get: the template's default "宋体" while a face of its style (or a
/// family of that name) draws it, otherwise the fallback font.
std::string newLayerFont(const FontRegistry& fonts);

/// Whether a paste into a numeric field of the property windows is taken, from the text the
/// field would then hold: a lone "-" or an integer (the only way to a negative number).
bool acceptsPastedInteger(std::string_view result);

/// What a numeric field's text means for its layer field.
struct NumericFieldValue {
    std::optional<std::int32_t> value; // the value to store
    bool clearField = false;           // the text is refused: the field is emptied
};

/// A numeric field's text: empty changes nothing, a value below the minimum empties the field,
/// anything else is stored.
NumericFieldValue numericFieldValue(const std::string& text, std::int32_t minimum);

/// The layer list's name of a layer type: "字", "图", "码" or "形".
const char* layerTypeName(LayerType type);

/// Whether a symbology takes an error level (QR only).
bool codeTypeHasErrorLevel(const std::string& codeType);

/// The check after a code layer's demo value or symbology changed: a value the symbology cannot
/// encode names the reason; a code too large for the layer's rectangle says so. Nothing for an
/// empty value.
std::optional<PropertyWarning> checkCodeLayer(const Layer& layer);

/// The first entry of the property windows' column list; an empty entry (no column) and the
/// CSV columns follow it.
inline constexpr const char* kFixedContentEntry = "(固定内容)";

/// The column-list entry a layer shows: 0 for a fixed layer, its column's entry when the CSV
/// file has that column, else the empty entry 1.
int columnListIndex(const Layer& layer, const std::vector<std::string>& columns);

/// Binds a layer by a column-list entry: entry 0 makes it fixed (its column is kept for when
/// it is bound again), any other entry binds that column (none for the empty entry).
void applyColumnListEntry(Layer& layer, int index, const std::vector<std::string>& columns);

/// The size a text of fontSize points (at the screen's 96 dpi) prints at on a card of dpi:
/// "≈ 12.8 磅（打印）" for 40 on a 300 dpi card.
std::string printedSizeText(std::int32_t fontSize, std::int32_t dpi);

/// The name the font list shows for a layer's font name: the name itself when listed, else the
/// listed name of the family it finds as the renderer does (a family's English name finds its
/// localised one, "WenQuanYi Zen Hei" finds "文泉驿正黑"); nothing when it finds no listed family.
std::optional<std::string> listedFontName(const FontRegistry& fonts, const std::string& name);

} // namespace torvale
