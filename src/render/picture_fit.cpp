#include "render/picture_fit.h"

#include <algorithm>

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

} // namespace

bool overflowStyleAllowsReducedDecode(OverflowStyle style)
{
    return style == OverflowStyle::ShrinkToFit || style == OverflowStyle::FillScale ||
           style == OverflowStyle::ScaleToFit;
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
    }
    return position;
}

} // namespace torvale
