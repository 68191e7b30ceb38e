#pragma once

#include "model/template.h"
#include "render/magick.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvale {

/// Makes pixels width x height of one colour, keeping the memory they already have when that
/// is enough.
void fillPixels(RgbaPixels& pixels, std::size_t width, std::size_t height,
                const std::array<std::uint8_t, 4>& color);

/// A rectangle of card pixels: left and top included, right and bottom excluded.
struct PixelRect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
};

/// Draws src over dst (both straight-alpha 8-bit RGBA) with src's top-left corner at (x, y),
/// only where clip and dst overlap. The blend is Porter and Duff's "over": with a and b the
/// alphas of src and dst (0 to 1), the result's alpha is a + b (1 - a) and each colour is
/// (src a + dst b (1 - a)) / that alpha, rounded to the nearest 8-bit value. Over an opaque
/// card that is src a + dst (1 - a). Returns the part of dst drawn on (empty when none).
PixelRect blendOver(RgbaPixels& dst, const RgbaPixels& src, long x, long y, PixelRect clip);

/// One straight-alpha pixel s blended over d by the same formula.
void blendPixel(unsigned char* d, const unsigned char* s);

/// blendOver with the whole of dst as the clip.
PixelRect blendOver(RgbaPixels& dst, const RgbaPixels& src, long x, long y);

/// A layer's rotation in degrees clockwise: 0, 90, 180 or 270 (any other value is 0).
std::int32_t layerRotation(const Layer& layer);

/// The layer a rotated layer's content is laid out in before it is turned: the layer at (0, 0),
/// not rotated, with its width and height swapped when it turns by 90 or 270 degrees.
Layer uprightFrame(const Layer& layer);

/// Where a rectangle of a frameWidth x frameHeight picture lies once the picture is turned
/// clockwise by rotation degrees (0, 90, 180 or 270); turned back by 360 - rotation with the
/// sides of the turned picture, it lies where it was.
PixelRect turnRect(const PixelRect& rect, long frameWidth, long frameHeight, std::int32_t rotation);

/// Straight-alpha RGBA pixels turned clockwise by rotation degrees (0, 90, 180 or 270), each
/// pixel moved whole, into turned (another object than pixels).
void turnPixels(const RgbaPixels& pixels, std::int32_t rotation, RgbaPixels& turned);

/// What one batch worker keeps from card to card, so that drawing a card allocates no
/// card-sized memory.
struct CardBuffers {
    RgbaPixels card; // the background and the layers above it
    // What card was last started from, and where it was drawn on since: the next card from the
    // same start only needs those parts put back.
    const RgbaPixels* start = nullptr;
    std::vector<PixelRect> drawn;
    RgbaPixels under;   // the canvas under the background (layers below it)
    RgbaPixels decoded; // a picture as decoded
    RgbaPixels scaled;  // a picture scaled to its layer, before it is cut
    RgbaPixels fitted;  // a picture fitted and framed
    std::size_t lastEncodedSize = 0;
};

} // namespace torvale
