#include "render/text_engine.h"
#include "render/text_render.h"

#include "render/picture_input.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace torvale {
namespace {

// A picture's ink as a mask cut to its bounds: pixels whose coverage is above half.
struct Mask {
    long width = 0;
    long height = 0;
    std::vector<bool> ink;

    bool at(long x, long y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height &&
               ink[static_cast<std::size_t>(y * width + x)];
    }

    // The share of this mask's ink that other has within a pixel, other shifted by (dx, dy).
    double within(const Mask& other, long dx, long dy) const
    {
        long near = 0;
        long count = 0;
        for (long y = 0; y < height; ++y) {
            for (long x = 0; x < width; ++x) {
                if (!at(x, y))
                    continue;
                ++count;
                bool found = false;
                for (long ny = -1; ny <= 1 && !found; ++ny) {
                    for (long nx = -1; nx <= 1 && !found; ++nx)
                        found = other.at(x + nx - dx, y + ny - dy);
                }
                near += found;
            }
        }
        return count ? static_cast<double>(near) / static_cast<double>(count) : 0;
    }

    // How well two masks agree, both ways, at the best small shift (at most maxShift rows).
    double agreement(const Mask& other, long maxShift = 2) const
    {
        double best = 0;
        for (long dy = -maxShift; dy <= maxShift; ++dy) {
            for (long dx = -2; dx <= 2; ++dx)
                best =
                    std::max(best, std::min(within(other, dx, dy), other.within(*this, -dx, -dy)));
        }
        return best;
    }

