#include "render/magick.h"

#include "common/text.h"

namespace torvale {

std::array<std::uint8_t, 3> htmlToRgb(const std::string& color)
{
    const std::uint32_t value = htmlToColor(color).value_or(0); // 0x00BBGGRR
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16)};
}

bool setPixelColor(PixelWand* pixel, const std::string& color)
{
    // The library's colour-name lookup walks a shared list and now and then fails when
    // several threads draw at once; the colours cards use are set directly. The packet also
    // carries the alpha flag, without which a transparent canvas comes out opaque black.
    MagickPixelPacket packet;
    GetMagickPixelPacket(nullptr, &packet);
    if (color == "none") {
        packet.matte = MagickTrue;
        packet.red = packet.green = packet.blue = 0;
        packet.opacity = QuantumRange;
        PixelSetMagickColor(pixel, &packet);
        return true;
    }
    if (color.size() == 7 && color[0] == '#') {
        MagickRealType* channels[] = {&packet.red, &packet.green, &packet.blue};
        for (int i = 0; i < 3; ++i) {
            const int high = hexDigitValue(color[1 + 2 * i]);
            const int low = hexDigitValue(color[2 + 2 * i]);
            if (high < 0 || low < 0)
                return PixelSetColor(pixel, color.c_str()) != MagickFalse;
            *channels[i] = (high * 16 + low) * (QuantumRange / 255.0);
        }
        packet.matte = MagickFalse;
        packet.opacity = OpaqueOpacity;
        PixelSetMagickColor(pixel, &packet);
        return true;
    }
    return PixelSetColor(pixel, color.c_str()) != MagickFalse;
}

MagickWandPtr newCanvas(std::size_t width, std::size_t height, const char* color)
{
    if (width == 0 || height == 0)
        return nullptr;
    MagickWandPtr wand(NewMagickWand());
    PixelWandPtr fill(NewPixelWand());
    if (!wand || !fill || !setPixelColor(fill.get(), color))
        return nullptr;
    if (MagickNewImage(wand.get(), width, height, fill.get()) == MagickFalse)
        return nullptr;
    return wand;
}

std::string magickExceptionText(MagickWand* wand)
{
    if (!wand)
        return {};
    ExceptionType severity = UndefinedException;
    MagickMemoryPtr<char> description(MagickGetException(wand, &severity));
    MagickClearException(wand);
    if (severity == UndefinedException || !description)
        return {};
    return description.get();
}

bool exportablePixels(MagickWand* image, std::size_t& width, std::size_t& height)
{
    width = height = 0;
    if (!image || MagickGetNumberImages(image) == 0)
        return false;
    width = MagickGetImageWidth(image);
    height = MagickGetImageHeight(image);
    return width > 0 && height > 0;
}

bool exportRgba(MagickWand* image, RgbaPixels& pixels)
{
    std::size_t width = 0;
    std::size_t height = 0;
    pixels.width = pixels.height = 0;
    if (!exportablePixels(image, width, height))
        return false;
    pixels.bytes.resize(width * height * 4);
    if (MagickExportImagePixels(image, 0, 0, width, height, "RGBA", CharPixel,
                                pixels.bytes.data()) == MagickFalse) {
        pixels.bytes.clear();
        return false;
    }
    pixels.width = width;
    pixels.height = height;
    pixels.opaque = MagickGetImageAlphaChannel(image) == MagickFalse;
    return true;
}

RgbaPixels exportRgba(MagickWand* image)
{
    RgbaPixels pixels;
    if (!exportRgba(image, pixels))
        pixels.bytes.clear();
    return pixels;
}

MagickWandPtr importRgba(const RgbaPixels& pixels)
{
    if (pixels.empty())
        return nullptr;
    MagickWandPtr image(NewMagickWand());
    if (!image || MagickConstituteImage(image.get(), pixels.width, pixels.height, "RGBA", CharPixel,
                                        pixels.bytes.data()) == MagickFalse)
        return nullptr;
    return image;
}

} // namespace torvale
