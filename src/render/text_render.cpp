#include "render/text_render.h"

#include "common/text.h"
#include "model/template_file.h"
#include "render/code_render.h"
#include "render/glyph_coverage.h"
#include "render/picture_input.h"

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

// Indexes into the image library's font metrics.
constexpr int kAscender = 2;
constexpr int kDescender = 3;
constexpr int kTextWidth = 4;
constexpr int kMaxAdvance = 6;
constexpr int kOriginX = 11;

struct TextSize {
    double width = 0; // 0 when neither the text width nor the advance is positive
    double height = 0;
    double ascent = 0;
    double descent = 0; // below the baseline: zero or negative
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
    size.ascent = m[kAscender];
    size.descent = m[kDescender];
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

// A point size as the whole pixel size the text is drawn at (in 64 bits: a template may hold
// any 32-bit size).
double pixelSize(std::int32_t points)
{
    return static_cast<double>(std::int64_t{kTextDpi} * points / 72);
}

// The font file a text layer draws with. The library has no usable default font here, so an
// unknown family draws with the installed font that best covers Chinese and Latin text.
const FontEntry* layerFont(const Layer& layer, const FontRegistry& fonts)
{
    if (const std::vector<FontEntry>* entries = fonts.family(layer.fontName))
        return &chooseFontFile(*entries, layer.isBold != 0, layer.isItalic != 0);
    return fonts.fallbackFont();
}

// One line of a layer's text: the fonts that draw it and how it is spaced and measured.
struct TextLine {
    std::string text;
    FontSplit split; // no runs for an empty line
    double kerning = 0;
    bool setKerning = false; // justified text sets the kerning only when it spreads the line
    TextSize size;
    std::vector<TextSize> runSizes;
};

// How a layer's text is drawn: its lines, pixel size and the size the whole text takes.
struct TextLayout {
    std::vector<TextLine> lines;
    std::vector<char32_t> missing; // characters no installed font has, each once
    double fontSize = 0;
    TextSize size;           // several lines follow each other at size.ascent - size.descent
    bool atMinimum = false;  // shrinking, and even the minimum size does not fit
    double naturalWidth = 0; // the widest line before justification spreads it
};

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

// Measures a text's lines on a scratch canvas with the layer's drawing settings.
class TextMeasurer {
public:
    TextMeasurer(DrawingWand* draw, MagickWand* scratch, const std::vector<TextLine>& lines)
        : m_draw(draw), m_scratch(scratch), m_lines(lines)
    {
    }

    // One line at the drawing's size and kerning; its runs' sizes into runSizes when given.
    std::optional<TextSize> measureLine(const TextLine& line, double kerning,
                                        std::vector<TextSize>* runSizes = nullptr) const
    {
        const std::vector<FontRun>& runs = line.split.runs;
        if (runs.empty())
            return TextSize{};
        if (runs.size() == 1) {
            // The line's one font may be a fallback: none of its characters is in the layer's.
            if (!runs.front().font.empty())
                DrawSetFont(m_draw, runs.front().font.c_str());
            const std::optional<TextSize> size = measured(runs.front().text);
            if (size && runSizes)
                runSizes->push_back(*size);
            return size;
        }
        // Runs follow each other with the kerning between them, on one baseline.
        TextSize total;
        for (const FontRun& run : runs) {
            DrawSetFont(m_draw, run.font.c_str());
            const std::optional<TextSize> size = measured(run.text);
            if (!size)
                return std::nullopt;
            if (runSizes)
                runSizes->push_back(*size);
            total.width += size->width;
            total.ascent = std::max(total.ascent, size->ascent);
            total.descent = std::min(total.descent, size->descent);
        }
        total.width += kerning * static_cast<double>(runs.size() - 1);
        total.height = total.ascent - total.descent;
        return total;
    }

