// Draws arbitrary values in code layers of arbitrary geometry on a small card, and looks
// arbitrary cells up in a picture folder, as the batch does: the first bytes choose the
// symbology, the layer's rectangle (up to far larger than the card) and its rotation (odd
// values too), the rest is the value and the cell. A drawn code must lie on the card and never
// be larger than it; a cell never finds a file outside the folder.
#include "common/paths.h"
#include "common/text.h"
#include "fuzz_check.h"
#include "fuzz_fonts.h"
#include "render/card.h"
#include "render/code_render.h"
#include "render/picture_input.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A picture folder with one file in it, beside a file outside it and a link leading out.
const std::filesystem::path& pictureFolder()
{
    static const std::filesystem::path folder = [] {
        const auto root = std::filesystem::temp_directory_path() / "torvale-fuzz-folder";
        std::error_code error;
        std::filesystem::create_directories(root / "pics", error);
        std::ofstream(root / "pics" / "a.jpg") << "x";
        std::ofstream(root / "secret.jpg") << "x";
        std::filesystem::create_directory_symlink("..", root / "pics" / "up", error);
        return root / "pics";
    }();
    return folder;
}

std::int32_t span(std::uint8_t a, std::uint8_t b)
{
    return static_cast<std::int32_t>((a << 8 | b) * (a & 0x80 ? 3 : 1)) - 2000;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzFonts();
    pictureFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 10)
        return 0;
    static const char* const kTypes[] = {"QR", "Code128", "Code39", "EAN13", "DataMatrix"};
    torvale::Layer layer;
    layer.type = torvale::LayerType::Code;
    layer.codeType = kTypes[data[0] % 5];
    layer.codeShowText = data[0] & 0x80;
    layer.codeBackground = data[0] & 0x40 ? "" : "#FFFFFF";
    layer.pHAlign = data[1] % 3;
    layer.pVAlign = (data[1] >> 2) % 3;
    layer.rotation = (data[1] >> 4) * 45 - 90;
    layer.x = span(data[2], data[3]);
    layer.y = span(data[4], data[5]);
    layer.width = std::max(1, span(data[6], data[7]) + 2000);
    layer.height = std::max(1, span(data[8], data[9]) + 2000);
    const std::string value =
        torvale::toValidUtf8(std::string(reinterpret_cast<const char*>(data + 10), size - 10));

    const torvale::PixelRect card{0, 0, 500, 400};
    const torvale::CodeEncoding encoded = torvale::encodeCode(layer, value.substr(0, 200));
    if (encoded.symbol) {
        const torvale::CodeImage drawn =
            torvale::drawCode(layer, *encoded.symbol, fuzzFonts(), card);
        if (!drawn.pixels.empty()) {
            FUZZ_CHECK(drawn.x >= card.left && drawn.y >= card.top);
            FUZZ_CHECK(drawn.x + static_cast<long>(drawn.pixels.width) <= card.right);
            FUZZ_CHECK(drawn.y + static_cast<long>(drawn.pixels.height) <= card.bottom);
            FUZZ_CHECK(drawn.pixels.bytes.size() == drawn.pixels.width * drawn.pixels.height * 4);
        }
    }

    const torvale::FolderPicture found =
        torvale::findFolderPicture(torvale::pathToUtf8(pictureFolder()), value);
    if (!found.path.empty()) {
        std::error_code error;
        const auto real = std::filesystem::canonical(torvale::pathFromUtf8(found.path), error);
        FUZZ_CHECK(!error && real.parent_path() == std::filesystem::canonical(pictureFolder()));
    }
    return 0;
}
