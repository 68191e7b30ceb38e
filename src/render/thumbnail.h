#pragma once

#include "model/template.h"
#include "render/fonts.h"
#include "render/magick.h"

#include <cstdint>
#include <string>

namespace torvale {

/// A layer's demo content as pixels for the design canvas.
using Thumbnail = RgbaPixels;

/// Everything renderLayerThumbnail draws a layer's thumbnail from, as one text: two layers with
/// the same key have the same thumbnail (with the same fonts installed).
std::string thumbnailKey(const Layer& layer, const std::string& templatePath,
                         std::int64_t serialStart = kDefaultSerialStart);

/// Text layer: its demo text rendered; code layer: the code of its demo value in an image of the
/// layer's size (transparent when it cannot be drawn); shape layer: the shape in an image of the
/// layer's size, or made smaller for a layer of more than a few megapixels (to be stretched over
/// the layer), empty when nothing of it shows; picture layer: its demo picture whole and
/// unscaled (width and height 0 when it has none or it cannot be read). A relative demo picture is
/// resolved against the folder of templatePath, then the program folder. A fixed text or code
/// shows its serial fields as serialStart, the serial of the first data row, and its other fields
/// as written.
Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath,
                               std::int64_t serialStart = kDefaultSerialStart);

} // namespace torvale
