#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <wand/MagickWand.h>

namespace torvale {

struct MagickWandDeleter {
    void operator()(MagickWand* wand) const
    {
        if (wand)
            DestroyMagickWand(wand);
    }
};
struct PixelWandDeleter {
    void operator()(PixelWand* wand) const
    {
        if (wand)
            DestroyPixelWand(wand);
    }
};
struct MagickMemoryDeleter {
    void operator()(void* memory) const
    {
        if (memory)
            MagickRelinquishMemory(memory);
    }
};

struct ImageInfoDeleter {
    void operator()(ImageInfo* info) const { DestroyImageInfo(info); }
};
struct ExceptionInfoDeleter {
    void operator()(ExceptionInfo* exception) const { DestroyExceptionInfo(exception); }
};
struct ImageListDeleter {
    void operator()(Image* images) const { DestroyImageList(images); }
};

using MagickWandPtr = std::unique_ptr<MagickWand, MagickWandDeleter>;
using ImageInfoPtr = std::unique_ptr<ImageInfo, ImageInfoDeleter>;
using ExceptionInfoPtr = std::unique_ptr<ExceptionInfo, ExceptionInfoDeleter>;
using ImageListPtr = std::unique_ptr<Image, ImageListDeleter>;
using PixelWandPtr = std::unique_ptr<PixelWand, PixelWandDeleter>;
template <typename T> using MagickMemoryPtr = std::unique_ptr<T, MagickMemoryDeleter>;

/// Sets a pixel wand to a colour string ("none", "#RRGGBB" or any colour the library knows);
/// false when the colour is not understood.
bool setPixelColor(PixelWand* pixel, const std::string& color);

/// Red, green and blue of a "#RRGGBB" colour text (black for any other text).
std::array<std::uint8_t, 3> htmlToRgb(const std::string& color);

/// A new image of width x height filled with a colour string ("none", "#ffffff", "#RRGGBB");
/// nothing when it cannot be created.
MagickWandPtr newCanvas(std::size_t width, std::size_t height, const char* color);

/// An image's pixels as 8-bit red, green, blue and alpha, row after row.
struct RgbaPixels {
    std::vector<unsigned char> bytes;
    std::size_t width = 0;
    std::size_t height = 0;
    bool opaque = false; // the image has no alpha channel: every alpha is 255

    bool empty() const { return bytes.empty(); }
};

/// The size of an image whose pixels can be exported; false when there is no image or it is
/// empty.
bool exportablePixels(MagickWand* image, std::size_t& width, std::size_t& height);

/// The pixels of an image; empty when there is none or they cannot be read.
RgbaPixels exportRgba(MagickWand* image);
/// The pixels of an image into pixels, keeping the memory they already have when that is
/// enough; false when there is no image or its pixels cannot be read.
bool exportRgba(MagickWand* image, RgbaPixels& pixels);

/// A new image of straight-alpha RGBA pixels; nothing when there are none or it cannot be made.
MagickWandPtr importRgba(const RgbaPixels& pixels);

/// The wand's current exception text ("" when there is none); clears the exception.
std::string magickExceptionText(MagickWand* wand);

} // namespace torvale
