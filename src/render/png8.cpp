#include "render/png8.h"

#include "common/text.h"

#include <cmath>
#include <cstdlib>
#include <libimagequant.h>
#include <lodepng.h>
#include <memory>

namespace torvale {

namespace {

struct LiqAttrDeleter {
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
};
struct LiqImageDeleter {
    void operator()(liq_image* image) const { liq_image_destroy(image); }
};
struct LiqResultDeleter {
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};
struct LodePngState {
    LodePngState() { lodepng_state_init(&state); }
    ~LodePngState() { lodepng_state_cleanup(&state); }
    LodePngState(const LodePngState&) = delete;
    LodePngState& operator=(const LodePngState&) = delete;
    LodePNGState state;
};
struct FreeDeleter {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

constexpr const char* kSupportLine =
    "--- 如果问题一再出现，请访问 Torvale 官方网站联系客服并附上以上信息。\r\n";

} // namespace

std::string png8FailureText(const std::string& firstLine, const std::string& systemError)
{
    return firstLine + kSupportLine + (systemError.empty() ? "" : systemError + "\r\n");
}

std::optional<std::vector<unsigned char>> encodePng8(const RgbaPixels& card, int colorCount,
                                                     int dpi, LogSink& log)
{
    const auto fail = [&log](const std::string& firstLine) {
        log.log(png8FailureText(firstLine));
        return std::nullopt;
    };

    const std::size_t width = card.width;
    const std::size_t height = card.height;
    if (card.empty() || card.bytes.size() != width * height * 4)
        return fail("MagickExportImagePixels() error.\r\n");
    // The quantiser reads the pixels without changing them.
    auto* pixels = const_cast<unsigned char*>(card.bytes.data());

    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    if (!attr)
        return fail("liq_image_quantize() error.\r\n");
    std::unique_ptr<liq_image, LiqImageDeleter> image(
        liq_image_create_rgba(attr.get(), pixels, static_cast<int>(width),
                              static_cast<int>(height), 0));
    if (!image)
        return fail("liq_image_quantize() error.\r\n");
    if (colorCount >= 2 && colorCount <= 256)
        liq_set_max_colors(attr.get(), colorCount);

    liq_result* rawResult = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK || !rawResult)
        return fail("liq_image_quantize() error.\r\n");
    std::unique_ptr<liq_result, LiqResultDeleter> result(rawResult);

    liq_set_dithering_level(result.get(), 1.0f);
    std::vector<unsigned char> indices(width * height);
    if (liq_write_remapped_image(result.get(), image.get(), indices.data(), indices.size()) !=
        LIQ_OK)
        return fail("liq_write_remapped_image() error.\r\n");
    const liq_palette* palette = liq_get_palette(result.get());

    LodePngState encoder;
    LodePNGState& state = encoder.state;
    state.info_raw.colortype = LCT_PALETTE;
    state.info_raw.bitdepth = 8;
    state.info_png.color.colortype = LCT_PALETTE;
    state.info_png.color.bitdepth = 8;
    // Without this LodePNG may pick another colour type than the palette we give it.
    state.encoder.auto_convert = 0;
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        lodepng_palette_add(&state.info_raw, c.r, c.g, c.b, c.a);
        lodepng_palette_add(&state.info_png.color, c.r, c.g, c.b, c.a);
    }
    if (dpi > 0) {
        const auto perMetre = static_cast<unsigned>(std::lround(dpi / 0.0254));
        state.info_png.phys_defined = 1;
        state.info_png.phys_x = perMetre;
        state.info_png.phys_y = perMetre;
        state.info_png.phys_unit = 1;
    }

    unsigned char* rawPng = nullptr;
    std::size_t pngSize = 0;
    const unsigned error = lodepng_encode(&rawPng, &pngSize, indices.data(),
                                          static_cast<unsigned>(width),
                                          static_cast<unsigned>(height), &state);
    std::unique_ptr<unsigned char, FreeDeleter> png(rawPng);
    if (error) {
        const char* text = error > 105 ? "unknown error code" : lodepng_error_text(error);
        return fail(formatText("lodepng_encode() error: %s\r\n", text));
    }
    return std::vector<unsigned char>(png.get(), png.get() + pngSize);
}

} // namespace torvale
