#include "render/card_encode.h"

#include "common/text.h"
#include "render/png8.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <new>
#include <png.h>

namespace torvale {

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
    // The fast integer DCT and standard Huffman tables: optimised tables cost encode time and
    // change no pixel. 4:4:4 from quality 90 on keeps coloured text sharp.
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

// Where libpng's write callbacks put the bytes.
struct PngSink {
    std::vector<unsigned char>* out;
    std::string error;
};

void writeToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        sink->out->insert(sink->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        grown = false; // no exception may pass through libpng: it jumps out instead
    }
    if (!grown)
        png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

[[noreturn]] void pngError(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    sink->error = message ? message : "libpng error";
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Kept apart from anything with a destructor: a jump out of libpng skips destructors.
bool writePng(png_structp png, png_infop info, const RgbaPixels& pixels, bool alpha,
              std::int32_t dpi)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width),
                 static_cast<png_uint_32>(pixels.height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (dpi > 0) {
        const auto perMetre = static_cast<png_uint_32>(std::lround(dpi / 0.0254));
        png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    }
    // zlib level 5 with adaptive filtering: a few percent larger than level 7 and three times
    // faster on photo-like cards.
    png_set_compression_level(png, 5);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_write_info(png, info);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER); // the rows hold RGBA; RGB is written
    const std::size_t stride = pixels.width * 4;
    for (std::size_t y = 0; y < pixels.height; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels.bytes.data() + y * stride));
    png_write_end(png, info);
    return true;
}

// A JPEG written by the image library: the pixels converted to the output's colour space.
bool encodeConvertedJpeg(const RgbaPixels& pixels, const OutputSettings& output, std::int32_t dpi,
                         std::vector<unsigned char>& out, std::string& error)
{
    MagickWandPtr wand(NewMagickWand());
    if (!wand || MagickConstituteImage(wand.get(), pixels.width, pixels.height, "RGBA", CharPixel,
                                       pixels.bytes.data()) == MagickFalse) {
        error = wand ? magickExceptionText(wand.get()) : std::string();
        return false;
    }
    MagickSetImageAlphaChannel(wand.get(), DeactivateAlphaChannel);
    MagickSetImageUnits(wand.get(), PixelsPerInchResolution);
    MagickSetImageResolution(wand.get(), dpi, dpi);
    MagickSetImageFormat(wand.get(), "JPEG");
    MagickSetImageCompression(wand.get(), JPEGCompression);
    MagickSetImageCompressionQuality(wand.get(), static_cast<std::size_t>(output.quality));
    MagickSetOption(wand.get(), "jpeg:optimize-coding", "false");
    MagickSetImageDepth(wand.get(), 8);
    const ColorspaceType colorspace = output.colorspace == OutputColorspace::Cmyk   ? CMYKColorspace
                                      : output.colorspace == OutputColorspace::Gray ? GRAYColorspace
                                      : output.colorspace == OutputColorspace::Rgb  ? RGBColorspace
                                                                                   : sRGBColorspace;
    if (colorspace != sRGBColorspace)
        MagickTransformImageColorspace(wand.get(), colorspace);
    std::size_t length = 0;
    MagickMemoryPtr<unsigned char> blob(MagickGetImageBlob(wand.get(), &length));
    if (!blob || length == 0) {
        error = magickExceptionText(wand.get());
        return false;
    }
    out.assign(blob.get(), blob.get() + length);
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

bool encodePng(const RgbaPixels& pixels, bool alpha, std::int32_t dpi,
               std::vector<unsigned char>& out, std::string& error)
{
    out.clear();
    if (pixels.width == 0 || pixels.height == 0 ||
        pixels.bytes.size() != pixels.width * pixels.height * 4 || pixels.width > PNG_UINT_31_MAX ||
        pixels.height > PNG_UINT_31_MAX) {
        error = "no pixels to encode";
        return false;
    }
    PngSink sink{&out, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    png_set_write_fn(png, &sink, writeToVector, flushNothing);
    const bool done = writePng(png, info, pixels, alpha, dpi);
    png_destroy_write_struct(&png, &info);
    if (!done) {
        error = sink.error;
        out.clear();
    }
    return done;
}

std::optional<EncodedCard> encodeCard(const RgbaPixels& pixels, const OutputSettings& output,
                                      std::int32_t dpi, LogSink& log, std::atomic<bool>& stop,
                                      std::size_t sizeHint)
{
    EncodedCard card;
    card.extension = cardExtension(output.format);
    // Room for about the last card's size, so that the bytes are not copied as they grow.
    card.bytes.reserve(sizeHint + sizeHint / 4);
    std::string error;
    if (output.format == OutputFormat::Png && output.isSaveToPng8) {
        auto bytes = encodePng8(pixels, output.colorCount, dpi, log);
        if (!bytes) {
            stop.store(true);
            return std::nullopt;
        }
        card.bytes = std::move(*bytes);
        card.png8 = true;
        return card;
    }
    bool done = false;
    if (output.format == OutputFormat::Png) {
        done = encodePng(pixels, output.transparent_open, dpi, card.bytes, error);
    } else {
        // A JPEG larger than the encoder takes goes to the image library too, which says why.
        done = output.colorspace == OutputColorspace::SRgb &&
               encodeJpeg(pixels, output.quality, dpi, card.bytes);
        if (!done)
            done = encodeConvertedJpeg(pixels, output, dpi, card.bytes, error);
    }
    if (!done) {
        log.log(formatText("编码图片时发生错误:\r\n%s\r\n", error.c_str()));
        return std::nullopt;
    }
    return card;
}

} // namespace torvale
