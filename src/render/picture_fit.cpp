#include "render/picture_fit.h"

#include "render/card_pixels.h"
#include "render/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace torvale {

namespace {

// Offset of a picture of the given size inside a box: only a smaller picture moves.
std::int64_t shift(std::int64_t box, std::int64_t size, std::int32_t align)
{
    if (size >= box || align == 0)
        return 0;
    if (align == 2)
        return box - size;
    return (box - size) / 2;
}

// Proportional shrink; sizes are truncated, not rounded, and never drop below one pixel.
void shrinkSize(std::int64_t iw, std::int64_t ih, std::int64_t w, std::int64_t h, std::int64_t& nw,
                std::int64_t& nh)
{
    const double s = std::min(static_cast<double>(w) / static_cast<double>(iw),
                              static_cast<double>(h) / static_cast<double>(ih));
    nw = std::max<std::int64_t>(1, static_cast<std::int64_t>(static_cast<double>(iw) * s));
    nh = std::max<std::int64_t>(1, static_cast<std::int64_t>(static_cast<double>(ih) * s));
}

// The scaled size of a picture that covers a w x h box (the larger of the two scales, sizes
// rounded up so no edge falls short) and which part of it the box keeps: the alignment's edge,
// or the middle for anything but 0 and 2.
struct Cover {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t left = 0;
    std::int64_t top = 0;
};

Cover coverSize(std::int64_t iw, std::int64_t ih, std::int64_t w, std::int64_t h,
                std::int32_t hAlign, std::int32_t vAlign)
{
    Cover cover;
    // Compared in integers: a picture of the box's shape is scaled to the box exactly.
    if (iw * h >= ih * w) { // wider than the box: the height decides
        cover.height = h;
        cover.width = std::max(w, (iw * h + ih - 1) / ih);
    } else {
        cover.width = w;
        cover.height = std::max(h, (ih * w + iw - 1) / iw);
    }
    const auto keep = [](std::int64_t spare, std::int32_t align) {
        return align == 0 ? 0 : align == 2 ? spare : spare / 2;
    };
    cover.left = keep(cover.width - w, hAlign);
    cover.top = keep(cover.height - h, vAlign);
    return cover;
}

// A rectangle with rounded corners (radii rx, ry; both 0 for square corners).
struct RoundRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double rx = 0;
    double ry = 0;

    // The outline moved in by d on every side, the corners' radii with it.
    RoundRect insetBy(double d) const
    {
        return {
            left + d, top + d, right - d, bottom - d, std::max(0.0, rx - d), std::max(0.0, ry - d)};
    }

    bool contains(double px, double py) const
    {
        if (px < left || px > right || py < top || py > bottom)
            return false;
        if (rx <= 0 || ry <= 0)
            return true;
        // The nearest centre of a corner's ellipse; in the straight parts the point itself.
        const double cx = std::clamp(px, left + rx, right - rx);
        const double cy = std::clamp(py, top + ry, bottom - ry);
        const double dx = (px - cx) / rx;
        const double dy = (py - cy) / ry;
        return dx * dx + dy * dy <= 1;
    }

    // The part of pixel (x, y) the shape covers, from 0 to 255. The shape is convex: a pixel
    // whose corners are all inside is inside; others are sampled 4 x 4.
    std::uint8_t coverage(long x, long y) const
    {
        const auto fx = static_cast<double>(x);
        const auto fy = static_cast<double>(y);
        // A pixel beside the shape's box has no sample in it.
        if (fx + 1 <= left || fx >= right || fy + 1 <= top || fy >= bottom)
            return 0;
        if (contains(fx, fy) && contains(fx + 1, fy) && contains(fx, fy + 1) &&
            contains(fx + 1, fy + 1))
            return 255;
        int hits = 0;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j)
                hits += contains(fx + (j + 0.5) / 4, fy + (i + 0.5) / 4) ? 1 : 0;
        }
        return static_cast<std::uint8_t>((hits * 255 + 8) / 16);
    }
};

