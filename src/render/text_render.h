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

/// Draws text with the layer's font, size, colour, spacing and alignment into a transparent
/// image of the layer's width x height. Never fails: problems give a transparent image
/// (nothing only when not even that image can be created).
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
};

/// The text box of renderLayerImage, cut to the part that lies inside the layer.
TextBoxResult renderTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts);

/// Composites a text box straight onto target at the layer's position, clipped to the layer
/// (the same pixels as compositing the layer image there). The box may be cropped.
void drawTextBox(MagickWand* target, const Layer& layer, const TextBox& textBox);

/// A layer's demo content as PNG bytes for the design canvas.
struct Thumbnail {
    std::vector<unsigned char> png;
    std::size_t width = 0;
    std::size_t height = 0;
};

/// Text layer: its demo text rendered; picture layer: its demo picture whole and unscaled
/// (width and height 0 when it has none or it cannot be read). A relative demo picture is
/// resolved against the folder of templatePath, then the program folder.
Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath);

} // namespace torvale
