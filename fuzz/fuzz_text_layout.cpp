// Lays out and draws arbitrary text in a text layer, as cards, thumbnails and the row check do:
// the first bytes choose the layer's alignment, spacing, lines (or columns of vertical text),
// shrinking, font and rotation, the rest is the cell (made valid UTF-8, as cells are). The drawn
// box must lie inside the layer, and the fitter must say what drawing found.
#include "common/text.h"
#include "fuzz_check.h"
#include "fuzz_fonts.h"
#include "render/text_render.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// fontconfig loads its configuration on first use and keeps a few bytes of it for the process:
// that first use is made here, before the inputs, whose runs are checked for leaks.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    torvale::Layer layer;
    layer.type = torvale::LayerType::Text;
    layer.fontName = "DejaVu Sans";
    layer.width = 200;
    layer.height = 40;
    torvale::renderTextBox(layer, "名 محمد \U0010FFFD", fuzzFonts());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    static const char* const kFamilies[] = {"WenQuanYi Zen Hei", "Noto Sans Arabic", "Noto Sans",
                                            "DejaVu Sans"};
    torvale::Layer layer;
    layer.type = torvale::LayerType::Text;
    layer.fontName = kFamilies[data[0] % 4];
    layer.tHAlign = (data[0] >> 2) % 4;
    layer.tVAlign = (data[0] >> 4) % 3;
    layer.autoShrink = (data[0] >> 6) & 1;
    layer.isBold = data[0] >> 7;
    layer.characterSpacing = static_cast<std::int8_t>(data[1]);
    layer.maxLines = 1 + data[2] % 4;
    layer.isVertical = data[2] >> 7;
    layer.fontSize = 4 + data[3] % 40;
    layer.minFontSize = 4;
    layer.width = 40 + data[3] * 2;
    layer.height = 20 + data[2];
    // Quarter turns and values that read as none.
    layer.rotation = (data[2] >> 2) % 8 * 45 - 90;
    std::string text =
        torvale::toValidUtf8(std::string(reinterpret_cast<const char*>(data + 4), size - 4));
    text = torvale::truncateUtf16Units(text, torvale::maxDrawnUnits(layer));

    const torvale::TextBoxResult drawn = torvale::renderTextBox(layer, text, fuzzFonts());
    if (drawn.box) {
        const torvale::TextBox& box = *drawn.box;
        FUZZ_CHECK(box.x >= 0 && box.y >= 0);
        FUZZ_CHECK(box.box.width >= 1 && box.box.height >= 1);
        FUZZ_CHECK(box.x + static_cast<long>(box.box.width) <=
                   std::max<long>(layer.width, box.x + 1));
        FUZZ_CHECK(box.y + static_cast<long>(box.box.height) <=
                   std::max<long>(layer.height, box.y + 1));
        FUZZ_CHECK(box.box.bytes.size() == box.box.width * box.box.height * 4);
    }
    const torvale::TextFit fit = torvale::TextFitter(layer, fuzzFonts()).fit(text);
    FUZZ_CHECK(fit.wider == drawn.fit.wider && fit.taller == drawn.fit.taller);
    FUZZ_CHECK(fit.missing == drawn.fit.missing && fit.atMinimum == drawn.fit.atMinimum);
    return 0;
}