// The outline of a w x h picture with the layer's corner radius, inset by inset pixels.
RoundRect pictureOutline(std::int64_t w, std::int64_t h, std::int32_t radius, double inset)
{
    const double width = static_cast<double>(w);
    const double height = static_cast<double>(h);
    double rx = radius;
    double ry = radius;
    if (2.0 * radius >= std::min(width, height)) {
        rx = width / 2;
        ry = height / 2;
    }
    return {inset, inset, width - inset, height - inset, std::max(0.0, rx - inset),
            std::max(0.0, ry - inset)};
}

// Draws a border into pixels that hold the part of a frame whose top-left corner is (left, top)
// in the frame: opaque from inner's outline out (none without inner), then, with cut, made
// transparent outside outer; both anti-aliased.
void frameArea(RgbaPixels& pixels, long left, long top, const RoundRect& outer,
               const RoundRect* inner, const std::array<std::uint8_t, 3>& border, bool cut)
{
    const std::size_t w = pixels.width;
    for (std::size_t y = 0; y < pixels.height; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            unsigned char* p = &pixels.bytes[(y * w + x) * 4];
            const long px = left + static_cast<long>(x);
            const long py = top + static_cast<long>(y);
            // The border is opaque up to the outline; the shape's own edge then smooths it.
            if (inner) {
                if (const unsigned line = 255u - inner->coverage(px, py); line > 0) {
                    const unsigned char color[4] = {border[0], border[1], border[2],
                                                    static_cast<unsigned char>(line)};
                    blendPixel(p, color);
                }
            }
            if (cut)
                p[3] = static_cast<unsigned char>((p[3] * outer.coverage(px, py) + 127u) / 255u);
        }
    }
}

} // namespace

bool hasPictureFrame(const Layer& layer)
{
    return layer.cornerRadius > 0 || layer.borderWidth > 0;
}

void framePixels(RgbaPixels& picture, const Layer& layer)
{
    const std::size_t w = picture.width;
    const std::size_t h = picture.height;
    if (!hasPictureFrame(layer) || w == 0 || h == 0)
        return;
    const auto sw = static_cast<std::int64_t>(w);
    const auto sh = static_cast<std::int64_t>(h);
    const RoundRect outer = pictureOutline(sw, sh, layer.cornerRadius, 0);
    const RoundRect inner =
        pictureOutline(sw, sh, layer.cornerRadius, std::max(0, layer.borderWidth));
    const bool rounded = layer.cornerRadius > 0;
    frameArea(picture, 0, 0, outer, layer.borderWidth > 0 ? &inner : nullptr,
              htmlToRgb(layer.borderColor), rounded);
    if (rounded)
        picture.opaque = false;
}

bool overflowStyleAllowsReducedDecode(OverflowStyle style)
{
    return style == OverflowStyle::ShrinkToFit || style == OverflowStyle::FillScale ||
           style == OverflowStyle::ScaleToFit || style == OverflowStyle::Cover;
}

