#pragma once

#include "model/template.h"
#include "render/card_pixels.h"
#include "render/fonts.h"
#include "render/magick.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// A code encoded into modules, quiet zone not included.
struct CodeSymbol {
    std::int32_t width = 0;            // modules across
    std::vector<std::int32_t> rows;    // the height of each row of modules, in modules
    std::vector<std::uint8_t> dark;    // width x rows.size(), 1 for a dark module
    bool linear = false;               // one row of bars, drawn as tall as the layer allows
    std::int32_t quietZone = 0;        // modules around it (left and right only when linear)
    std::string text;                  // the human-readable text (with the check digit)
    std::string expected;              // what reading the code back must give
    bool verifiable = false;           // the reader knows the symbology
    int readerType = 0;                // the reader's name of the symbology
};

/// The outcome of encoding a value.
struct CodeEncoding {
    std::optional<CodeSymbol> symbol;
    std::string reason; // why the value cannot be encoded, when it cannot
};

/// Whether a symbology is a single row of bars (drawn as tall as its layer, with its text
/// under it when the layer shows it).
bool isLinearCode(const std::string& codeType);

/// Encodes a layer's value by its code type and error level: EAN and UPC values without their
/// check digit get it; a wrong check digit, letters in a numeric code or a value too long for
/// the symbology cannot be encoded.
CodeEncoding encodeCode(const Layer& layer, const std::string& value);

/// A code drawn for a layer: the image and where it goes on the card.
struct CodeImage {
    RgbaPixels pixels; // none when the layer is too small for it
    long x = 0;
    long y = 0;
    std::int32_t module = 0; // pixels per module
};

/// The fewest pixels per module a code is drawn with.
inline constexpr std::int32_t kMinCodeModule = 2;

/// The pixels per module of a symbol in a layer: the largest whole number at which the symbol
/// with its quiet zone (and a linear code's text) fits the rectangle (turned upright when the
/// layer is rotated); below kMinCodeModule it does not fit.
std::int32_t codeModuleSize(const Layer& layer, const CodeSymbol& symbol);

/// Where the whole symbol of a layer goes on the card, quiet zone (and a linear code's text)
/// included, at codeModuleSize (turned with a rotated layer).
PixelRect codeRect(const Layer& layer, const CodeSymbol& symbol);

/// codeRect without the quiet zone: where the modules (and a linear code's text) go on the card.
PixelRect codeSymbolRect(const Layer& layer, const CodeSymbol& symbol);

/// Draws the symbol with whole-pixel modules in the bars' colour on the code's background,
/// placed in the layer by its alignment; a linear code fills the layer's height, with its text
/// under it when the layer shows it. A rotated layer's code is drawn in the layer turned
/// upright and turned whole with its text. Only the part inside visible (card coordinates) is made,
/// so a layer far larger than its card costs no more than the card: the image is that part and
/// x, y where it goes. No image when the layer is too small or the code misses visible (module
/// tells which).
CodeImage drawCode(const Layer& layer, const CodeSymbol& symbol, const FontRegistry& fonts,
                   const PixelRect& visible);

/// A code layer's value drawn into transparent pixels of the layer's size, as on a card;
/// transparent when the value cannot be encoded or does not fit (none for an empty layer).
RgbaPixels renderCodeLayerImage(const Layer& layer, const std::string& value,
                                const FontRegistry& fonts);

/// Reads the code in the area of a card's pixels it was drawn in and compares it with what it
/// must give; true for symbologies the reader does not know.
bool readsBack(const RgbaPixels& card, const CodeImage& drawn, const CodeSymbol& symbol);

/// The problem texts of code layers.
std::string codeInvalidText(const Layer& layer, const std::string& value, const std::string& reason);
std::string codeTooSmallText(const Layer& layer);
std::string codeUnreadableText(const Layer& layer);

} // namespace torvale
