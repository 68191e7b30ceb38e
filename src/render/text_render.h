#pragma once

#include "model/template.h"
#include "render/fonts.h"
#include "render/magick.h"

#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// Text size is taken at this fixed resolution so cards are the same on every machine.
inline constexpr int kTextDpi = 96;

/// Draws text with the layer's font, size, colour, spacing and alignment into transparent
/// pixels of the layer's width x height, shaped and ordered by the shaping engine. Characters
/// the layer's font cannot draw are drawn with a fallback face that can. A text with line
/// breaks is drawn line under line, each line placed by the horizontal alignment. With
/// auto-shrink a text too large for the layer is drawn smaller. A vertical text is set in
/// columns from top to bottom, the first at the right, which wrap and shrink as lines do. Never
/// fails: problems give transparent pixels (none only for a layer without area).
RgbaPixels renderLayerImage(const Layer& layer, const std::string& text, const FontRegistry& fonts);

/// A layer's text drawn into its own tight box (straight-alpha RGBA, cut to the part inside
/// the layer), and where the box goes inside the layer.
struct TextBox {
    RgbaPixels box;
    long x = 0;
    long y = 0;
};

/// What laying out a layer's text found, drawn or not.
struct TextFit {
    bool measured = false;  // false for an empty text or one that cannot be laid out
    bool wider = false;     // wider than the layer: clipped on the right
    bool taller = false;    // several lines, taller than the layer: clipped at the bottom
    bool atMinimum = false; // the layer shrinks its text, and even at its minimum it does not fit
    std::vector<char32_t> missing; // characters no installed font has, each once
    double pixelSize = 0; // the size the text is drawn at, in pixels (after shrinking)
};

/// A point size as the whole pixel size the text is drawn at (in 64 bits: a template may hold
/// any 32-bit size).
double textPixelSize(std::int32_t points);

/// The height in printed points of text drawn at pixelSize pixels on a card of dpi pixels per
/// inch (a layer's font size is in points at the screen's 96 dpi: 40 prints at 12.8 points on
/// a 300 dpi card).
inline double printedPoints(double pixelSize, std::int32_t dpi)
{
    return dpi > 0 ? pixelSize * 72.0 / dpi : 0.0;
}

/// Text printed smaller than this is hard to read: the row check names a shrinking text that
/// goes below it.
inline constexpr double kMinReadablePoints = 6.0;

struct TextBoxResult {
    /// Nothing when there is nothing to draw.
    std::optional<TextBox> box;
    /// A text that is not empty could not be drawn (the font cannot be read, the size is
    /// beyond what can be drawn).
    bool failed = false;
    TextFit fit;
};

/// The most UTF-16 units of a cell a text layer draws: a text wider than its layer is clipped,
/// so only its beginning can show; four units per pixel of width is more than even the
/// narrowest glyphs can fill (on each line a text may wrap onto), and a cell of megabytes is not
/// laid out and drawn whole.
std::size_t maxDrawnUnits(const Layer& layer);

/// Lays out the texts of one layer as renderTextBox draws them, without drawing.
class TextFitter {
public:
    /// The layer and the fonts must outlive the fitter.
    TextFitter(const Layer& layer, const FontRegistry& fonts) : m_layer(layer), m_fonts(fonts) {}
    TextFit fit(const std::string& text) const;

private:
    const Layer& m_layer;
    const FontRegistry& m_fonts;
};

/// The text box of renderLayerImage, cut to the part that lies inside the layer.
TextBoxResult renderTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts);

} // namespace torvale
