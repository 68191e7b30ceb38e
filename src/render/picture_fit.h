#pragma once

#include "model/template.h"
#include "render/magick.h"

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

/// Scales or crops the picture in place by the layer's overflow style and returns the card
/// position at which it is composited. sourceWidth x sourceHeight is the picture's real size
/// when it was decoded at a reduced scale (0 = the wand's own size): every size and position
/// follows from the real size, exactly as for a full decode. A reduced decode gives exact
/// pixels only for styles that allow it (overflowStyleAllowsReducedDecode); for the others it
/// is first scaled up to the real size.
FitPosition fitPicture(MagickWand* picture, const Layer& layer, std::size_t sourceWidth = 0,
                       std::size_t sourceHeight = 0);

/// True when the layer rounds its picture's corners or draws a border.
bool hasPictureFrame(const Layer& layer);

/// Rounds the corners of a fitted picture by the layer's corner radius (anti-aliased; the
/// picture turns transparent outside the shape) and draws its border inside the outline. A
/// radius of at least half the shorter side makes an ellipse. False when the image library
/// refused a step (the picture may then be drawn square).
bool framePicture(MagickWand* picture, const Layer& layer);

} // namespace torvale
