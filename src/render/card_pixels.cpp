#include "render/card_pixels.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <new>

namespace torvale {

namespace {

constexpr double kQuantumScale = 1.0 / 65535.0;

// A 16-bit value as an 8-bit one, as the writer of the card will make it.
template <ToEightBits mode> inline unsigned char toByte(unsigned quantum)
{
    if constexpr (mode == ToEightBits::Down)
        return static_cast<unsigned char>(quantum / 257);
    return static_cast<unsigned char>(((quantum + 128) - ((quantum + 128) >> 8)) >> 8);
}

// A composited value stored in 16 bits, as the library clamps and rounds it.
inline unsigned toQuantum(double value)
{
    if (value <= 0)
        return 0;
    if (value >= 65535)
        return 65535;
    return static_cast<unsigned>(value + 0.5);
}

template <ToEightBits mode> inline void blendPixel(unsigned char* d, const std::uint16_t* s)
{
    const unsigned a = s[3];
    if (a == 65535) {
        for (int c = 0; c < 3; ++c)
            d[c] = toByte<mode>(s[c]);
        d[3] = 255;
        return;
    }
    if (a == 0) {
        if (d[3] == 0)
            std::memset(d, 0, 4);
        return;
    }
    // The library's "over" on opacities: Sa and Da the source's and the card's alpha.
    const double sa = 1.0 - kQuantumScale * static_cast<double>(65535 - a);
    const double da = 1.0 - kQuantumScale * static_cast<double>(65535 - d[3] * 257u);
    const double gamma = sa + da - sa * da;
    const double reciprocal = 1.0 / gamma;
    for (int c = 0; c < 3; ++c) {
        const double over = sa * s[c] + da * (d[c] * 257.0) * (1.0 - sa);
        d[c] = toByte<mode>(toQuantum(reciprocal * over));
    }
    d[3] = toByte<mode>(toQuantum(65535.0 * gamma));
}

} // namespace

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

bool exportWide(MagickWand* image, WidePixels& pixels)
{
    std::size_t width = 0;
    std::size_t height = 0;
    pixels.width = pixels.height = 0;
    if (!exportablePixels(image, width, height))
        return false;
    pixels.values.resize(width * height * 4);
    if (MagickExportImagePixels(image, 0, 0, width, height, "RGBA", ShortPixel,
                                pixels.values.data()) == MagickFalse)
        return false;
    pixels.width = width;
    pixels.height = height;
    return true;
}

void widen(const RgbaPixels& pixels, WidePixels& wide)
{
    wide.width = pixels.width;
    wide.height = pixels.height;
    wide.values.resize(pixels.bytes.size());
    for (std::size_t i = 0; i < pixels.bytes.size(); ++i)
        wide.values[i] = static_cast<std::uint16_t>(pixels.bytes[i] * 257u);
}

PixelRect blendOver(RgbaPixels& dst, const WidePixels& src, long x, long y, ToEightBits mode,
                    PixelRect clip)
{
    const long left = std::max({clip.left, x, 0L});
    const long top = std::max({clip.top, y, 0L});
    const long right =
        std::min({clip.right, x + static_cast<long>(src.width), static_cast<long>(dst.width)});
    const long bottom =
        std::min({clip.bottom, y + static_cast<long>(src.height), static_cast<long>(dst.height)});
    if (right <= left || bottom <= top)
        return {};
    for (long row = top; row < bottom; ++row) {
        const std::uint16_t* s =
            src.values.data() +
            (static_cast<std::size_t>(row - y) * src.width + static_cast<std::size_t>(left - x)) *
                4;
        unsigned char* d =
            dst.bytes.data() +
            (static_cast<std::size_t>(row) * dst.width + static_cast<std::size_t>(left)) * 4;
        const long count = right - left;
        if (mode == ToEightBits::Down) {
            for (long i = 0; i < count; ++i)
                blendPixel<ToEightBits::Down>(d + 4 * i, s + 4 * i);
        } else {
            for (long i = 0; i < count; ++i)
                blendPixel<ToEightBits::Nearest>(d + 4 * i, s + 4 * i);
        }
    }
    return {left, top, right, bottom};
}

PixelRect blendOver(RgbaPixels& dst, const WidePixels& src, long x, long y, ToEightBits mode)
{
    return blendOver(dst, src, x, y, mode,
                     {0, 0, static_cast<long>(dst.width), static_cast<long>(dst.height)});
}

namespace {

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to where
// the compression started.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// A destination that writes into a vector, growing it as the encoder fills it.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<unsigned char>* out;
};

void startVector(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    std::vector<unsigned char>& out = *destination->out;
    out.resize(std::max<std::size_t>(out.capacity(), 64 * 1024));
    destination->manager.next_output_byte = out.data();
    destination->manager.free_in_buffer = out.size();
}

boolean growVector(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    std::vector<unsigned char>& out = *destination->out;
    const std::size_t used = out.size();
    out.resize(used * 2);
    destination->manager.next_output_byte = out.data() + used;
    destination->manager.free_in_buffer = out.size() - used;
    return TRUE;
}

void finishVector(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    destination->out->resize(destination->out->size() - destination->manager.free_in_buffer);
}

// Kept apart from anything with a destructor: a jump out of libjpeg skips destructors.
bool compress(jpeg_compress_struct& info, JpegError& error, VectorDestination& destination,
              const RgbaPixels& pixels, int quality, std::int32_t dpi)
{
    if (setjmp(error.jump)) {
        jpeg_abort_compress(&info);
        return false;
    }
    info.dest = &destination.manager;
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(&info);
    info.write_JFIF_header = TRUE;
    info.density_unit = 1; // dots per inch
    info.X_density = info.Y_density = static_cast<UINT16>(std::clamp<std::int32_t>(dpi, 1, 65535));
    // The image library's own choices: the fast integer DCT, standard Huffman tables (as the
    // card writer asks), 4:4:4 from quality 90 on.
    info.dct_method = JDCT_IFAST;
    info.optimize_coding = FALSE;
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    if (quality >= 90) {
        for (int i = 0; i < info.num_components; ++i)
            info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = pixels.width * 4;
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(pixels.bytes.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

bool encodeJpeg(const RgbaPixels& pixels, int quality, std::int32_t dpi,
                std::vector<unsigned char>& out)
{
    if (pixels.width == 0 || pixels.height == 0 || pixels.width > JPEG_MAX_DIMENSION ||
        pixels.height > JPEG_MAX_DIMENSION)
        return false;
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnError;
    jpeg_create_compress(&info);
    VectorDestination destination{};
    destination.manager.init_destination = startVector;
    destination.manager.empty_output_buffer = growVector;
    destination.manager.term_destination = finishVector;
    destination.out = &out;
    bool done = false;
    try {
        done = compress(info, error, destination, pixels, quality, dpi);
    } catch (const std::bad_alloc&) {
        done = false;
    }
    jpeg_destroy_compress(&info);
    if (!done)
        out.clear();
    return done;
}

} // namespace torvale