std::optional<PictureFit> fitPictureRect(const Layer& layer, std::int64_t iw, std::int64_t ih)
{
    const std::int64_t w = layer.width;
    const std::int64_t h = layer.height;
    if (w <= 0 || h <= 0 || iw <= 0 || ih <= 0)
        return std::nullopt;
    PictureFit fit{0, 0, iw, ih, layer.x, layer.y, iw, ih};
    const auto place = [&](std::int64_t width, std::int64_t height) {
        fit.width = width;
        fit.height = height;
        fit.x = layer.x + shift(w, width, layer.pHAlign);
        fit.y = layer.y + shift(h, height, layer.pVAlign);
    };
    const auto crop = [&](std::int64_t cx, std::int64_t cy) {
        place(iw, ih);
        fit.sourceX = cx;
        fit.sourceY = cy;
        fit.sourceWidth = fit.width = std::min(w, iw);
        fit.sourceHeight = fit.height = std::min(h, ih);
    };
    std::int64_t nw = iw;
    std::int64_t nh = ih;
    switch (layer.overflow_style) {
    case OverflowStyle::ShrinkToFit:
        if (w < iw || h < ih)
            shrinkSize(iw, ih, w, h, nw, nh);
        place(nw, nh);
        return fit;
    case OverflowStyle::ScaleToFit:
        if (w < iw || h < ih) {
            shrinkSize(iw, ih, w, h, nw, nh);
        } else {
            const double m = std::max(static_cast<double>(iw) / static_cast<double>(w),
                                      static_cast<double>(ih) / static_cast<double>(h));
            nw = std::max<std::int64_t>(1, static_cast<std::int64_t>(static_cast<double>(iw) / m));
            nh = std::max<std::int64_t>(1, static_cast<std::int64_t>(static_cast<double>(ih) / m));
        }
        place(nw, nh);
        return fit;
    case OverflowStyle::FillScale:
        place(w, h);
        return fit;
    case OverflowStyle::CropTopLeft:
        crop(0, 0);
        return fit;
    case OverflowStyle::CropCentre:
        crop(iw > w ? (iw - w) / 2 : 0, ih > h ? (ih - h) / 2 : 0);
        return fit;
    case OverflowStyle::Cover: {
        // The kept part in the picture's own pixels (for the canvas, which scales the source).
        const Cover cover = coverSize(iw, ih, w, h, layer.pHAlign, layer.pVAlign);
        fit.sourceX = cover.left * iw / cover.width;
        fit.sourceY = cover.top * ih / cover.height;
        fit.sourceWidth = std::max<std::int64_t>(1, w * iw / cover.width);
        fit.sourceHeight = std::max<std::int64_t>(1, h * ih / cover.height);
        fit.x = layer.x;
        fit.y = layer.y;
        fit.width = w;
        fit.height = h;
        return fit;
    }
    }
    return std::nullopt;
}

std::optional<FitPosition> fitPixels(const RgbaPixels& picture, std::size_t realWidth,
                                     std::size_t realHeight, const Layer& layer, RgbaPixels& fitted,
                                     RgbaPixels& scaled)
{
    if (picture.empty())
        return std::nullopt;
    const auto iw = static_cast<std::int64_t>(realWidth ? realWidth : picture.width);
    const auto ih = static_cast<std::int64_t>(realHeight ? realHeight : picture.height);
    const std::optional<PictureFit> fit = fitPictureRect(layer, iw, ih);
    if (!fit) {
        // A style this program does not know draws the picture as it is at the layer's corner.
        if (layer.width <= 0 || layer.height <= 0 ||
            !resamplePixels(picture, 0, 0, picture.width, picture.height, picture.width,
                            picture.height, fitted))
            return std::nullopt;
        return FitPosition{layer.x, layer.y};
    }
    const auto width = static_cast<std::size_t>(fit->width);
    const auto height = static_cast<std::size_t>(fit->height);
    // The whole picture scaled to wholeWidth x wholeHeight, then the part at (left, top) of the
    // fit's size cut from it.
    const auto scaleThenCut = [&](std::int64_t wholeWidth, std::int64_t wholeHeight,
                                  std::int64_t left, std::int64_t top) {
        const RgbaPixels* whole = &picture;
        if (static_cast<std::int64_t>(picture.width) != wholeWidth ||
            static_cast<std::int64_t>(picture.height) != wholeHeight) {
            if (!resamplePixels(picture, 0, 0, picture.width, picture.height,
                                static_cast<std::size_t>(wholeWidth),
                                static_cast<std::size_t>(wholeHeight), scaled))
                return false;
            whole = &scaled;
        }
        return resamplePixels(*whole, static_cast<long>(left), static_cast<long>(top), width,
                              height, width, height, fitted);
    };
    bool done = false;
    switch (layer.overflow_style) {
    case OverflowStyle::ScaleToFit:
    case OverflowStyle::ShrinkToFit:
    case OverflowStyle::FillScale:
        done = resamplePixels(picture, 0, 0, picture.width, picture.height, width, height, fitted);
        break;
    case OverflowStyle::CropTopLeft:
    case OverflowStyle::CropCentre:
        // A reduced decode is first scaled up to the real size the crop is measured in.
        done = scaleThenCut(iw, ih, fit->sourceX, fit->sourceY);
        break;
    case OverflowStyle::Cover: {
        // Scaled as a whole, then cut: the scaled size follows from the real size, so a reduced
        // decode gives the same part of the picture.
        const Cover cover =
            coverSize(iw, ih, fit->width, fit->height, layer.pHAlign, layer.pVAlign);
        done = scaleThenCut(cover.width, cover.height, cover.left, cover.top);
        break;
    }
    }
    if (!done)
        return std::nullopt;
    return FitPosition{static_cast<std::int32_t>(fit->x), static_cast<std::int32_t>(fit->y)};
}

