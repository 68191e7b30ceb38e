#include "render/card_pixels.h"

#include <algorithm>
#include <cstring>

namespace torvale {

namespace {

// v / 255 rounded to the nearest, for v up to 255 * 255.
inline unsigned divide255(unsigned v)
{
    v += 128;
    return (v + (v >> 8)) >> 8;
}

} // namespace

void blendPixel(unsigned char* d, const unsigned char* s)
{
    const unsigned a = s[3];
    if (a == 255) {
        std::memcpy(d, s, 4);
        return;
    }
    if (a == 0)
        return;
    const unsigned b = d[3];
    if (b == 255) {
        for (int c = 0; c < 3; ++c)
            d[c] = static_cast<unsigned char>(divide255(s[c] * a + d[c] * (255 - a)));
        return;
    }
    // Weights scaled by 255 * 255: the source's a * 255, the card's b * (255 - a).
    const unsigned ws = a * 255;
    const unsigned wd = b * (255 - a);
    const unsigned total = ws + wd;
    for (int c = 0; c < 3; ++c)
        d[c] = static_cast<unsigned char>((s[c] * ws + d[c] * wd + total / 2) / total);
    d[3] = static_cast<unsigned char>((total + 127) / 255);
}

void fillPixels(RgbaPixels& pixels, std::size_t width, std::size_t height,
                const std::array<std::uint8_t, 4>& color)
{
    pixels.width = width;
    pixels.height = height;
    pixels.opaque = color[3] == 255;
    pixels.bytes.resize(width * height * 4);
    if (color[0] == color[1] && color[1] == color[2] && color[2] == color[3]) {
        std::memset(pixels.bytes.data(), color[0], pixels.bytes.size());
        return;
    }
    for (std::size_t i = 0; i < pixels.bytes.size(); i += 4)
        std::memcpy(&pixels.bytes[i], color.data(), 4);
}

PixelRect blendOver(RgbaPixels& dst, const RgbaPixels& src, long x, long y, PixelRect clip)
{
    const long left = std::max({clip.left, x, 0L});
    const long top = std::max({clip.top, y, 0L});
    const long right =
        std::min({clip.right, x + static_cast<long>(src.width), static_cast<long>(dst.width)});
    const long bottom =
        std::min({clip.bottom, y + static_cast<long>(src.height), static_cast<long>(dst.height)});
    if (right <= left || bottom <= top || src.bytes.size() < src.width * src.height * 4)
        return {};
    const auto count = static_cast<std::size_t>(right - left);
    for (long row = top; row < bottom; ++row) {
        const unsigned char* s = src.bytes.data() + (static_cast<std::size_t>(row - y) * src.width +
                                                     static_cast<std::size_t>(left - x)) *
                                                        4;
        unsigned char* d =
            dst.bytes.data() +
            (static_cast<std::size_t>(row) * dst.width + static_cast<std::size_t>(left)) * 4;
        if (src.opaque) {
            std::memcpy(d, s, count * 4);
            continue;
        }
        for (std::size_t i = 0; i < count; ++i)
            blendPixel(d + 4 * i, s + 4 * i);
    }
    return {left, top, right, bottom};
}

PixelRect blendOver(RgbaPixels& dst, const RgbaPixels& src, long x, long y)
{
    return blendOver(dst, src, x, y,
                     {0, 0, static_cast<long>(dst.width), static_cast<long>(dst.height)});
}

} // namespace torvale
