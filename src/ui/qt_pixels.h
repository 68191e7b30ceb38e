#pragma once

#include "render/magick.h"

#include <QImage>

namespace torvale {

/// The pixels as an image to paint (a null image for none).
inline QImage toQImage(const RgbaPixels& pixels)
{
    if (pixels.empty())
        return {};
    const QImage view(pixels.bytes.data(), static_cast<int>(pixels.width),
                      static_cast<int>(pixels.height), static_cast<qsizetype>(pixels.width * 4),
                      QImage::Format_RGBA8888);
    // The formats painting is fastest with; the conversion copies the pixels.
    return view.convertToFormat(pixels.opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
}

} // namespace torvale