    // The whole text at a pixel size with one kerning for every line.
    std::optional<TextSize> measure(double fontSize, double kerning, bool setKerning) const
    {
        DrawSetFontSize(m_draw, fontSize);
        if (setKerning)
            DrawSetTextKerning(m_draw, kerning);
        std::vector<TextSize> sizes;
        for (const TextLine& line : m_lines) {
            const std::optional<TextSize> size = measureLine(line, kerning);
            if (!size)
                return std::nullopt;
            sizes.push_back(*size);
        }
        return stackLines(sizes);
    }

private:
    // A text measured at the drawing's font, size and kerning. Laying a text out measures the
    // same line more than once (to choose the size, then at that size), and each measuring
    // opens the font anew: short texts are measured once.
    std::optional<TextSize> measured(const std::string& text) const
    {
        static constexpr std::size_t kMaxRemembered = 64;
        static constexpr std::size_t kMaxRememberedBytes = 256;
        const MagickMemoryPtr<char> fontName(DrawGetFont(m_draw));
        Measured key{fontName ? fontName.get() : "", DrawGetFontSize(m_draw),
                     DrawGetTextKerning(m_draw), text, std::nullopt};
        for (const Measured& known : m_measured) {
            if (known.fontSize == key.fontSize && known.kerning == key.kerning &&
                known.text == key.text && known.font == key.font)
                return known.size;
        }
        key.size = measureText(m_scratch, m_draw, text);
        if (text.size() <= kMaxRememberedBytes && m_measured.size() < kMaxRemembered)
            m_measured.push_back(key);
        return key.size;
    }

    struct Measured {
        std::string font;
        double fontSize;
        double kerning;
        std::string text;
        std::optional<TextSize> size;
    };

    DrawingWand* m_draw;
    MagickWand* m_scratch;
    const std::vector<TextLine>& m_lines;
    mutable std::vector<Measured> m_measured;
};

bool fitsLayer(const TextSize& size, const Layer& layer)
{
    return static_cast<long>(boxSide(size.width)) <= layer.width &&
           static_cast<long>(boxSide(size.height)) <= layer.height;
}

// The spacing a text's fit is judged by: justified text without its spreading.
double fitKerning(const Layer& layer)
{
    return layer.tHAlign == kHAlignJustified ? 0.0 : layer.characterSpacing;
}

// The size of the whole text at a pixel size; nothing when the font cannot measure it.
using SizeAt = std::function<std::optional<TextSize>(double fontSize)>;

// The pixel size a text is drawn at: its own, or with auto-shrink the largest whole size down
// to the minimum that fits the layer. Nothing when the font cannot measure the text.
std::optional<double> chooseFontSize(const SizeAt& sizeAt, const Layer& layer, bool& atMinimum)
{
    const double normal = pixelSize(layer.fontSize);
    atMinimum = false;
    if (!layer.autoShrink)
        return normal;
    const std::optional<TextSize> atNormal = sizeAt(normal);
    if (!atNormal)
        return std::nullopt;
    if (fitsLayer(*atNormal, layer))
        return normal;
    const double minimum = std::max(1.0, pixelSize(layer.minFontSize));
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

// Chinese, Japanese and Korean characters: a line may break before and after each of them.
bool isIdeographic(char32_t cp)
{
    return (cp >= 0x2E80 && cp <= 0x9FFF) || (cp >= 0xAC00 && cp <= 0xD7AF) ||
           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFF00 && cp <= 0xFFEF) ||
           (cp >= 0x20000 && cp <= 0x3FFFF);
}

// Punctuation that never starts a line (it closes what came before) and that never ends one.
bool closesText(char32_t cp)
{
    static constexpr std::u32string_view kClosing = U"，。、；：！？）」』】》〉”’…,.;:!?)]}%";
    return kClosing.find(cp) != std::u32string_view::npos;
}

bool opensText(char32_t cp)
{
    static constexpr std::u32string_view kOpening = U"（「『【《〈“‘([{";
    return kOpening.find(cp) != std::u32string_view::npos;
}

// Where a line of text may break: the line ends at end (spaces before it left out) and the
// next one starts at next.
struct LineBreak {
    std::size_t end = 0;
    std::size_t next = 0;
};

// The places a text may break: after spaces between words, and before or after an ideograph.
std::vector<LineBreak> lineBreaks(std::string_view text)
{
    std::vector<LineBreak> breaks;
    char32_t previous = 0;
    std::size_t previousEnd = 0; // after the last character that is not a space
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        if (cp == ' ' || cp == 0x3000) {
            std::size_t j = i;
            while (j < text.size()) {
                std::size_t k = j;
                const char32_t next = nextCodePoint(text, k);
                if (next != ' ' && next != 0x3000)
                    break;
                j = k;
            }
            if (previousEnd > 0 && j < text.size())
                breaks.push_back({previousEnd, j});
            i = j;
            previous = ' ';
            continue;
        }
        if (previous != 0 && previous != ' ' && (isIdeographic(cp) || isIdeographic(previous)) &&
            !closesText(cp) && !opensText(previous))
            breaks.push_back({start, start});
        previous = cp;
        previousEnd = i;
    }
    return breaks;
}

