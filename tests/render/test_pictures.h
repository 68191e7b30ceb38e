#pragma once

#include "render/magick.h"

#include <array>
#include <string>
#include <vector>

namespace torvale::test {

/// A picture whose pixel (x, y) has red = x, green = y and blue = 0 (16-bit values), so that
/// a crop can be located from its pixels.
inline MagickWandPtr coordinatePicture(std::size_t width, std::size_t height)
{
    MagickWandPtr wand = newCanvas(width, height, "black");
    std::vector<unsigned short> pixels(width * height * 3, 0);
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            pixels[(y * width + x) * 3] = static_cast<unsigned short>(x);
            pixels[(y * width + x) * 3 + 1] = static_cast<unsigned short>(y);
        }
    }
    MagickImportImagePixels(wand.get(), 0, 0, width, height, "RGB", ShortPixel, pixels.data());
    return wand;
}

/// The 16-bit red, green and blue of one pixel.
inline std::array<unsigned short, 3> pixelAt(MagickWand* wand, long x, long y)
{
    std::array<unsigned short, 3> rgb{};
    MagickExportImagePixels(wand, x, y, 1, 1, "RGB", ShortPixel, rgb.data());
    return rgb;
}

/// The picture encoded in a format ("PNG", "JPEG", "GIF", ...), all of its frames.
inline std::string encodePicture(MagickWand* wand, const char* format)
{
    MagickSetImageFormat(wand, format);
    MagickSetFormat(wand, format);
    std::size_t length = 0;
    MagickMemoryPtr<unsigned char> blob(MagickGetImagesBlob(wand, &length));
    return blob ? std::string(reinterpret_cast<const char*>(blob.get()), length) : std::string();
}

/// A width x height picture in one colour, encoded in a format.
inline std::string solidPictureBytes(std::size_t width, std::size_t height, const char* color,
                                     const char* format)
{
    MagickWandPtr wand = newCanvas(width, height, color);
    return encodePicture(wand.get(), format);
}

} // namespace torvale::test
