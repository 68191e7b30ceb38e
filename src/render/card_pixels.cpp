#include "render/card_pixels.h"

#include <algorithm>
#include <cstddef>
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

std::int32_t layerRotation(const Layer& layer)
{
    const std::int32_t rotation = layer.rotation;
    return rotation == 90 || rotation == 180 || rotation == 270 ? rotation : 0;
}

Layer uprightFrame(const Layer& layer)
{
    Layer frame = layer;
    if (layerRotation(layer) % 180 != 0)
        std::swap(frame.width, frame.height);
    frame.x = 0;
    frame.y = 0;
    frame.rotation = 0;
    return frame;
}

PixelRect turnRect(const PixelRect& rect, long frameWidth, long frameHeight, std::int32_t rotation)
{
    switch (rotation) {
    case 90:
        return {frameHeight - rect.bottom, rect.left, frameHeight - rect.top, rect.right};
    case 180:
        return {frameWidth - rect.right, frameHeight - rect.bottom, frameWidth - rect.left,
                frameHeight - rect.top};
    case 270:
        return {rect.top, frameWidth - rect.right, rect.bottom, frameWidth - rect.left};
    default:
        return rect;
    }
}

void turnPixels(const RgbaPixels& pixels, std::int32_t rotation, RgbaPixels& turned)
{
    const std::size_t w = pixels.width;
    const std::size_t h = pixels.height;
    const bool quarter = rotation == 90 || rotation == 270;
    turned.width = quarter ? h : w;
    turned.height = quarter ? w : h;
    turned.opaque = pixels.opaque;
    turned.bytes.resize(w * h * 4);
    if (pixels.bytes.size() < w * h * 4)
        return;
    // The turned pixel of (x, y), counted in pixels: start + x * across + y * down.
    const auto sw = static_cast<std::ptrdiff_t>(w);
    const auto sh = static_cast<std::ptrdiff_t>(h);
    std::ptrdiff_t start = 0;
    std::ptrdiff_t across = 1;
    std::ptrdiff_t down = sw;
    if (rotation == 90) {
        start = sh - 1;
        across = sh;
        down = -1;
    } else if (rotation == 180) {
        start = sw * sh - 1;
        across = -1;
        down = -sw;
    } else if (rotation == 270) {
        start = (sw - 1) * sh;
        across = -sh;
        down = 1;
    }
    const unsigned char* from = pixels.bytes.data();
    unsigned char* to = turned.bytes.data();
    for (std::ptrdiff_t y = 0; y < sh; ++y) {
        std::ptrdiff_t at = start + y * down;
        for (std::ptrdiff_t x = 0; x < sw; ++x, at += across, from += 4)
            std::memcpy(to + at * 4, from, 4);
    }
}

} // namespace torvale