// Splits a text into lines that fit a width: each line ends at the last break that fits, a
// word too wide on its own is broken between characters, and the last line allowed takes the
// rest however wide it is.
class LineWrapper {
public:
    using Width = std::function<std::optional<double>(std::string_view)>;

    LineWrapper(const Width& width, long maxWidth)
        : m_width(width), m_maxWidth(maxWidth),
          // No glyph is narrower than a quarter pixel (as maxDrawnUnits assumes), and a UTF-16
          // unit takes at most 3 bytes: a longer line is too wide without measuring it.
          m_maxLineBytes(12 * static_cast<std::size_t>(std::max(0L, maxWidth)) + 12)
    {
    }

    // The lines of one paragraph, at most maxLines of them; nothing when measuring failed.
    std::optional<std::vector<std::string_view>> wrap(std::string_view text, std::size_t maxLines)
    {
        std::vector<std::string_view> lines;
        const std::vector<LineBreak> breaks = lineBreaks(text);
        std::size_t start = 0;
        std::size_t first = 0; // the first break after start
        while (lines.size() + 1 < maxLines) {
            while (first < breaks.size() && breaks[first].end <= start)
                ++first;
            // The line may end at each later break, or take the rest of the text.
            const std::size_t candidates = breaks.size() - first + 1;
            const std::optional<std::size_t> fitting = leadingFits(candidates, [&](std::size_t k) {
                const std::size_t end =
                    first + k < breaks.size() ? breaks[first + k].end : text.size();
                return fits(text.substr(start, end - start));
            });
            if (!fitting)
                return std::nullopt;
            if (*fitting == candidates)
                break;
            LineBreak at;
            if (*fitting > 0) {
                at = breaks[first + *fitting - 1];
            } else {
                const std::optional<std::size_t> end = characterBreak(text, start);
                if (!end)
                    return std::nullopt;
                at = {*end, *end};
            }
            lines.push_back(text.substr(start, at.end - start));
            start = at.next;
        }
        // The last line shows its beginning only: what lies past any width it could fill is left.
        std::string_view rest = text.substr(start);
        if (rest.size() > m_maxLineBytes) {
            std::size_t cut = m_maxLineBytes;
            while (cut > 0 && (static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80)
                --cut;
            rest = rest.substr(0, cut);
        }
        lines.push_back(rest);
        return lines;
    }

private:
    // How many of count candidates fit, when every candidate is wider than the one before:
    // probed at growing steps from the first, then halved, so that a line costs a few
    // measurements of about its own length.
    template <typename Fits>
    static std::optional<std::size_t> leadingFits(std::size_t count, const Fits& fitsAt)
    {
        std::size_t good = 0;    // candidates [0, good) fit
        std::size_t bad = count; // candidate bad does not (count: none known)
        for (std::size_t step = 1; good < bad; step *= 2) {
            const std::size_t probe = std::min(good + step - 1, bad - 1);
            const std::optional<bool> fit = fitsAt(probe);
            if (!fit)
                return std::nullopt;
            if (!*fit) {
                bad = probe;
                break;
            }
            good = probe + 1;
        }
        while (good < bad) {
            const std::size_t middle = (good + bad) / 2;
            const std::optional<bool> fit = fitsAt(middle);
            if (!fit)
                return std::nullopt;
            if (*fit)
                good = middle + 1;
            else
                bad = middle;
        }
        return good;
    }

    std::optional<bool> fits(std::string_view text) const
    {
        if (text.size() > m_maxLineBytes)
            return false;
        const std::optional<double> width = m_width(text);
        if (!width)
            return std::nullopt;
        return static_cast<long>(boxSide(*width)) <= m_maxWidth;
    }

    // The end of the longest run of whole characters from start that fits (at least one).
    std::optional<std::size_t> characterBreak(std::string_view text, std::size_t start) const
    {
        std::vector<std::size_t> ends;
        for (std::size_t i = start; i < text.size() && i - start <= m_maxLineBytes;) {
            nextCodePoint(text, i);
            ends.push_back(i);
        }
        if (ends.empty())
            return text.size();
        const std::optional<std::size_t> fitting = leadingFits(
            ends.size(), [&](std::size_t k) { return fits(text.substr(start, ends[k] - start)); });
        if (!fitting)
            return std::nullopt;
        return ends[std::max<std::size_t>(1, *fitting) - 1]; // one character always goes
    }

    const Width& m_width;
    long m_maxWidth;
    std::size_t m_maxLineBytes;
};

// Splits a line of text between the layer's font and fallback fonts, noting the characters no
// font has.
TextLine makeLine(std::string_view part, const FontEntry* font, const Layer& layer,
                  std::vector<char32_t>& missing)
{
    TextLine line;
    line.text = part;
    if (!font) {
        if (!part.empty())
            line.split.runs.push_back({std::string(), line.text});
        return line;
    }
    line.split = splitTextByFont(part, font->fontReference, layer.isBold != 0, layer.isItalic != 0);
    for (const char32_t cp : line.split.missing) {
        if (std::find(missing.begin(), missing.end(), cp) == missing.end())
            missing.push_back(cp);
    }
    return line;
}

// Lays a layer's text out without drawing it; nothing when the font cannot measure it.
// The text is measured with draw, which keeps the font, size and kerning for drawing a text of
// one line.
std::optional<TextLayout> layOutText(const Layer& layer, const std::string& text,
                                     const FontRegistry& fonts, DrawingWand* draw)
{
    const MagickWandPtr scratchCanvas = newCanvas(1, 1, "none");
    MagickWand* scratch = scratchCanvas.get();
    if (!scratch)
        return std::nullopt;
    DrawSetTextEncoding(draw, "UTF-8");
    const FontEntry* font = layerFont(layer, fonts);
    if (font)
        DrawSetFont(draw, font->fontReference.c_str());
    TextLayout layout;
    std::vector<std::string_view> paragraphs = textLines(text);
    // Every line is at least a pixel high: lines past the layer's height never show.
    const auto maxLines = static_cast<std::size_t>(std::max(1, layer.height));
    paragraphs.resize(std::min(paragraphs.size(), maxLines));
    for (const std::string_view part : paragraphs)
        layout.lines.push_back(makeLine(part, font, layer, layout.missing));
    const TextMeasurer measurer(draw, scratch, layout.lines);
    SizeAt sizeAt = [&](double fontSize) {
        return measurer.measure(fontSize, fitKerning(layer), true);
    };

    // A text that may wrap is broken into lines anew at every size tried. Breaks in the cell
    // always start a line; the lines wrapping adds keep the total within maxLines.
    const auto wrapLines = static_cast<std::size_t>(std::clamp(layer.maxLines, 1, kMaxTextLines));
    std::vector<char32_t> ignored;
    const LineWrapper::Width widthOf = [&](std::string_view part) -> std::optional<double> {
        const std::optional<TextSize> size =
            measurer.measureLine(makeLine(part, font, layer, ignored), fitKerning(layer));
        return size ? std::optional<double>(size->width) : std::nullopt;
    };
    const auto wrapAt = [&](double fontSize) -> bool {
        DrawSetFontSize(draw, fontSize);
        DrawSetTextKerning(draw, fitKerning(layer));
        LineWrapper wrapper(widthOf, layer.width);
        layout.lines.clear();
        for (std::size_t p = 0; p < paragraphs.size(); ++p) {
            const std::size_t used = layout.lines.size() + (paragraphs.size() - p - 1);
            const std::size_t allowed = std::min(
                maxLines, std::max<std::size_t>(1, wrapLines > used ? wrapLines - used : 1));
            const auto lines = wrapper.wrap(paragraphs[p], allowed);
            if (!lines)
                return false;
            for (const std::string_view line : *lines)
                layout.lines.push_back(makeLine(line, font, layer, ignored));
        }
        return true;
    };
    if (wrapLines > 1)
        sizeAt = [&](double fontSize) -> std::optional<TextSize> {
            if (!wrapAt(fontSize))
                return std::nullopt;
            return measurer.measure(fontSize, fitKerning(layer), true);
        };

    const std::optional<double> fontSize = chooseFontSize(sizeAt, layer, layout.atMinimum);
    if (!fontSize || (wrapLines > 1 && !wrapAt(*fontSize)))
        return std::nullopt;
    layout.fontSize = *fontSize;
    DrawSetFontSize(draw, layout.fontSize);

    // Justified lines are each spread to the layer's width, measured without spacing first.
    // With several lines the kerning is set for each, so none takes the one before it.
    const bool severalLines = layout.lines.size() > 1;
    std::vector<TextSize> sizes;
    for (TextLine& line : layout.lines) {
        double natural = 0;
        if (layer.tHAlign != kHAlignJustified) {
            line.kerning = layer.characterSpacing;
            line.setKerning = true;
        } else if (const std::size_t n = utf16Length(line.text); n > 1) {
            if (severalLines)
                DrawSetTextKerning(draw, 0);
            const std::optional<TextSize> plain = measurer.measureLine(line, 0);
            if (!plain)
                return std::nullopt;
            natural = plain->width;
            const double w0 = plain->width > 0 ? plain->width : 1;
            const double kerning = (layer.width - w0) / static_cast<double>(n - 1);
            if (kerning > 0) {
                line.kerning = kerning;
                line.setKerning = true;
            }
        }
        if (line.setKerning || severalLines)
            DrawSetTextKerning(draw, line.kerning);
        const std::optional<TextSize> size =
            measurer.measureLine(line, line.kerning, &line.runSizes);
        if (!size)
            return std::nullopt;
        line.size = *size;
        sizes.push_back(*size);
        layout.naturalWidth = std::max(layout.naturalWidth, natural > 0 ? natural : size->width);
    }
    layout.size = stackLines(sizes);
    return layout;
}

// Draws a line run by run on one baseline from x, the canvas being the top-left part of the
// text's box.
bool annotateLine(MagickWand* canvas, DrawingWand* draw, const TextLine& line, double x,
                  double baseline)
{
    for (std::size_t i = 0; i < line.split.runs.size(); ++i) {
        const FontRun& run = line.split.runs[i];
        if (!run.font.empty())
            DrawSetFont(draw, run.font.c_str());
        if (MagickAnnotateImage(canvas, draw, x, baseline, 0, run.text.c_str()) == MagickFalse)
            return false;
        x += line.runSizes[i].width + line.kerning;
    }
    return true;
}

// Draws a text split between fonts or over several lines into a box of boxWidth x boxHeight,
// the lines one under the other, the whole centred in the box and each line placed in it by
// the layer's alignment.
bool annotateLines(MagickWand* canvas, DrawingWand* draw, const TextLayout& layout,
                   const Layer& layer, std::size_t boxWidth, std::size_t boxHeight)
{
    DrawSetGravity(draw, ForgetGravity);
    const TextSize& size = layout.size;
    const double left = (static_cast<double>(boxWidth) - size.width) / 2;
    const double lineHeight = size.ascent - size.descent;
    double baseline = (static_cast<double>(boxHeight) - size.height) / 2 + size.ascent;
    const bool severalLines = layout.lines.size() > 1;
    // Lines are placed in the part of the block the layer shows: a line wider than the layer
    // (clipped on the right) does not push the others out of it.
    const double span = std::min(size.width, static_cast<double>(layer.width));
    for (const TextLine& line : layout.lines) {
        double x = left;
        if (layer.tHAlign == kHAlignRight)
            x += std::max(0.0, span - line.size.width);
        else if (layer.tHAlign != 0)
            x += std::max(0.0, (span - line.size.width) / 2);
        if (severalLines)
            DrawSetTextKerning(draw, line.kerning);
        if (!annotateLine(canvas, draw, line, x, baseline))
            return false;
        baseline += lineHeight;
    }
    return true;
}

} // namespace

