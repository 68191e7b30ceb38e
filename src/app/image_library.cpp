#include "app/image_library.h"

#include "app/self_test_pictures.h"
#include "render/picture_input.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace torvale {

namespace {

std::once_flag genesisOnce;

// The coder and configuration search paths (MAGICK_CODER_MODULE_PATH, MAGICK_CONFIGURE_PATH,
// MAGICK_HOME) are read by the library itself from the environment; they are deliberately left
// as the user set them.
void startLibrary()
{
#if defined(__GLIBC__)
    // Decoded pictures come and go with every card. With a fixed threshold the allocator gives
    // their blocks back to the system when they go; left to adjust itself, it would keep them
    // in each worker's heap, where they scatter, and a long batch would end up larger than a
    // short one.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    MagickWandGenesis();
    // Cards are drawn in parallel, one card per worker; a second level of threads inside each
    // operation would only compete with them (and the output is the same either way).
    MagickSetResourceLimit(ThreadResource, 1);
    // Bounds for a single decode, so that a hostile or broken picture fails instead of
    // exhausting the machine. The library keeps the lower of these and its policy file's
    // values: they can only tighten the policy.
    constexpr MagickSizeType kMiB = 1024 * 1024;
    MagickSetResourceLimit(MemoryResource, 256 * kMiB);
    MagickSetResourceLimit(MapResource, 512 * kMiB);
    MagickSetResourceLimit(DiskResource, 1024 * kMiB);
    // The row check refuses pictures by the same size limits, from their headers.
    MagickSetResourceLimit(AreaResource, kMaxPicturePixels);
    MagickSetResourceLimit(WidthResource, kMaxPictureSide);
    MagickSetResourceLimit(HeightResource, kMaxPictureSide);
}

template <std::size_t N> bool decodes(const unsigned char (&bytes)[N])
{
    return static_cast<bool>(decodePicture(bytes, N));
}

} // namespace

std::optional<std::string> setUpImageLibrary()
{
    std::call_once(genesisOnce, startLibrary);
    if (!selfTest())
        return std::string("图像处理库无法正常工作（无法解码内置的测试图片），程序无法继续运行。"
                           "请检查 ImageMagick 是否已正确安装。");
    return std::nullopt;
}

bool selfTest()
{
    return decodes(kSelfTestPng) && decodes(kSelfTestJpeg) && decodes(kSelfTestGif) &&
           decodes(kSelfTestBmp);
}

void tearDownImageLibrary()
{
    if (IsMagickWandInstantiated() != MagickFalse)
        MagickWandTerminus();
}

} // namespace torvale
