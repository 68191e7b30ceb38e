#pragma once

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

/// An image's pixels as the image library holds them: 16-bit red, green, blue and alpha (not
/// premultiplied), row after row.
struct WidePixels {
    std::vector<std::uint16_t> values;
    std::size_t width = 0;
    std::size_t height = 0;
};

/// The pixels of an image into pixels, keeping the memory they already have when that is
/// enough; false when there is no image or its pixels cannot be read.
bool exportWide(MagickWand* image, WidePixels& pixels);

/// 8-bit pixels widened to 16 bits, as the image library reads an 8-bit picture.
void widen(const RgbaPixels& pixels, WidePixels& wide);

/// How a 16-bit value becomes an 8-bit one: the image library rounds to the nearest when it
/// exports pixels and writes a JPEG, and rounds down when it writes an 8-bit PNG.
enum class ToEightBits { Nearest, Down };

/// Draws src over dst with its top-left corner at (x, y), only where clip and the card overlap:
/// the image library's "over" composite computed from src's 16-bit values and made 8-bit as
/// mode says, so that over a card of 8-bit values the result is what the library would write,
/// to the last bit. A transparent card pixel under a transparent one becomes transparent black,
/// as there. Returns the part of dst drawn on (empty when none).
PixelRect blendOver(RgbaPixels& dst, const WidePixels& src, long x, long y, ToEightBits mode,
                    PixelRect clip);

/// blendOver with the whole card as the clip.
PixelRect blendOver(RgbaPixels& dst, const WidePixels& src, long x, long y, ToEightBits mode);

/// Encodes opaque card pixels (alpha ignored) as a baseline JPEG with libjpeg-turbo, as the
/// image library writes cards: the fast integer DCT, standard Huffman tables, 4:4:4 from
/// quality 90 on and 4:2:0 below, a JFIF header giving dpi as pixels per inch. The bytes go
/// into out, whose memory is reused; false when encoding failed (out is then empty).
bool encodeJpeg(const RgbaPixels& pixels, int quality, std::int32_t dpi,
                std::vector<unsigned char>& out);

/// What one batch worker keeps from card to card, so that drawing a card allocates no
/// card-sized memory.
struct CardBuffers {
    RgbaPixels card; // the background and the layers above it
    // What card was last started from, and where it was drawn on since: the next card from the
    // same start only needs those parts put back.
    const RgbaPixels* start = nullptr;
    std::vector<PixelRect> drawn;
    RgbaPixels under;   // the canvas under the background (layers below it)
    WidePixels scratch; // the pixels of one picture, text box or code
    WidePixels wide;    // the card widened, to be drawn over the canvas under it
    std::size_t lastEncodedSize = 0;
};

} // namespace torvale