std::size_t maxDrawnUnits(const Layer& layer)
{
    // A text that wraps shows that much on each of its lines.
    return 256 + 4 * static_cast<std::size_t>(std::max(0, layer.width)) *
                     static_cast<std::size_t>(std::clamp(layer.maxLines, 1, kMaxTextLines));
}

TextFitter::TextFitter(const Layer& layer, const FontRegistry& fonts)
    : m_layer(layer), m_fonts(fonts)
{
    const FontEntry* font = layerFont(layer, fonts);
    if (!font)
        return;
    m_fontFile = font->fontReference;
    const MagickMemoryPtr<double> metrics =
        FontMeasure(m_fontFile, pixelSize(layer.fontSize)).metrics("W");
    if (!metrics)
        return;
    m_maxAdvance = metrics.get()[kMaxAdvance];
    m_height = metrics.get()[kAscender] - metrics.get()[kDescender];
}

bool TextFitter::surelyFits(const std::string& text, const FontSplit& split) const
{
    // Only a text of one line in the layer's own font is bounded by that font's advance.
    if (m_maxAdvance <= 0 || split.runs.size() != 1 || split.runs.front().font != m_fontFile ||
        text.find_first_of("\r\n") != std::string::npos)
        return false;
    // No character is wider than the font's widest advance, and no glyph reaches further
    // past its advance than one more: a text within that bound needs no measuring.
    const double size = pixelSize(m_layer.fontSize);
    const double spacing = m_layer.tHAlign == kHAlignJustified
                               ? 0.0
                               : std::max(0.0, static_cast<double>(m_layer.characterSpacing));
    // UTF-16 units are at least as many as the characters.
    const double bound =
        static_cast<double>(utf16Length(text) + 1) * (std::max(m_maxAdvance, size) + spacing);
    if (static_cast<long>(boxSide(bound)) > m_layer.width)
        return false;
    return !m_layer.autoShrink || static_cast<long>(boxSide(m_height)) <= m_layer.height;
}

