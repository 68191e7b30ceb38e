#pragma once

#include "model/template.h"
#include "render/log_sink.h"
#include "render/magick.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// A card drawn and encoded in memory, not yet written.
struct EncodedCard {
    std::vector<unsigned char> bytes;
    std::string extension; // ".jpg" or ".png"
    bool png8 = false;     // written as PNG-8: a write failure stops the batch
};

/// The extension of the cards of an output format: ".png" or ".jpg".
inline const char* cardExtension(OutputFormat format)
{
    return format == OutputFormat::Png ? ".png" : ".jpg";
}

/// Encodes opaque card pixels (alpha ignored) as a baseline sRGB JPEG with libjpeg-turbo: the
/// fast integer DCT, standard Huffman tables, 4:4:4 from quality 90 on and 4:2:0 below, a JFIF
/// header giving dpi as pixels per inch. The bytes go into out, whose memory is reused; false
/// when encoding failed (out is then empty).
bool encodeJpeg(const RgbaPixels& pixels, int quality, std::int32_t dpi,
                std::vector<unsigned char>& out);

/// Encodes card pixels as an 8-bit PNG with libpng: RGBA when alpha is set, RGB otherwise
/// (alpha ignored), zlib level 5 with adaptive filtering, the resolution dpi, no time chunk.
/// False when encoding failed (error then says why, out is empty).
bool encodePng(const RgbaPixels& pixels, bool alpha, std::int32_t dpi,
               std::vector<unsigned char>& out, std::string& error);

/// A drawn card encoded as output says: JPEG in sRGB and PNG by the encoders above, PNG-8 by
/// the quantiser, a JPEG in another colour space (RGB, CMYK, grey) converted and written by the
/// image library. sizeHint (the last card's size) reserves room for the bytes. Logs failures;
/// a PNG-8 failure sets the stop flag.
std::optional<EncodedCard> encodeCard(const RgbaPixels& pixels, const OutputSettings& output,
                                      std::int32_t dpi, LogSink& log, std::atomic<bool>& stop,
                                      std::size_t sizeHint = 0);

} // namespace torvale
