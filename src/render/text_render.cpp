#include "render/text_render.h"

#include "common/text.h"
#include "model/template_file.h"
#include "render/picture_input.h"

#include <cmath>
#include <cstdint>
#include <optional>

namespace torvale {

namespace {

constexpr int kHAlignCentre = 1;
constexpr int kHAlignRight = 2;
constexpr int kHAlignJustified = 3;
constexpr int kVAlignMiddle = 1;
constexpr int kVAlignBottom = 2;

// Indexes into the image library's font metrics.
constexpr int kAscender = 2;
constexpr int kDescender = 3;
constexpr int kTextWidth = 4;
constexpr int kOriginX = 11;

struct TextSize {
    double width = 0; // 0 when neither the text width nor the advance is positive
    double height = 0;
};

// Nothing when the font cannot be loaded.
std::optional<TextSize> measureText(MagickWand* wand, const DrawingWand* draw,
                                    const std::string& text)
{
    const MagickMemoryPtr<double> metrics(MagickQueryFontMetrics(wand, draw, text.c_str()));
    if (!metrics)
        return std::nullopt;
    const double* m = metrics.get();
    const double textWidth = m[kTextWidth];
    const double advance = m[kOriginX];
    TextSize size;
    size.height = m[kAscender] - m[kDescender];
    // The text width misses the advance of trailing spaces and the advance misses overhanging
    // glyphs; take the larger unless they disagree wildly (a broken advance).
    if (textWidth > 0 && advance > 0)
        size.width = std::abs(textWidth - advance) < 100 ? std::max(textWidth, advance)
                                                         : std::min(textWidth, advance);
    else if (textWidth > 0)
        size.width = textWidth;
    else if (advance > 0)
        size.width = advance;
    return size;
}

// Pixels needed for a measured length: the ceiling plus one.
std::size_t boxSide(double length)
{
    const double whole = std::trunc(length);
    const long side = static_cast<long>(whole) + 1 + (length - whole > 0 ? 1 : 0);
    return side > 0 ? static_cast<std::size_t>(side) : 1;
}

long boxOffset(double offset)
{
    return std::max(0L, static_cast<long>(offset));
}

} // namespace

TextBoxResult renderTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts)
{
    TextBoxResult result;
    if (text.empty())
        return result;
    result.failed = true; // until the text is drawn
    DrawingWandPtr draw(NewDrawingWand());
    MagickWandPtr scratch = newCanvas(1, 1, "none");
    if (!draw || !scratch)
        return result;
    DrawSetTextEncoding(draw.get(), "UTF-8");
    // The library has no usable default font here, so an unknown family draws with the
    // installed font that best covers Chinese and Latin text.
    const FontEntry* font = fonts.fallbackFont();
    if (const std::vector<FontEntry>* entries = fonts.family(layer.fontName))
        font = &chooseFontFile(*entries, layer.isBold != 0, layer.isItalic != 0);
    if (font)
        DrawSetFont(draw.get(), font->fontReference.c_str());
    // In 64 bits: a template may hold any 32-bit font size.
    DrawSetFontSize(draw.get(), static_cast<double>(std::int64_t{kTextDpi} * layer.fontSize / 72));

    if (layer.tHAlign != kHAlignJustified) {
        DrawSetTextKerning(draw.get(), layer.characterSpacing);
    } else if (const std::size_t n = utf16Length(text); n > 1) {
        const std::optional<TextSize> plain = measureText(scratch.get(), draw.get(), text);
        if (!plain)
            return result;
        const double w0 = plain->width > 0 ? plain->width : 1;
        const double kerning = (layer.width - w0) / static_cast<double>(n - 1);
        if (kerning > 0)
            DrawSetTextKerning(draw.get(), kerning);
    }

    const std::optional<TextSize> size = measureText(scratch.get(), draw.get(), text);
    if (!size)
        return result;
    if (size->width <= 0) {
        result.failed = false; // nothing to draw, as for a text of zero-width characters
        return result;
    }
    const std::size_t boxWidth = boxSide(size->width);
    const std::size_t boxHeight = boxSide(size->height);
    const double spareWidth = static_cast<double>(layer.width) - static_cast<double>(boxWidth);
    const double spareHeight = static_cast<double>(layer.height) - static_cast<double>(boxHeight);
    TextBox box;
    if (layer.tHAlign == kHAlignRight)
        box.x = boxOffset(spareWidth);
    else if (layer.tHAlign == kHAlignCentre || layer.tHAlign == kHAlignJustified)
        box.x = boxOffset(spareWidth * 0.5);
    if (layer.tVAlign == kVAlignMiddle)
        box.y = boxOffset(spareHeight * 0.5);
    else if (layer.tVAlign == kVAlignBottom)
        box.y = boxOffset(spareHeight);

    // A box larger than the layer sits at the layer's left or top edge and is clipped at the
    // other: only the part inside the layer is made, with the text where the whole box would
    // have it. A long name in large type would otherwise need a box beyond the library's size
    // limits and draw nothing at all.
    const auto visibleWidth = static_cast<std::size_t>(
        std::max<long>(1, std::min<long>(static_cast<long>(boxWidth), layer.width - box.x)));
    const auto visibleHeight = static_cast<std::size_t>(
        std::max<long>(1, std::min<long>(static_cast<long>(boxHeight), layer.height - box.y)));
    box.box = newCanvas(visibleWidth, visibleHeight, "none");
    if (!box.box)
        return result;
    if (!layer.htmlColor.empty()) {
        PixelWandPtr fill(NewPixelWand());
        if (fill && setPixelColor(fill.get(), layer.htmlColor))
            DrawSetFillColor(draw.get(), fill.get());
    }
    DrawSetGravity(draw.get(), CenterGravity);
    const double shiftX = (static_cast<double>(boxWidth) - static_cast<double>(visibleWidth)) / 2;
    const double shiftY = (static_cast<double>(boxHeight) - static_cast<double>(visibleHeight)) / 2;
    if (MagickAnnotateImage(box.box.get(), draw.get(), shiftX, shiftY, 0, text.c_str()) ==
        MagickFalse)
        return result;
    result.failed = false;
    result.box = std::move(box);
    return result;
}

