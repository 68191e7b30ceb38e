#pragma once

#include "model/template.h"
#include "render/card_pixels.h"
#include "render/magick.h"

#include <climits>
#include <cstdint>
#include <optional>

namespace torvale {

/// Where a fitted picture goes on the card.
struct FitPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// How a picture is fitted into a layer by its overflow style: the part of the picture used,
/// in the picture's pixels, and the rectangle of the card it is drawn into (the picture part
/// scaled to that rectangle's size).
struct PictureFit {
    std::int64_t sourceX = 0;
    std::int64_t sourceY = 0;
    std::int64_t sourceWidth = 0;
    std::int64_t sourceHeight = 0;
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

/// The fit of a picture of pictureWidth x pictureHeight into the layer's rectangle by its
/// overflow style and picture alignment; nothing for an empty layer or picture, or an unknown
/// style. The cards and the design canvas both place pictures by it.
std::optional<PictureFit> fitPictureRect(const Layer& layer, std::int64_t pictureWidth,
                                         std::int64_t pictureHeight);

/// True when a picture fitted by this style may be decoded at a reduced scale (it is scaled
/// anyway); the crop styles and unknown codes need the picture at its full size.
bool overflowStyleAllowsReducedDecode(OverflowStyle style);

/// Fits decoded picture pixels into the layer by its overflow style, as fitPictureRect
/// places them: scaled by a Lanczos-class filter and cut. realWidth x realHeight is the
/// picture's real size when it was decoded at a reduced scale (0: the pixels' own size); every
/// size and position follows from the real size, exactly as for a full decode. The result goes
/// into fitted; scaled is room for a picture scaled before it is cut. Returns where fitted goes
/// on the card; nothing when the layer or the picture is empty. A style this program does not
/// know draws the picture as it is at the layer's corner.
std::optional<FitPosition> fitPixels(const RgbaPixels& picture, std::size_t realWidth,
                                     std::size_t realHeight, const Layer& layer, RgbaPixels& fitted,
                                     RgbaPixels& scaled);

/// True when the layer rounds its picture's corners or draws a border.
bool hasPictureFrame(const Layer& layer);

/// Rounds the corners of fitted picture pixels by the layer's corner radius (anti-aliased; the
/// picture turns transparent outside the shape) and draws its border inside the outline. A
/// radius of at least half the shorter side makes an ellipse.
void framePixels(RgbaPixels& picture, const Layer& layer);

/// A picture as cards and the design canvas show it in a layer: fitPixels, then framePixels; a
/// rotated layer's picture is fitted and framed in the layer turned upright, then turned.
std::optional<FitPosition> layerPicture(const RgbaPixels& picture, std::size_t realWidth,
                                        std::size_t realHeight, const Layer& layer,
                                        RgbaPixels& fitted, RgbaPixels& scaled);

/// Draws a shape layer (its shapeKind, cornerRadius, fill, border and opacity) into
/// straight-alpha pixels of the layer's size, or of the part of it given, in the layer's own
/// pixels (clipped to the layer): the fill inside the outline, the border inside the outline,
/// both anti-aliased and at the layer's opacity. The cards and the design canvas both draw
/// shapes by it. False, with pixels untouched, when nothing of the shape shows there (an empty
/// layer or part, no fill and no border, opacity 0).
bool drawShapePixels(const Layer& layer, RgbaPixels& pixels,
                     PixelRect part = {0, 0, LONG_MAX, LONG_MAX});

} // namespace torvale
