#include "render/text_render.h"

#include "common/text.h"
#include "model/template_file.h"
#include "render/card_pixels.h"
#include "render/glyph_coverage.h"
#include "render/text_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace torvale {

namespace {

constexpr int kHAlignCentre = 1;
constexpr int kHAlignRight = 2;
constexpr int kHAlignJustified = 3;
constexpr int kVAlignMiddle = 1;
constexpr int kVAlignBottom = 2;

struct TextSize {
    double width = 0; // 0 when the line has neither ink nor advance
    double height = 0;
    double ascent = 0;
    double descent = 0; // below the baseline: zero or negative
};

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

// The font file a text layer draws with. An unknown family draws with the installed font that
// best covers Chinese and Latin text.
const FontEntry* layerFont(const Layer& layer, const FontRegistry& fonts)
{
    if (const std::vector<FontEntry>* entries = fonts.family(layer.fontName))
        return &chooseFontFile(*entries, layer.isBold != 0, layer.isItalic != 0);
    return fonts.fallbackFont();
}

// The lines of a text, split at "\r\n", "\n" and "\r".
std::vector<std::string_view> textLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// A line's size: the width is the pen's advance or the ink's right edge, whichever is larger
// (trailing spaces have no ink, overhanging glyphs reach past the advance), unless they
// disagree wildly.
TextSize lineSize(const ShapedLine& line)
{
    TextSize size;
    const double ink = line.inkRight;
    const double advance = line.advance;
    if (ink > 0 && advance > 0)
        size.width =
            std::abs(ink - advance) < 100 ? std::max(ink, advance) : std::min(ink, advance);
    else
        size.width = std::max({ink, advance, 0.0});
    size.ascent = line.ascent;
    size.descent = line.descent;
    size.height = line.ascent - line.descent;
    return size;
}

// Lines stacked: as wide as the widest, each as tall as the tallest (empty lines included).
TextSize stackLines(const std::vector<TextSize>& sizes)
{
    if (sizes.size() == 1)
        return sizes.front();
    TextSize total;
    for (const TextSize& size : sizes) {
        total.width = std::max(total.width, size.width);
        total.ascent = std::max(total.ascent, size.ascent);
        total.descent = std::min(total.descent, size.descent);
    }
    total.height = (total.ascent - total.descent) * static_cast<double>(sizes.size());
    return total;
}

bool fitsWidth(double width, const Layer& layer)
{
    return static_cast<long>(boxSide(width)) <= layer.width;
}

bool fitsLayer(const TextSize& size, const Layer& layer)
{
    return fitsWidth(size.width, layer) && static_cast<long>(boxSide(size.height)) <= layer.height;
}

// The spacing a text's fit is judged by: justified text without its spreading.
double fitSpacing(const Layer& layer)
{
    return layer.tHAlign == kHAlignJustified ? 0.0 : layer.characterSpacing;
}

// The size of the whole text at a pixel size; nothing when it cannot be laid out.
using SizeAt = std::function<std::optional<TextSize>(double fontSize)>;

// The pixel size a text is drawn at: its own, or with auto-shrink the largest whole size down
// to the minimum that fits the layer. Nothing when the text cannot be laid out.
std::optional<double> chooseFontSize(const SizeAt& sizeAt, const Layer& layer, bool& atMinimum)
{
    const double normal = textPixelSize(layer.fontSize);
    atMinimum = false;
    if (!layer.autoShrink)
        return normal;
    const std::optional<TextSize> atNormal = sizeAt(normal);
    if (!atNormal)
        return std::nullopt;
    if (fitsLayer(*atNormal, layer))
        return normal;
    const double minimum = std::max(1.0, textPixelSize(layer.minFontSize));
    if (minimum >= normal) {
        atMinimum = true;
        return normal;
    }
    // Widths grow with the size: the largest fitting size is found by halving the range.
    double low = minimum;     // fits unless atMinimum
    double high = normal - 1; // largest candidate
    const std::optional<TextSize> atLow = sizeAt(low);
    if (!atLow)
        return std::nullopt;
    if (!fitsLayer(*atLow, layer)) {
        atMinimum = true;
        return minimum;
    }
    while (low < high) {
        const double middle = std::floor((low + high + 1) / 2);
        const std::optional<TextSize> size = sizeAt(middle);
        if (!size)
            return std::nullopt;
        if (fitsLayer(*size, layer))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// One line of the layout: a part of a paragraph, shaped.
struct LaidLine {
    std::size_t paragraph = 0;
    std::size_t first = 0; // UTF-16 units of the paragraph
    std::size_t last = 0;
    ShapedLine shaped;
    TextSize size;
};

bool isBreakSpace(char16_t unit)
{
    return unit == u' ' || unit == u'\u3000' || unit == u'\t';
}

// Splits a paragraph into the parts that fit the layer's width when shaped as whole: each line
// ends at the last break opportunity that fits (spaces at its end left out), a word too wide on
// its own is broken between grapheme clusters, and the last line allowed takes the rest.
std::vector<std::pair<std::size_t, std::size_t>> wrapParagraph(const FacedText& text,
                                                               const ShapedLine& whole,
                                                               const Layer& layer,
                                                               std::size_t allowed)
{
    const std::u16string& units = text.text;
    std::vector<double> before(units.size() + 1, 0); // advance of the units before each index
    for (std::size_t i = 0; i < units.size(); ++i)
        before[i + 1] = before[i] + whole.unitAdvances[i];
    const auto widthOf = [&](std::size_t first, std::size_t last) {
        while (last > first && isBreakSpace(units[last - 1]))
            --last;
        return before[last] - before[first];
    };
    const std::vector<std::size_t> breaks = textBoundaries(units, Boundary::Line);
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    std::size_t start = 0;
    auto next = breaks.begin();
    while (lines.size() + 1 < allowed && !fitsWidth(widthOf(start, units.size()), layer)) {
        while (next != breaks.end() && *next <= start)
            ++next;
        // The last break that fits: widths grow with the break.
        auto fitting = next;
        while (fitting != breaks.end() && fitsWidth(widthOf(start, *fitting), layer))
            ++fitting;
        std::size_t end = 0;
        if (fitting != next) {
            end = *std::prev(fitting);
        } else {
            end = units.size();
            const std::vector<std::size_t> clusters =
                textBoundaries(units, Boundary::Grapheme, start);
            for (std::size_t k = 0; k < clusters.size(); ++k) {
                if (k > 0 && !fitsWidth(widthOf(start, clusters[k]), layer)) {
                    end = clusters[k - 1];
                    break;
                }
            }
        }
        std::size_t trimmed = end;
        while (trimmed > start && isBreakSpace(units[trimmed - 1]))
            --trimmed;
        lines.emplace_back(start, trimmed);
        start = end;
        while (start < units.size() && isBreakSpace(units[start]))
            ++start;
    }
    lines.emplace_back(start, units.size());
    return lines;
}

// How a layer's text is laid out: its lines, pixel size and the size the whole text takes.
struct TextLayout {
    std::vector<FacedText> paragraphs;
    std::vector<LaidLine> lines;
    std::vector<char32_t> missing; // characters no installed font has, each once
    double fontSize = 0;
    TextSize size;           // several lines follow each other at size.ascent - size.descent
    bool atMinimum = false;  // shrinking, and even the minimum size does not fit
    double naturalWidth = 0; // the widest line before justification spreads it
};

// Vertical text is laid out as lines in the layer's frame turned a quarter counter-clockwise:
// its columns are the lines, as long as the layer is high, following each other from the
// layer's right edge (the frame's top) to its left. The frame is that layer, its sides and
// alignments swapped: tVAlign places each column along its length, tHAlign the block of columns
// (justified: centred). A horizontal text's frame is its layer.
const Layer& textFrame(const Layer& layer, std::optional<Layer>& storage)
{
    if (!layer.isVertical)
        return layer;
    Layer& frame = storage.emplace(layer);
    std::swap(frame.width, frame.height);
    frame.tHAlign = layer.tVAlign == kVAlignMiddle   ? kHAlignCentre
                    : layer.tVAlign == kVAlignBottom ? kHAlignRight
                                                     : 0;
    frame.tVAlign = layer.tHAlign == kHAlignRight ? 0
                    : layer.tHAlign == kHAlignCentre || layer.tHAlign == kHAlignJustified
                        ? kVAlignMiddle
                        : kVAlignBottom;
    return frame;
}

// Lays a layer's text out without drawing it, a vertical text in its frame (layer is the
// frame); nothing when it cannot be laid out (no font, a face that cannot be read, a size
// beyond what can be drawn).
std::optional<TextLayout> layOutText(const Layer& layer, const std::string& text,
                                     const FontRegistry& fonts)
{
    const FontEntry* font = layerFont(layer, fonts);
    if (!font)
        return std::nullopt;
    // Fallback faces take the style of the face drawn, not the one asked for: a family
    // without bold draws its own letters regular, and so the others of the same name.
    const TextFont textFont{font->fontReference, font->weight > 400, font->italic};
    TextLayout layout;
    std::vector<std::string_view> parts = textLines(text);
    // Every line is at least a pixel high: lines past the layer's height never show.
    const auto maxLines = static_cast<std::size_t>(std::max(1, layer.height));
    parts.resize(std::min(parts.size(), maxLines));
    for (const std::string_view part : parts) {
        layout.paragraphs.push_back(faceText(part, textFont));
        for (const char32_t cp : layout.paragraphs.back().missing) {
            if (std::find(layout.missing.begin(), layout.missing.end(), cp) == layout.missing.end())
                layout.missing.push_back(cp);
        }
    }

    // Breaks in the cell always start a line; with maxLines above 1 the lines wrapping adds
    // keep the total within maxLines.
    const auto wrapLines = static_cast<std::size_t>(std::clamp(layer.maxLines, 1, kMaxTextLines));
    const double spacing = fitSpacing(layer);
    const auto shape = layer.isVertical ? shapeColumn : shapeLine;
    // Lines without any glyph are as tall as the layer's font.
    const auto finish = [&](LaidLine& line, double fontSize) {
        line.size = lineSize(line.shaped);
        if (line.shaped.faces.empty()) {
            if (const auto extents = faceExtents(textFont.file, fontSize)) {
                line.size.ascent = extents->first;
                line.size.descent = extents->second;
                line.size.height = extents->first - extents->second;
            }
        }
    };
    const auto layOutAt = [&](double fontSize) -> bool {
        layout.lines.clear();
        const std::size_t count = layout.paragraphs.size();
        for (std::size_t p = 0; p < count; ++p) {
            const FacedText& paragraph = layout.paragraphs[p];
            LaidLine whole{p, 0, paragraph.text.size(), {}, {}};
            if (!shape(paragraph, fontSize, spacing, whole.shaped, 0, std::u16string::npos))
                return false;
            const std::size_t used = layout.lines.size() + (count - p - 1);
            const std::size_t allowed = std::min(
                maxLines, std::max<std::size_t>(1, wrapLines > used ? wrapLines - used : 1));
            if (allowed <= 1 || fitsWidth(lineSize(whole.shaped).width, layer)) {
                finish(whole, fontSize);
                layout.lines.push_back(std::move(whole));
                continue;
            }
            for (const auto& [first, last] :
                 wrapParagraph(paragraph, whole.shaped, layer, allowed)) {
                LaidLine line{p, first, last, {}, {}};
                if (!shape(paragraph, fontSize, spacing, line.shaped, first, last))
                    return false;
                finish(line, fontSize);
                layout.lines.push_back(std::move(line));
            }
        }
        return true;
    };
    const SizeAt sizeAt = [&](double fontSize) -> std::optional<TextSize> {
        if (!layOutAt(fontSize))
            return std::nullopt;
        std::vector<TextSize> sizes;
        for (const LaidLine& line : layout.lines)
            sizes.push_back(line.size);
        return stackLines(sizes);
    };

    const std::optional<double> fontSize = chooseFontSize(sizeAt, layer, layout.atMinimum);
    if (!fontSize || !layOutAt(*fontSize))
        return std::nullopt;
    layout.fontSize = *fontSize;

    // Justified lines are each spread to the layer's width between their clusters (cursive
    // letters keep their joins: such text spreads at its spaces only).
    std::vector<TextSize> sizes;
    for (LaidLine& line : layout.lines) {
        const double natural = line.size.width;
        layout.naturalWidth = std::max(layout.naturalWidth, natural);
        if (layer.tHAlign == kHAlignJustified && line.shaped.gaps > 0) {
            const double w0 = natural > 0 ? natural : 1;
            const double stretch = (layer.width - w0) / static_cast<double>(line.shaped.gaps);
            if (stretch > 0) {
                if (!shape(layout.paragraphs[line.paragraph], layout.fontSize, stretch, line.shaped,
                           line.first, line.last))
                    return std::nullopt;
                finish(line, layout.fontSize);
            }
        }
        sizes.push_back(line.size);
    }
    layout.size = stackLines(sizes);
    return layout;
}

// What a layout found, for a vertical text in its frame (layer is the frame): a column longer
// than the layer is taller than it, columns beyond its width wider.
TextFit fitOf(const TextLayout& layout, const Layer& layer)
{
    TextFit fit;
    fit.measured = true;
    fit.missing = layout.missing;
    fit.atMinimum = layout.atMinimum;
    fit.pixelSize = layout.fontSize;
    // Justified text is spread to the layer's width when it is narrower; wider, it is clipped.
    fit.wider = !fitsWidth(layout.naturalWidth, layer);
    fit.taller =
        layout.lines.size() > 1 && static_cast<long>(boxSide(layout.size.height)) > layer.height;
    if (layer.isVertical)
        std::swap(fit.wider, fit.taller);
    return fit;
}

} // namespace

double textPixelSize(std::int32_t points)
{
    return static_cast<double>(std::int64_t{kTextDpi} * points / 72);
}

std::size_t maxDrawnUnits(const Layer& layer)
{
    // A text that wraps shows that much on each of its lines: as long as the layer is wide,
    // or high when the text runs down it (turned a quarter, or in columns).
    const bool down = (layerRotation(layer) % 180 != 0) != layer.isVertical;
    const std::int32_t length = down ? layer.height : layer.width;
    return 256 + 4 * static_cast<std::size_t>(std::max(0, length)) *
                     static_cast<std::size_t>(std::clamp(layer.maxLines, 1, kMaxTextLines));
}

TextFit TextFitter::fit(const std::string& text) const
{
    if (text.empty())
        return {};
    if (layerRotation(m_layer) % 180 != 0) {
        const Layer frame = uprightFrame(m_layer);
        return TextFitter(frame, m_fonts).fit(text);
    }
    std::optional<Layer> storage;
    const Layer& frame = textFrame(m_layer, storage);
    const std::optional<TextLayout> layout = layOutText(frame, text, m_fonts);
    return layout ? fitOf(*layout, frame) : TextFit{};
}

namespace {

// A rotated layer's text: laid out and drawn in the layer turned upright, then turned.
TextBoxResult turnedTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts,
                            std::int32_t rotation)
{
    const Layer frame = uprightFrame(layer);
    TextBoxResult result = renderTextBox(frame, text, fonts);
    if (result.box) {
        TextBox& box = *result.box;
        const PixelRect at = turnRect({box.x, box.y, box.x + static_cast<long>(box.box.width),
                                       box.y + static_cast<long>(box.box.height)},
                                      frame.width, frame.height, rotation);
        RgbaPixels turned;
        turnPixels(box.box, rotation, turned);
        box.box = std::move(turned);
        box.x = at.left;
        box.y = at.top;
    }
    return result;
}

} // namespace

TextBoxResult renderTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts)
{
    if (const std::int32_t rotation = layerRotation(layer); rotation != 0)
        return turnedTextBox(layer, text, fonts, rotation);
    TextBoxResult result;
    if (text.empty())
        return result;
    result.failed = true; // until the text is drawn
    // Laid out and placed in the text's frame; a vertical text's box is turned into the layer
    // as it is drawn.
    std::optional<Layer> storage;
    const Layer& frame = textFrame(layer, storage);
    const std::optional<TextLayout> layout = layOutText(frame, text, fonts);
    if (!layout)
        return result;
    result.fit = fitOf(*layout, frame);
    const TextSize& size = layout->size;
    if (size.width <= 0) {
        result.failed = false; // nothing to draw, as for a text of zero-width characters
        return result;
    }
    const std::size_t boxWidth = boxSide(size.width);
    const std::size_t boxHeight = boxSide(size.height);
    const double spareWidth = static_cast<double>(frame.width) - static_cast<double>(boxWidth);
    const double spareHeight = static_cast<double>(frame.height) - static_cast<double>(boxHeight);
    TextBox box;
    if (frame.tHAlign == kHAlignRight)
        box.x = boxOffset(spareWidth);
    else if (frame.tHAlign == kHAlignCentre || frame.tHAlign == kHAlignJustified)
        box.x = boxOffset(spareWidth * 0.5);
    if (frame.tVAlign == kVAlignMiddle)
        box.y = boxOffset(spareHeight * 0.5);
    else if (frame.tVAlign == kVAlignBottom)
        box.y = boxOffset(spareHeight);

    // A box larger than the layer sits at the layer's left or top edge and is clipped at the
    // other: only the part inside the layer is made, with the text where the whole box would
    // have it. (A vertical text's sits at the layer's top and right edges.)
    const auto visibleWidth = static_cast<std::size_t>(
        std::max<long>(1, std::min<long>(static_cast<long>(boxWidth), frame.width - box.x)));
    const auto visibleHeight = static_cast<std::size_t>(
        std::max<long>(1, std::min<long>(static_cast<long>(boxHeight), frame.height - box.y)));
    const bool vertical = layer.isVertical;
    box.box.width = vertical ? visibleHeight : visibleWidth;
    box.box.height = vertical ? visibleWidth : visibleHeight;
    box.box.bytes.assign(visibleWidth * visibleHeight * 4, 0);

    // The text is centred in its box; the lines follow each other, each placed in the part of
    // the block the layer shows by the layer's alignment (a line wider than the layer, clipped
    // on the right, does not push the others out of it).
    const std::array<std::uint8_t, 3> color = htmlToRgb(layer.htmlColor);
    const double left = (static_cast<double>(boxWidth) - size.width) / 2;
    const double lineHeight = size.ascent - size.descent;
    double baseline = (static_cast<double>(boxHeight) - size.height) / 2 + size.ascent;
    const double span = std::min(size.width, static_cast<double>(frame.width));
    for (const LaidLine& line : layout->lines) {
        double x = left;
        if (frame.tHAlign == kHAlignRight)
            x += std::max(0.0, span - line.size.width);
        else if (frame.tHAlign != 0)
            x += std::max(0.0, (span - line.size.width) / 2);
        // A column's reference line is where the frame has its baseline, its top where the
        // frame has the line's start.
        const bool drawn =
            vertical ? drawShapedLine(line.shaped, layout->fontSize, box.box,
                                      static_cast<double>(visibleHeight) - baseline, x, color)
                     : drawShapedLine(line.shaped, layout->fontSize, box.box, x, baseline, color);
        if (!drawn)
            return result;
        baseline += lineHeight;
    }
    if (vertical) {
        const long along = box.x;
        box.x =
            std::max(0L, static_cast<long>(layer.width) - box.y - static_cast<long>(visibleHeight));
        box.y = along;
    }
    result.failed = false;
    result.box = std::move(box);
    return result;
}

RgbaPixels renderLayerImage(const Layer& layer, const std::string& text, const FontRegistry& fonts)
{
    RgbaPixels image;
    if (layer.width <= 0 || layer.height <= 0)
        return image;
    image.width = static_cast<std::size_t>(layer.width);
    image.height = static_cast<std::size_t>(layer.height);
    image.bytes.assign(image.width * image.height * 4, 0);
    if (const auto textBox = renderTextBox(layer, text, fonts).box) {
        const RgbaPixels& box = textBox->box;
        for (std::size_t y = 0; y < box.height; ++y) {
            const auto target = static_cast<std::size_t>(textBox->y) + y;
            if (target >= image.height)
                break;
            const std::size_t count =
                std::min(box.width, image.width - static_cast<std::size_t>(textBox->x));
            std::copy_n(
                &box.bytes[y * box.width * 4], count * 4,
                &image.bytes[(target * image.width + static_cast<std::size_t>(textBox->x)) * 4]);
        }
    }
    return image;
}

} // namespace torvale