MagickWandPtr renderLayerImage(const Layer& layer, const std::string& text,
                               const FontRegistry& fonts)
{
    if (layer.width <= 0 || layer.height <= 0)
        return nullptr;
    MagickWandPtr image = newCanvas(static_cast<std::size_t>(layer.width),
                                    static_cast<std::size_t>(layer.height), "none");
    if (!image)
        return image;
    if (const auto textBox = renderTextBox(layer, text, fonts).box)
        MagickCompositeImage(image.get(), textBox->box.get(), OverCompositeOp, textBox->x,
                             textBox->y);
    return image;
}

void drawTextBox(MagickWand* target, const Layer& layer, const TextBox& textBox)
{
    // A box larger than the layer is clipped at the layer's right and bottom edges.
    MagickWand* box = textBox.box.get();
    const auto boxWidth = static_cast<long>(MagickGetImageWidth(box));
    const auto boxHeight = static_cast<long>(MagickGetImageHeight(box));
    const long width = std::min<long>(boxWidth, layer.width - textBox.x);
    const long height = std::min<long>(boxHeight, layer.height - textBox.y);
    if (width <= 0 || height <= 0)
        return;
    if (width < boxWidth || height < boxHeight) {
        MagickCropImage(box, static_cast<std::size_t>(width), static_cast<std::size_t>(height), 0,
                        0);
        MagickSetImagePage(box, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                           0, 0);
    }
    MagickCompositeImage(target, box, OverCompositeOp, layer.x + textBox.x, layer.y + textBox.y);
}

Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath)
{
    MagickWandPtr image;
    if (layer.type == LayerType::Text)
        image = renderLayerImage(layer, layer.text, fonts);
    else if (!layer.filePath.empty())
        image = readPicture(resolveTemplatePath(layer.filePath, templatePath)).wand;
    Thumbnail thumbnail;
    if (!image || MagickSetImageFormat(image.get(), "PNG") == MagickFalse)
        return thumbnail;
    std::size_t length = 0;
    const MagickMemoryPtr<unsigned char> bytes(MagickGetImageBlob(image.get(), &length));
    if (!bytes || length == 0)
        return thumbnail;
    thumbnail.png.assign(bytes.get(), bytes.get() + length);
    thumbnail.width = MagickGetImageWidth(image.get());
    thumbnail.height = MagickGetImageHeight(image.get());
    return thumbnail;
}

} // namespace torvale
