#pragma once

#include "render/glyph_coverage.h"
#include "render/magick.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace torvale {

/// One glyph placed on a line: pen position in pixels from the line's origin on its baseline
/// (y grows downwards).
struct PlacedGlyph {
    std::uint32_t face = 0; // index into ShapedLine::faces
    std::uint32_t glyph = 0;
    double x = 0;
    double y = 0;
    bool turned = false; // drawn turned 90 degrees clockwise: a sideways run of a column
};

/// One line of text shaped and ordered for display: its glyphs in visual order from left to
/// right, and its measures in pixels. A column of vertical text is kept the same way, turned: see
/// shapeColumn.
struct ShapedLine {
    std::vector<std::string> faces; // font files the glyphs come from
    std::vector<PlacedGlyph> glyphs;
    double advance = 0;   // where the pen ends, spacing included
    double inkRight = 0;  // the right edge of the rightmost ink (0 without ink)
    double ascent = 0;    // above the baseline, whole pixels, of the faces used
    double descent = 0;   // below the baseline, zero or negative
    std::size_t gaps = 0; // places between clusters that spacing widens
    /// For each UTF-16 unit of the text, the pen advance of the cluster it starts (spacing
    /// after it included), 0 inside a cluster: the widths of any part of the line, in order.
    std::vector<double> unitAdvances;
};

/// The largest pixel size text is drawn at: a glyph is rendered whole before it is clipped.
inline constexpr double kMaxTextPixelSize = 4000;

/// Shapes a paragraph, or its part [first, last) in UTF-16 units, at a pixel size (at least 1,
/// at most kMaxTextPixelSize) and orders it by the bidirectional algorithm. spacing is added
/// between clusters (a grapheme or more), except between two letters of a cursive script
/// (Arabic, Syriac, Mongolian, N'Ko, ...), whose joins it would break. Characters no face has
/// take no room. Returns false when a face cannot be read or the size is out of range.
bool shapeLine(const FacedText& text, double pixelSize, double spacing, ShapedLine& line,
               std::size_t first = 0, std::size_t last = std::u16string::npos);

/// Shapes a paragraph, or its part, as one column of vertical text read from top to bottom, as
/// shapeLine does a line (its spacing, order and sizes the same). Characters that stand upright
/// in vertical text (Chinese, Japanese, Korean, most symbols) are shaped vertically, with the
/// faces' vertical forms and advances, and punctuation such as "，。" takes its vertical form;
/// runs of the others (Latin letters, digits, Arabic, ...) are shaped as horizontal text and
/// turned 90 degrees clockwise, as the Unicode vertical orientation of each character says.
/// The column is the line turned clockwise: a glyph's y is along the column from its top
/// (downwards) and its x across it from its reference line, which is the baseline of the turned
/// runs; ascent reaches to the right of that line and descent (negative) to the left, and the
/// upright characters stand centred between them. advance, inkRight (the lowest ink) and
/// unitAdvances measure along the column.
bool shapeColumn(const FacedText& text, double pixelSize, double spacing, ShapedLine& column,
                 std::size_t first = 0, std::size_t last = std::u16string::npos);

/// Kinds of text boundaries, by the Unicode rules (line breaks with dictionaries for Thai,
/// Khmer and the like; each Chinese character is a word).
enum class Boundary { Grapheme, Word, Line };

/// The boundaries of a kind in text after first, in UTF-16 units, ascending, the text's length
/// last: the ends of its grapheme clusters or words, or where a line may end.
std::vector<std::size_t> textBoundaries(std::u16string_view text, Boundary kind,
                                        std::size_t first = 0);

/// Draws a shaped line into straight-alpha RGBA pixels with its origin at (x, baseline) in
/// them, in colour (red, green, blue); colour glyphs (emoji) keep their own colours. Glyphs
/// outside the pixels are clipped. A column is drawn the same way, with x its reference line
/// and baseline its top. False when a face cannot be read.
bool drawShapedLine(const ShapedLine& line, double pixelSize, RgbaPixels& target, double x,
                    double baseline, const std::array<std::uint8_t, 3>& color);

/// True when the file's first face can be read as a font and has a glyph for every character
/// of text (UTF-8).
bool faceHasGlyphs(const std::string& file, std::string_view text);

/// The ascent and descent (negative) of a font file at a pixel size; nothing when it cannot be
/// read.
std::optional<std::pair<double, double>> faceExtents(const std::string& file, double pixelSize);

} // namespace torvale
