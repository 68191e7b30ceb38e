#include "render/picture_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <new>
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

bool resize(MagickWand* picture, std::int64_t width, std::int64_t height)
{
    return MagickResizeImage(picture, static_cast<std::size_t>(width),
                             static_cast<std::size_t>(height), LanczosFilter, 1.0) != MagickFalse;
}

// A resize to the size the picture already has is skipped unless the style always resizes.
void resizeUnlessSame(MagickWand* picture, std::int64_t width, std::int64_t height)
{
    if (static_cast<std::int64_t>(MagickGetImageWidth(picture)) != width ||
        static_cast<std::int64_t>(MagickGetImageHeight(picture)) != height)
        resize(picture, width, height);
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

// An image of w x h in one colour whose alpha is given per pixel.
MagickWandPtr alphaImage(std::size_t w, std::size_t h, const std::array<std::uint8_t, 3>& rgb,
                         const std::vector<std::uint8_t>& alpha)
{
    std::vector<std::uint8_t> pixels(w * h * 4);
    for (std::size_t i = 0; i < w * h; ++i) {
        pixels[i * 4] = rgb[0];
        pixels[i * 4 + 1] = rgb[1];
        pixels[i * 4 + 2] = rgb[2];
        pixels[i * 4 + 3] = alpha[i];
    }
    MagickWandPtr image(NewMagickWand());
    if (!image ||
        MagickConstituteImage(image.get(), w, h, "RGBA", CharPixel, pixels.data()) == MagickFalse)
        return nullptr;
    return image;
}

bool framePictureUnguarded(MagickWand* picture, const Layer& layer)
{
    const std::size_t w = MagickGetImageWidth(picture);
    const std::size_t h = MagickGetImageHeight(picture);
    if (w == 0 || h == 0)
        return true;
    const auto sw = static_cast<std::int64_t>(w);
    const auto sh = static_cast<std::int64_t>(h);
    const RoundRect outer = pictureOutline(sw, sh, layer.cornerRadius, 0);
    const RoundRect inner =
        pictureOutline(sw, sh, layer.cornerRadius, std::max(0, layer.borderWidth));
    std::vector<std::uint8_t> shape(w * h);
    std::vector<std::uint8_t> border(layer.borderWidth > 0 ? w * h : 0);
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t i = y * w + x;
            shape[i] = outer.coverage(static_cast<long>(x), static_cast<long>(y));
            // The border is opaque up to the outline; the shape's own edge then smooths it.
            if (!border.empty())
                border[i] = static_cast<std::uint8_t>(
                    255 - inner.coverage(static_cast<long>(x), static_cast<long>(y)));
        }
    }
    MagickSetImageAlphaChannel(picture, SetAlphaChannel);
    if (!border.empty()) {
        const MagickWandPtr line = alphaImage(w, h, htmlToRgb(layer.borderColor), border);
        if (!line || MagickCompositeImage(picture, line.get(), OverCompositeOp, 0, 0) == MagickFalse)
            return false;
    }
    if (layer.cornerRadius <= 0)
        return true;
    const MagickWandPtr mask = alphaImage(w, h, {255, 255, 255}, shape);
    return mask && MagickCompositeImage(picture, mask.get(), DstInCompositeOp, 0, 0) != MagickFalse;
}

} // namespace

bool hasPictureFrame(const Layer& layer)
{
    return layer.cornerRadius > 0 || layer.borderWidth > 0;
}

bool framePicture(MagickWand* picture, const Layer& layer)
{
    if (!picture || !hasPictureFrame(layer))
        return true;
    try {
        return framePictureUnguarded(picture, layer);
    } catch (const std::bad_alloc&) {
        return false; // drawn square: the masks of a huge picture did not fit in memory
    }
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

FitPosition fitPicture(MagickWand* picture, const Layer& layer, std::size_t sourceWidth,
                       std::size_t sourceHeight)
{
    FitPosition position{layer.x, layer.y};
    if (!picture || MagickGetNumberImages(picture) == 0)
        return position;
    const std::int64_t iw = sourceWidth ? sourceWidth : MagickGetImageWidth(picture);
    const std::int64_t ih = sourceHeight ? sourceHeight : MagickGetImageHeight(picture);
    const std::optional<PictureFit> fit = fitPictureRect(layer, iw, ih);
    if (!fit)
        return position;
    position = {static_cast<std::int32_t>(fit->x), static_cast<std::int32_t>(fit->y)};
    switch (layer.overflow_style) {
    case OverflowStyle::ScaleToFit:
        resize(picture, fit->width, fit->height);
        break;
    case OverflowStyle::ShrinkToFit:
    case OverflowStyle::FillScale:
        resizeUnlessSame(picture, fit->width, fit->height);
        break;
    case OverflowStyle::CropTopLeft:
    case OverflowStyle::CropCentre:
        // A reduced decode is first scaled up to the real size the crop is measured in.
        resizeUnlessSame(picture, iw, ih);
        MagickSetImagePage(picture, static_cast<std::size_t>(iw), static_cast<std::size_t>(ih), 0,
                           0);
        MagickCropImage(picture, static_cast<std::size_t>(layer.width),
                        static_cast<std::size_t>(layer.height), fit->sourceX, fit->sourceY);
        MagickSetImagePage(picture, static_cast<std::size_t>(layer.width),
                           static_cast<std::size_t>(layer.height), 0, 0);
        break;
    case OverflowStyle::Cover: {
        // Scaled as a whole, then cut: the scaled size follows from the real size, so a reduced
        // decode gives the same part of the picture.
        const Cover cover = coverSize(iw, ih, fit->width, fit->height, layer.pHAlign,
                                      layer.pVAlign);
        resizeUnlessSame(picture, cover.width, cover.height);
        MagickSetImagePage(picture, static_cast<std::size_t>(cover.width),
                           static_cast<std::size_t>(cover.height), 0, 0);
        MagickCropImage(picture, static_cast<std::size_t>(fit->width),
                        static_cast<std::size_t>(fit->height), cover.left, cover.top);
        MagickSetImagePage(picture, static_cast<std::size_t>(fit->width),
                           static_cast<std::size_t>(fit->height), 0, 0);
        break;
    }
    }
    return position;
}

} // namespace torvale
