#include "render/magick.h"

namespace torvale {

MagickWandPtr newCanvas(std::size_t width, std::size_t height, const char* color)
{
    if (width == 0 || height == 0)
        return nullptr;
    MagickWandPtr wand(NewMagickWand());
    PixelWandPtr fill(NewPixelWand());
    if (!wand || !fill || PixelSetColor(fill.get(), color) == MagickFalse)
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

} // namespace torvale
