#pragma once

#include "model/template.h"
#include "render/fonts.h"
#include "render/glyph_coverage.h"
#include "render/magick.h"

#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// Text size is taken at this fixed resolution so cards are the same on every machine.
inline constexpr int kTextDpi = 96;

/// Draws text with the layer's font, size, colour, spacing and alignment into a transparent
/// image of the layer's width x height. Characters the layer's font cannot draw are drawn with
/// a fallback font that can. A text with line breaks is drawn line under line, each line placed
/// by the horizontal alignment. With auto-shrink a text too large for the layer is drawn
/// smaller. Never fails: problems give a transparent image (nothing only when not even that
/// image can be created).
MagickWandPtr renderLayerImage(const Layer& layer, const std::string& text,
                               const FontRegistry& fonts);

/// A layer's text drawn into its own tight box, and where the box goes inside the layer.
struct TextBox {
    MagickWandPtr box;
    long x = 0;
    long y = 0;
};

struct TextBoxResult {
    /// Nothing when there is nothing to draw.
    std::optional<TextBox> box;
    /// A text that is not empty could not be drawn (the font cannot be loaded, the size is
    /// beyond what the image library can draw).
    bool failed = false;
    /// The layer shrinks its text, and even at its minimum size the text does not fit.
    bool atMinimum = false;
    /// Characters no installed font can draw.
    std::vector<char32_t> missing;
};

/// A layer's text measured as renderTextBox would draw it, without drawing.
struct TextFit {
    bool measured = false; // false for an empty text or one the font cannot measure
    bool wider = false;    // wider than the layer: clipped on the right
    bool taller = false;   // several lines, taller than the layer: clipped at the bottom
    bool atMinimum = false;
    std::vector<char32_t> missing;
};

/// The most UTF-16 units of a cell a text layer draws: a text wider than its layer is clipped,
/// so only its beginning can show; four units per pixel of width is more than even the
/// narrowest glyphs can fill (on each line a text may wrap onto), and a cell of megabytes is not
/// measured and drawn whole.
std::size_t maxDrawnUnits(const Layer& layer);

/// Measures the texts of one layer as renderTextBox would draw them, without drawing. A text
/// that fits for sure (by the font's widest character) is not measured at all.
class TextFitter {
public:
    /// The layer and the fonts must outlive the fitter.
    TextFitter(const Layer& layer, const FontRegistry& fonts);
    TextFit fit(const std::string& text) const;

private:
    bool surelyFits(const std::string& text, const FontSplit& split) const;

    const Layer& m_layer;
    const FontRegistry& m_fonts;
    std::string m_fontFile;
    double m_maxAdvance = 0; // at the layer's own size; 0 when unknown
    double m_height = 0;
};

/// The text box of renderLayerImage, cut to the part that lies inside the layer.
TextBoxResult renderTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts);

/// Composites a text box straight onto target at the layer's position, clipped to the layer
/// (the same pixels as compositing the layer image there). The box may be cropped.
void drawTextBox(MagickWand* target, const Layer& layer, const TextBox& textBox);

/// A layer's demo content as pixels for the design canvas.
using Thumbnail = RgbaPixels;

/// Everything renderLayerThumbnail draws a layer's thumbnail from, as one text: two layers with
/// the same key have the same thumbnail (with the same fonts installed).
std::string thumbnailKey(const Layer& layer, const std::string& templatePath);

/// Text layer: its demo text rendered; code layer: the code of its demo value in an image of the
/// layer's size (transparent when it cannot be drawn); picture layer: its demo picture whole and unscaled
/// (width and height 0 when it has none or it cannot be read). A relative demo picture is
/// resolved against the folder of templatePath, then the program folder.
Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath);

} // namespace torvale