std::optional<FitPosition> layerPicture(const RgbaPixels& picture, std::size_t realWidth,
                                        std::size_t realHeight, const Layer& layer,
                                        RgbaPixels& fitted, RgbaPixels& scaled)
{
    const std::int32_t rotation = layerRotation(layer);
    if (rotation == 0) {
        const std::optional<FitPosition> at =
            fitPixels(picture, realWidth, realHeight, layer, fitted, scaled);
        if (at)
            framePixels(fitted, layer);
        return at;
    }
    // Fitted and framed in the layer turned upright, then turned; scaled is free by then to
    // take the turned pixels.
    const Layer frame = uprightFrame(layer);
    const std::optional<FitPosition> upright =
        layerPicture(picture, realWidth, realHeight, frame, fitted, scaled);
    if (!upright)
        return std::nullopt;
    const PixelRect at =
        turnRect({upright->x, upright->y, upright->x + static_cast<long>(fitted.width),
                  upright->y + static_cast<long>(fitted.height)},
                 frame.width, frame.height, rotation);
    turnPixels(fitted, rotation, scaled);
    std::swap(fitted, scaled);
    return FitPosition{static_cast<std::int32_t>(layer.x + at.left),
                       static_cast<std::int32_t>(layer.y + at.top)};
}

bool drawShapePixels(const Layer& layer, RgbaPixels& pixels, PixelRect part)
{
    const long w = layer.width;
    const long h = layer.height;
    part = {std::max(part.left, 0L), std::max(part.top, 0L), std::min(part.right, w),
            std::min(part.bottom, h)};
    const bool fill = !layer.htmlColor.empty();
    const std::int32_t border = std::max(0, layer.borderWidth);
    const std::int32_t opacity = std::clamp(layer.opacity, 0, 100);
    if (w <= 0 || h <= 0 || part.left >= part.right || part.top >= part.bottom ||
        (!fill && border == 0) || opacity == 0)
        return false;
    // A rectangle's radius is at most half its shorter side (a round-ended bar); an ellipse
    // touches the middle of every side.
    const double width = static_cast<double>(w);
    const double height = static_cast<double>(h);
    const bool ellipse = layer.shapeKind == ShapeKind::Ellipse;
    const double radius = std::clamp<double>(layer.cornerRadius, 0, std::min(width, height) / 2);
    const double rx = ellipse ? width / 2 : radius;
    const double ry = ellipse ? height / 2 : radius;
    const RoundRect outer{0, 0, width, height, rx, ry};
    // A border wider than half the shape leaves no inside: the whole shape is border.
    const RoundRect inner = outer.insetBy(border);
    const std::array<std::uint8_t, 3> rgb = htmlToRgb(layer.htmlColor);
    fillPixels(pixels, static_cast<std::size_t>(part.right - part.left),
               static_cast<std::size_t>(part.bottom - part.top),
               fill ? std::array<std::uint8_t, 4>{rgb[0], rgb[1], rgb[2], 255}
                    : std::array<std::uint8_t, 4>{0, 0, 0, 0});
    frameArea(pixels, part.left, part.top, outer, border > 0 ? &inner : nullptr,
              htmlToRgb(layer.borderColor), true);
    if (opacity < 100) {
        for (std::size_t i = 3; i < pixels.bytes.size(); i += 4)
            pixels.bytes[i] = static_cast<unsigned char>((pixels.bytes[i] * opacity + 50) / 100);
    }
    pixels.opaque = false;
    return true;
}

} // namespace torvale
