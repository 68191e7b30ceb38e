// Decodes arbitrary bytes as a picture through the image library, at full size and with the
// reduced JPEG decode a small picture layer asks for.
#include "app/image_library.h"
#include "fuzz_check.h"
#include "render/picture_input.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t kMinSide = 16;

// A decoded picture has a size; a reduced one is smaller than its real size but never smaller
// than what was asked for.
void checkDecoded(const torvale::DecodedPicture& picture, std::size_t minSide)
{
    if (!picture)
        return;
    FUZZ_CHECK(picture.width > 0 && picture.height > 0);
    const std::size_t width = MagickGetImageWidth(picture.wand.get());
    const std::size_t height = MagickGetImageHeight(picture.wand.get());
    FUZZ_CHECK(width > 0 && height > 0);
    FUZZ_CHECK(width <= picture.width && height <= picture.height);
    if (width < picture.width || height < picture.height)
        FUZZ_CHECK(minSide > 0 && width >= minSide && height >= minSide);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The same decode limits as the editor and the batch tool.
    if (const auto problem = torvale::setUpImageLibrary()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkDecoded(torvale::decodePicture(data, size), 0);
    checkDecoded(torvale::decodePicture(data, size, kMinSide, kMinSide), kMinSide);
    return 0;
}