TextFit TextFitter::fit(const std::string& text) const
{
    TextFit fit;
    if (text.empty())
        return fit;
    if (!m_fontFile.empty()) {
        FontSplit split =
            splitTextByFont(text, m_fontFile, m_layer.isBold != 0, m_layer.isItalic != 0);
        if (surelyFits(text, split)) {
            fit.measured = true;
            fit.missing = std::move(split.missing);
            return fit;
        }
    }
    DrawingWandPtr draw(NewDrawingWand());
    const std::optional<TextLayout> layout =
        draw ? layOutText(m_layer, text, m_fonts, draw.get()) : std::nullopt;
    if (!layout)
        return fit;
    fit.measured = true;
    fit.missing = layout->missing;
    fit.atMinimum = layout->atMinimum;
    // Justified text is spread to the layer's width when it is narrower; wider, it is clipped.
    fit.wider = static_cast<long>(boxSide(layout->naturalWidth)) > m_layer.width;
    fit.taller = layout->lines.size() > 1 &&
                 static_cast<long>(boxSide(layout->size.height)) > m_layer.height;
    return fit;
}

TextBoxResult renderTextBox(const Layer& layer, const std::string& text, const FontRegistry& fonts)
{
    TextBoxResult result;
    if (text.empty())
        return result;
    result.failed = true; // until the text is drawn
    DrawingWandPtr draw(NewDrawingWand());
    const std::optional<TextLayout> layout =
        draw ? layOutText(layer, text, fonts, draw.get()) : std::nullopt;
    if (!layout)
        return result;
    result.missing = layout->missing;
    result.atMinimum = layout->atMinimum;
    const TextSize& size = layout->size;
    if (size.width <= 0) {
        result.failed = false; // nothing to draw, as for a text of zero-width characters
        return result;
    }
    const std::size_t boxWidth = boxSide(size.width);
    const std::size_t boxHeight = boxSide(size.height);
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
    if (layout->lines.size() > 1 || layout->lines.front().split.runs.size() > 1) {
        if (!annotateLines(box.box.get(), draw.get(), *layout, layer, boxWidth, boxHeight))
            return result;
    } else {
        DrawSetGravity(draw.get(), CenterGravity);
        const double shiftX =
            (static_cast<double>(boxWidth) - static_cast<double>(visibleWidth)) / 2;
        const double shiftY =
            (static_cast<double>(boxHeight) - static_cast<double>(visibleHeight)) / 2;
        if (MagickAnnotateImage(box.box.get(), draw.get(), shiftX, shiftY, 0, text.c_str()) ==
            MagickFalse)
            return result;
    }
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

std::string thumbnailKey(const Layer& layer, const std::string& templatePath)
{
    if (layer.type == LayerType::Code) {
        std::string key = "C" + layer.text + '\n' + layer.codeType + '\n' + layer.codeErrorLevel +
                          '\n' + layer.htmlColor + '\n' + layer.codeBackground + '\n' +
                          layer.fontName + '\n';
        for (const std::int32_t value :
             {layer.width, layer.height, layer.pHAlign, layer.pVAlign, layer.codeQuietZone,
              static_cast<std::int32_t>(layer.codeShowText), layer.fontSize, layer.isBold})
            key += std::to_string(value) + ',';
        return key;
    }
    if (layer.type != LayerType::Text)
        return "P" + layer.filePath + '\n' + templatePath;
    std::string key = "T" + layer.text + '\n' + layer.fontName + '\n' + layer.htmlColor + '\n';
    for (const std::int32_t value :
         {layer.fontSize, layer.isBold, layer.isItalic, layer.tHAlign, layer.tVAlign,
          layer.characterSpacing, layer.width, layer.height,
          static_cast<std::int32_t>(layer.autoShrink), layer.minFontSize, layer.maxLines})
        key += std::to_string(value) + ',';
    return key;
}

Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath)
{
    if (layer.type == LayerType::Text)
        return exportRgba(renderLayerImage(layer, layer.text, fonts).get());
    if (layer.type == LayerType::Code)
        return exportRgba(renderCodeLayerImage(layer, layer.text, fonts).get());
    if (layer.filePath.empty())
        return {};
    const DecodedPicture picture = readPicture(resolveTemplatePath(layer.filePath, templatePath));
    return exportRgba(picture.wand.get());
}

} // namespace torvale