    // Columns [from, from + count) of the mask.
    Mask columns(long from, long count) const
    {
        Mask part;
        part.width = count;
        part.height = height;
        for (long y = 0; y < height; ++y) {
            for (long x = from; x < from + count; ++x)
                part.ink.push_back(at(x, y));
        }
        return part;
    }
};

// The mask turned a quarter clockwise.
Mask turnedClockwise(const Mask& mask)
{
    Mask turned;
    turned.width = mask.height;
    turned.height = mask.width;
    for (long y = 0; y < turned.height; ++y) {
        for (long x = 0; x < turned.width; ++x)
            turned.ink.push_back(mask.at(y, mask.height - 1 - x));
    }
    return turned;
}

// coverage(x, y) from 0 to 255.
template <typename Coverage> Mask maskOf(long width, long height, const Coverage& coverage)
{
    long left = width, top = height, right = -1, bottom = -1;
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            if (coverage(x, y) > 127) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    Mask mask;
    if (right < 0)
        return mask;
    mask.width = right - left + 1;
    mask.height = bottom - top + 1;
    for (long y = top; y <= bottom; ++y) {
        for (long x = left; x <= right; ++x)
            mask.ink.push_back(coverage(x, y) > 127);
    }
    return mask;
}

Mask maskOf(const RgbaPixels& pixels)
{
    return maskOf(
        static_cast<long>(pixels.width), static_cast<long>(pixels.height), [&](long x, long y) {
            return pixels
                .bytes[static_cast<std::size_t>(y * static_cast<long>(pixels.width) + x) * 4 + 3];
        });
}

// The text as HarfBuzz's own viewer draws it in a font file (black on white); shapers
// "fallback" with a left-to-right direction gives the unshaped text, letter after letter.
Mask viewerMask(const std::string& fontFile, const std::string& text, int pixelSize,
                const std::string& extra = {})
{
    test::TempDir dir;
    const std::string textFile = (dir.path() / "text.txt").string();
    const std::string png = (dir.path() / "out.png").string();
    std::FILE* file = std::fopen(textFile.c_str(), "wb");
    if (!file)
        return {};
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    const std::string command = "hb-view --font-size=" + std::to_string(pixelSize) +
                                " --margin=8 -O png -o '" + png + "' --text-file='" + textFile +
                                "' " + extra + " '" + fontFile + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return {};
    const DecodedPicture picture = readPicture(png);
    if (!picture)
        return {};
    const RgbaPixels pixels = exportRgba(picture.wand.get());
    return maskOf(
        static_cast<long>(pixels.width), static_cast<long>(pixels.height), [&](long x, long y) {
            return 255 -
                   pixels.bytes[static_cast<std::size_t>(y * static_cast<long>(pixels.width) + x) *
                                4];
        });
}

std::string fileOf(const std::string& family)
{
    const std::vector<FontEntry>* entries = test::testFonts().family(family);
    return entries ? chooseFontFile(*entries, false, false).fontReference : std::string();
}

Layer layerFor(const std::string& family, int width = 900)
{
    Layer layer;
    layer.fontName = family;
    layer.fontSize = 36; // 48 pixels
    layer.width = width;
    layer.height = 120;
    return layer;
}

// One name per script, in a face that covers it, drawn as HarfBuzz's own viewer draws it; for
// the scripts that shaping or direction changes most, clearly unlike the letters set one after
// another from left to right.
TEST(TextEngine, EveryScriptIsDrawnAsTheShapingEngineShapesIt)
{
    if (std::system("command -v hb-view >/dev/null") != 0)
        GTEST_SKIP() << "hb-view (libharfbuzz-bin) is not installed";
    struct Case {
        const char* family;
        const char* text;
        bool unlikeUnshaped;
    };
    const Case cases[] = {
        {"Noto Sans Arabic", "محمد الأحمد", true}, {"Noto Sans Arabic", "ئابدۇرېھىم ئۆتكۈر", true},
        {"Noto Sans Hebrew", "דוד כהן", true},     {"Noto Sans Devanagari", "क्षत्रिय प्रिया", true},
        {"Noto Sans Bengali", "অমিত রায়", false},  {"Noto Sans Thai", "สมชาย ใจดี", false},
        {"Noto Sans Khmer", "សុខ ដារ៉ា", false},     {"Noto Serif Tibetan", "བཀྲ་ཤིས་ཚེ་རིང་", false},
        {"Noto Sans", "Adébáyọ̀ Nguyễn", false},    {"WenQuanYi Zen Hei", "王小明 김민준", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string file = fileOf(c.family);
        if (file.empty()) {
            ADD_FAILURE() << c.family << " is not installed (scripts/install-deps)";
            continue;
        }
        const Mask ours = maskOf(renderLayerImage(layerFor(c.family), c.text, test::testFonts()));
        const Mask shaped = viewerMask(file, c.text, 48);
        ASSERT_FALSE(shaped.ink.empty());
        EXPECT_NEAR(ours.width, shaped.width, 4);
        EXPECT_NEAR(ours.height, shaped.height, 3);
        const double same = ours.agreement(shaped);
        EXPECT_GT(same, 0.9);
        if (c.unlikeUnshaped) {
            const Mask unshaped =
                viewerMask(file, c.text, 48, "--shapers=fallback --direction=ltr");
            EXPECT_LT(ours.agreement(unshaped), same - 0.2);
        }
    }
}

// In a column Latin letters and digits are turned clockwise as a run: the column is the line
// turned. Chinese characters stand upright: one character is the same in a column and a line.
TEST(TextEngine, VerticalTextTurnsLatinRunsAndKeepsChineseUpright)
{
    for (const char* family : {"WenQuanYi Zen Hei", "DejaVu Sans"}) {
        SCOPED_TRACE(family);
        Layer line = layerFor(family, 400);
        line.tHAlign = 1;
        Layer column = line;
        column.isVertical = true;
        std::swap(column.width, column.height);
        const auto ink = [](const Layer& layer, const char* text) {
            return maskOf(renderLayerImage(layer, text, test::testFonts()));
        };
        const Mask down = ink(column, "ABC 123");
        const Mask clockwise = turnedClockwise(ink(line, "ABC 123"));
        const Mask otherWay = turnedClockwise(turnedClockwise(clockwise));
        EXPECT_GT(down.height, 3 * down.width);
        EXPECT_GT(down.agreement(clockwise), 0.95);
        EXPECT_LT(down.agreement(otherWay), down.agreement(clockwise) - 0.2);
        EXPECT_GT(ink(column, "员").agreement(ink(line, "员")), 0.95);
    }
}

// Left-to-right text with a right-to-left name in it is ordered by the bidirectional
// algorithm: "Ali" on the left, then the name, shaped as it is alone.
TEST(TextEngine, MixedDirectionsAreOrderedByTheBidiAlgorithm)
{
    const Layer layer = layerFor("Noto Sans Arabic");
    const Mask whole = maskOf(renderLayerImage(layer, "Ali محمد", test::testFonts()));
    const Mask ali = maskOf(renderLayerImage(layer, "Ali", test::testFonts()));
    const Mask name = maskOf(renderLayerImage(layer, "محمد", test::testFonts()));
    ASSERT_FALSE(whole.ink.empty());
    ASSERT_GT(whole.width, ali.width + name.width);
    EXPECT_GT(whole.columns(0, ali.width).agreement(ali, 20), 0.9);
    EXPECT_GT(whole.columns(whole.width - name.width, name.width).agreement(name, 20), 0.9);
    EXPECT_LT(whole.columns(0, name.width).agreement(name, 20), 0.6);
}

// Justification spreads a text between its grapheme clusters, but never between two joined
// letters: a cursive word is drawn as shaped, Arabic words spread at their spaces only, and a
// Latin or Devanagari word spreads to the layer's width.
TEST(TextEngine, JustificationKeepsJoinsAndClusters)
{
    Layer justified = layerFor("Noto Sans Arabic", 800);
    justified.tHAlign = 3;
    Layer left = justified;
    left.tHAlign = 0;
    const auto ink = [](const Layer& layer, const char* text) {
        return maskOf(renderLayerImage(layer, text, test::testFonts()));
    };
    const Mask word = ink(justified, "محمد");
    EXPECT_EQ(word.ink, ink(left, "محمد").ink);
    const Mask words = ink(justified, "محمد الأحمد");
    EXPECT_GT(words.width, 700);
    EXPECT_GT(words.columns(words.width - word.width, word.width).agreement(word, 20), 0.9);
    for (const auto& [family, text] :
         {std::pair{"Noto Sans", "Wang"}, std::pair{"Noto Sans Devanagari", "क्षत्रिय"}}) {
        SCOPED_TRACE(family);
        justified.fontName = family;
        EXPECT_GT(ink(justified, text).width, 700);
    }
}

// Characters no face has take no room, an emoji is drawn in colour, and format characters
// alone draw nothing and fail nothing.
TEST(TextEngine, MissingCharactersEmojiAndFormatCharacters)
{
    Layer layer = layerFor("WenQuanYi Zen Hei", 600);
    layer.tHAlign = 1;
    const TextBoxResult plain = renderTextBox(layer, "Lily Chen", test::testFonts());
    const TextBoxResult missing = renderTextBox(layer, "Lily\U0010FFFD Chen", test::testFonts());
    ASSERT_TRUE(plain.box && missing.box);
    EXPECT_EQ(missing.fit.missing, std::vector<char32_t>{0x10FFFD});
    EXPECT_EQ(missing.box->x, plain.box->x);
    EXPECT_EQ(missing.box->box.bytes, plain.box->box.bytes);

    const TextBoxResult emoji = renderTextBox(layer, "Lily 🌸 Chen", test::testFonts());
    ASSERT_TRUE(emoji.box);
    EXPECT_FALSE(emoji.failed);
    EXPECT_TRUE(emoji.fit.missing.empty());
    long coloured = 0;
    const std::vector<unsigned char>& px = emoji.box->box.bytes;
    for (std::size_t i = 0; i < px.size(); i += 4)
        coloured += px[i + 3] > 200 && px[i] > px[i + 2] + 60; // pink petals
    EXPECT_GT(coloured, 100);

    for (const char* format : {"\u200B\uFEFF", "\u202E\u2066", "\u202E"}) {
        const TextBoxResult none = renderTextBox(layer, format, test::testFonts());
        EXPECT_FALSE(none.failed);
        EXPECT_TRUE(none.fit.missing.empty());
    }
}

// Hostile cells: each draws within the layer or is refused, without hanging.
TEST(TextEngine, HostileCellsDrawOrAreRefused)
{
    Layer layer = layerFor("Noto Sans", 300);
    layer.maxLines = 3;
    const std::string marks = "a" + [] {
        std::string s;
        for (int i = 0; i < 5000; ++i)
            s += "\u0301";
        return s;
    }();
    const std::string openOverride = "\u202Eabc \u202Dمحمد\u2067 123";
    const std::string longArabic = [] {
        std::string s;
        for (int i = 0; i < 20000; ++i)
            s += "محمد ";
        return s;
    }();
    const std::string halfSurrogate = "ab\xED\xA0\x80"
                                      "cd"; // as UTF-8 it is invalid
    for (const bool vertical : {false, true}) {
        layer.isVertical = vertical;
        for (const std::string* text : {&marks, &openOverride, &longArabic, &halfSurrogate}) {
            const std::string cut =
                text->substr(0, std::min(text->size(), 4 * maxDrawnUnits(layer)));
            const TextBoxResult result = renderTextBox(layer, cut, test::testFonts());
            EXPECT_TRUE(result.box || result.failed);
            if (result.box) {
                EXPECT_LE(result.box->box.width, static_cast<std::size_t>(layer.width));
                EXPECT_LE(result.box->box.height, static_cast<std::size_t>(layer.height));
            }
        }
    }
}

// Threads keep faces and glyphs of their own: texts drawn on four threads at once are the texts
// drawn on one (scripts/tsan runs this under ThreadSanitizer).
TEST(TextEngine, ThreadsDrawTheSameTexts)
{
    const std::vector<std::string> texts = {"محمد الأحمد", "क्षत्रिय",    "王小明 Wang",
                                            "Lily 🌸 Chen", "สมชาย ใจดี", "Nguyễn Thị Ánh"};
    const Layer layer = layerFor("WenQuanYi Zen Hei", 500);
    std::vector<RgbaPixels> expected;
    for (const std::string& text : texts)
        expected.push_back(renderLayerImage(layer, text, test::testFonts()));
    std::vector<std::vector<RgbaPixels>> drawn(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < drawn.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    const std::size_t k = (i + t) % texts.size();
                    RgbaPixels pixels = renderLayerImage(layer, texts[k], test::testFonts());
                    if (round == 2 && drawn[t].size() < texts.size())
                        drawn[t].push_back(std::move(pixels));
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 0; t < drawn.size(); ++t) {
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(drawn[t][i].bytes, expected[(i + t) % texts.size()].bytes) << t << " " << i;
    }
}

} // namespace
} // namespace torvale
