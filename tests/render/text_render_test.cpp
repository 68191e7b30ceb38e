#include "render/text_render.h"
#include "render/thumbnail.h"

#include "common/text.h"
#include "model/template_file.h"
#include "render/glyph_coverage.h"

#include "support/test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace torvale {
namespace {

constexpr const char* kFont = "WenQuanYi Zen Hei";

struct Pixels {
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<unsigned char> rgba;

    const unsigned char* at(std::size_t x, std::size_t y) const
    {
        return &rgba[(y * width + x) * 4];
    }
};

// Bounds of the pixels whose alpha is above a threshold; empty when there are none.
struct Ink {
    long left = -1, top = -1, right = -1, bottom = -1;
    long count = 0;
    bool empty() const { return count == 0; }
    double centreX() const { return (left + right) / 2.0; }
    double centreY() const { return (top + bottom) / 2.0; }
};

Ink inkOf(const Pixels& pixels, unsigned char threshold = 96)
{
    Ink ink;
    for (std::size_t y = 0; y < pixels.height; ++y) {
        for (std::size_t x = 0; x < pixels.width; ++x) {
            if (pixels.at(x, y)[3] <= threshold)
                continue;
            const long lx = static_cast<long>(x), ly = static_cast<long>(y);
            if (ink.count++ == 0) {
                ink.left = ink.right = lx;
                ink.top = ink.bottom = ly;
            }
            ink.left = std::min(ink.left, lx);
            ink.right = std::max(ink.right, lx);
            ink.top = std::min(ink.top, ly);
            ink.bottom = std::max(ink.bottom, ly);
        }
    }
    return ink;
}

class TextRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<test::TempDir>();
        s_fonts = std::make_unique<FontRegistry>(
            FontRegistry::build(SettingsStore(s_dir->path() / "settings.json")));
    }
    static void TearDownTestSuite()
    {
        s_fonts.reset();
        s_dir.reset();
    }

    static Layer textLayer(int width, int height, int hAlign = 0, int vAlign = 0)
    {
        Layer layer;
        layer.fontName = kFont;
        layer.fontSize = 12;
        layer.width = width;
        layer.height = height;
        layer.tHAlign = hAlign;
        layer.tVAlign = vAlign;
        return layer;
    }

    static Pixels render(const Layer& layer, const std::string& text)
    {
        const RgbaPixels image = renderLayerImage(layer, text, *s_fonts);
        EXPECT_FALSE(image.empty());
        Pixels pixels{image.width, image.height, image.bytes};
        EXPECT_EQ(pixels.width, static_cast<std::size_t>(layer.width));
        EXPECT_EQ(pixels.height, static_cast<std::size_t>(layer.height));
        return pixels;
    }

    static Ink renderInk(const Layer& layer, const std::string& text)
    {
        return inkOf(render(layer, text));
    }

    static inline std::unique_ptr<test::TempDir> s_dir;
    static inline std::unique_ptr<FontRegistry> s_fonts;
};

TEST_F(TextRenderTest, EmptyTextGivesATransparentLayer)
{
    const Pixels pixels = render(textLayer(50, 20), "");
    EXPECT_TRUE(inkOf(pixels, 0).empty());
}

TEST_F(TextRenderTest, HorizontalAlignment)
{
    constexpr int kWidth = 200;
    const Ink left = renderInk(textLayer(kWidth, 30, 0), "Name 名字");
    const Ink centre = renderInk(textLayer(kWidth, 30, 1), "Name 名字");
    const Ink right = renderInk(textLayer(kWidth, 30, 2), "Name 名字");
    ASSERT_FALSE(left.empty());
    EXPECT_LE(left.left, 3);
    EXPECT_NEAR(centre.centreX(), kWidth / 2.0, 3);
    EXPECT_GE(right.right, kWidth - 5);
    EXPECT_LT(right.right, kWidth);
    // The same box moves: the ink keeps its width.
    EXPECT_EQ(right.right - right.left, left.right - left.left);
}

TEST_F(TextRenderTest, VerticalAlignment)
{
    constexpr int kHeight = 80;
    const Ink top = renderInk(textLayer(100, kHeight, 0, 0), "Hg");
    const Ink middle = renderInk(textLayer(100, kHeight, 0, 1), "Hg");
    const Ink bottom = renderInk(textLayer(100, kHeight, 0, 2), "Hg");
    ASSERT_FALSE(top.empty());
    EXPECT_LE(top.top, 8);
    EXPECT_NEAR(middle.centreY(), kHeight / 2.0, 4);
    EXPECT_GE(bottom.bottom, kHeight - 8);
    EXPECT_EQ(bottom.bottom - bottom.top, top.bottom - top.top);
}

TEST_F(TextRenderTest, TextWiderThanTheLayerStartsAtTheLeftAndIsClipped)
{
    for (const int align : {1, 2, 3}) {
        SCOPED_TRACE(align);
        const Ink ink = renderInk(textLayer(60, 24, align), "WWWWWWWWWWWW");
        ASSERT_FALSE(ink.empty());
        EXPECT_LE(ink.left, 3);
        EXPECT_EQ(ink.right, 59);
    }
}

TEST_F(TextRenderTest, ClippedTextIsTheVisiblePartOfTheWholeBox)
{
    // A layer large enough for the box at its top left shows the whole box; a smaller layer,
    // whatever its alignment, must show exactly its top-left part.
    Layer whole = textLayer(1200, 120);
    whole.fontSize = 40;
    const Pixels reference = render(whole, "Wang Xiaoming 王小明 Hg");
    for (const auto& [align, vAlign] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{2, 2}}) {
        SCOPED_TRACE(align);
        Layer clipped = textLayer(150, 20, align, vAlign);
        clipped.fontSize = 40;
        const Pixels part = render(clipped, "Wang Xiaoming 王小明 Hg");
        for (std::size_t y = 0; y < part.height; ++y) {
            for (std::size_t x = 0; x < part.width; ++x)
                ASSERT_EQ(std::memcmp(part.at(x, y), reference.at(x, y), 4), 0) << x << "," << y;
        }
    }
}

TEST_F(TextRenderTest, TextBeyondTheLibrarySizeLimitsIsDrawnOrReported)
{
    // 600 letters at 40 points need a box far wider than the 16000-pixel limit.
    Layer layer = textLayer(300, 60, 1, 1);
    layer.fontSize = 40;
    const TextBoxResult longName = renderTextBox(layer, std::string(600, 'W'), *s_fonts);
    EXPECT_FALSE(longName.failed);
    ASSERT_TRUE(longName.box);
    EXPECT_FALSE(renderInk(layer, std::string(600, 'W')).empty());

    layer.fontSize = 20000;
    const TextBoxResult huge = renderTextBox(layer, "W", *s_fonts);
    EXPECT_TRUE(huge.failed || huge.box);
    EXPECT_FALSE(renderTextBox(layer, "", *s_fonts).failed);
}

TEST_F(TextRenderTest, Justification)
{
    constexpr int kWidth = 300;
    const Ink spread = renderInk(textLayer(kWidth, 30, 3), "ABCD");
    ASSERT_FALSE(spread.empty());
    EXPECT_LE(spread.left, 4);
    EXPECT_GE(spread.right, kWidth - 6);

    const Ink single = renderInk(textLayer(kWidth, 30, 3), "中");
    ASSERT_FALSE(single.empty());
    EXPECT_NEAR(single.centreX(), kWidth / 2.0, 3);

    // Character spacing plays no part in justified text.
    Layer spaced = textLayer(kWidth, 30, 3);
    spaced.characterSpacing = 20;
    const Ink ignored = renderInk(spaced, "ABCD");
    EXPECT_EQ(ignored.left, spread.left);
    EXPECT_EQ(ignored.right, spread.right);
}

TEST_F(TextRenderTest, CharacterSpacingWidensAndNarrowsTheText)
{
    Layer layer = textLayer(300, 30);
    const Ink plain = renderInk(layer, "ABCDEF");
    layer.characterSpacing = -3;
    const Ink narrow = renderInk(layer, "ABCDEF");
    layer.characterSpacing = 5;
    const Ink wide = renderInk(layer, "ABCDEF");
    const long plainWidth = plain.right - plain.left;
    EXPECT_NEAR(narrow.right - narrow.left, plainWidth - 15, 3);
    EXPECT_NEAR(wide.right - wide.left, plainWidth + 25, 3);
}

TEST_F(TextRenderTest, AnySpacingATemplateHoldsIsDrawn)
{
    // Near 2^31 the library's positions overflow and the text vanished, without a log line.
    const std::string file = test::readFile(test::dataFile("templates/custom_other.dat"));
    const std::string spacing = "\"characterSpacing\":\t2,";
    for (const char* value : {"2147483647", "2147450863"}) {
        SCOPED_TRACE(value);
        std::string text = file;
        text.replace(text.find(spacing), spacing.size(),
                     "\"characterSpacing\": " + std::string(value) + ",");
        Template tpl;
        ASSERT_TRUE(readTemplateText(text, "a.dat", tpl, 72, nullptr).ok());
        Layer layer = tpl.layers[0];
        layer.fontName = kFont;
        EXPECT_FALSE(renderInk(layer, "AB").empty());
    }
}

TEST_F(TextRenderTest, InkHasTheLayerColour)
{
    Layer layer = textLayer(200, 60, 1, 1);
    layer.fontSize = 24;
    layer.htmlColor = "#12A0FF";
    const Pixels pixels = render(layer, "颜色 Colour");
    long opaque = 0;
    for (std::size_t y = 0; y < pixels.height; ++y) {
        for (std::size_t x = 0; x < pixels.width; ++x) {
            const unsigned char* p = pixels.at(x, y);
            if (p[3] == 0)
                continue;
            EXPECT_EQ(p[0], 0x12);
            EXPECT_EQ(p[1], 0xA0);
            EXPECT_EQ(p[2], 0xFF);
            opaque += p[3] == 255;
        }
    }
    EXPECT_GT(opaque, 20);

    layer.htmlColor.clear();
    const Pixels black = render(layer, "黑");
    const Ink ink = inkOf(black, 254);
    ASSERT_FALSE(ink.empty());
    const unsigned char* p = black.at(ink.left, ink.top);
    EXPECT_EQ(p[0] + p[1] + p[2], 0);
}

TEST_F(TextRenderTest, PointSizeIsTakenAt96Dpi)
{
    Layer layer = textLayer(200, 60);
    const Ink small = renderInk(layer, "中");
    layer.fontSize = 24;
    const Ink large = renderInk(layer, "中");
    const long smallHeight = small.bottom - small.top + 1;
    const long largeHeight = large.bottom - large.top + 1;
    EXPECT_GE(smallHeight, 12); // a 16-pixel font
    EXPECT_LE(smallHeight, 16);
    EXPECT_NEAR(largeHeight, 2 * smallHeight, 2);
}

TEST_F(TextRenderTest, ExtremeFontSizesStillGiveTheLayerImage)
{
    for (const std::int32_t size : {INT32_MAX, INT32_MIN, 0, -26}) {
        Layer layer = textLayer(40, 20);
        layer.fontSize = size;
        render(layer, "Abc"); // checks the layer image's size
    }
}

TEST_F(TextRenderTest, PercentAndAtSignsAreDrawnLiterally)
{
    const Layer layer = textLayer(200, 30);
    const Ink one = renderInk(layer, "%");
    const Ink two = renderInk(layer, "%%");
    EXPECT_GT(two.right - two.left, one.right - one.left + 4);
    EXPECT_FALSE(renderInk(layer, "@/no/such/file").empty());
}

TEST_F(TextRenderTest, UnknownFontStillDraws)
{
    Layer layer = textLayer(100, 30);
    layer.fontName = "No Such Font";
    EXPECT_FALSE(renderInk(layer, "Abc 中文").empty());
}

// The standard Chinese names draw in their own styles: the same text in two of them differs in
// a good share of its ink, far beyond what anti-aliasing could do.
TEST_F(TextRenderTest, ChineseStylesDrawTheSameTextDifferently)
{
    for (const char* name : {"宋体", "楷体", "黑体"}) {
        if (const auto standIn = s_fonts->standInFamily(name))
            GTEST_SKIP() << "no face in the style of " << name << ", drawn with " << *standIn;
    }
    Layer layer = textLayer(240, 60, 1, 1);
    layer.fontSize = 28;
    const auto alpha = [&layer](const char* font) {
        layer.fontName = font;
        return render(layer, "张伟研发部").rgba;
    };
    const std::pair<const char*, const char*> pairs[] = {
        {"宋体", "楷体"}, {"宋体", "黑体"}, {"楷体", "黑体"}};
    for (const auto& [first, second] : pairs) {
        const auto a = alpha(first);
        const auto b = alpha(second);
        long inked = 0, differing = 0;
        for (std::size_t i = 3; i < a.size(); i += 4) {
            inked += a[i] > 96 || b[i] > 96 ? 1 : 0;
            differing += std::abs(int(a[i]) - int(b[i])) > 128 ? 1 : 0;
        }
        EXPECT_GT(inked, 500) << first << " / " << second;
        EXPECT_GT(differing, inked / 4) << first << " / " << second;
    }
}

// The file the registry draws a family with.
std::string fontFileOf(const FontRegistry& fonts, const std::string& family, bool bold = false)
{
    const std::vector<FontEntry>* entries = fonts.family(family);
    return entries ? chooseFontFile(*entries, bold, false).fontReference : std::string();
}

TEST_F(TextRenderTest, TextIsSplitBetweenItsFontAndFallbacksByWord)
{
    const std::string cjkOnly = fontFileOf(*s_fonts, "Droid Sans Fallback");
    const std::string latinOnly = fontFileOf(*s_fonts, "DejaVu Sans");
    const std::string both = fontFileOf(*s_fonts, kFont);
    ASSERT_FALSE(cjkOnly.empty());
    ASSERT_FALSE(latinOnly.empty());
    struct Case {
        std::string text;
        std::string font;
        std::vector<std::string> runs;
        std::vector<char32_t> missing;
    };
    // Runs marked "=" are drawn in the font itself, "+" in a fallback, "!" by no face.
    const Case cases[] = {
        {"王小明ABC", both, {"=王小明ABC"}, {}},
        {"王小明ABC", cjkOnly, {"=王小明", "+ABC"}, {}},
        {"Name 名字", latinOnly, {"=Name ", "+名字"}, {}},
        // A joiner goes with the character before it.
        {"A名\u200d字", latinOnly, {"=A", "+名\u200d字"}, {}},
        // The font lacks "ễ": the whole word goes to a face that has all of it.
        {"Nguyễn 王", both, {"+Nguyễn", "= 王"}, {}},
        // A character no face has is a run of its own, with no face, named once.
        {"A\U0010FFFDB\U0010FFFD",
         latinOnly,
         {"=A", "!\U0010FFFD", "=B", "!\U0010FFFD"},
         {0x10FFFD}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const FacedText faced = faceText(c.text, {c.font, false, false});
        std::vector<std::string> runs;
        for (const FacedText::Run& run : faced.runs) {
            const char mark = run.face == c.font ? '=' : run.face.empty() ? '!' : '+';
            runs.push_back(
                mark + utf16ToUtf8(
                           std::u16string_view(faced.text).substr(run.start, run.end - run.start)));
        }
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(faced.missing, c.missing);
    }
    // The fallback keeps bold where its family has it.
    const FacedText bold = faceText("王A", {cjkOnly, true, false});
    ASSERT_EQ(bold.runs.size(), 2u);
    EXPECT_NE(bold.runs[1].face.find("Bold"), std::string::npos) << bold.runs[1].face;
}

TEST_F(TextRenderTest, FallbackCharactersAreDrawnAndMeasuredWithTheText)
{
    struct Case {
        const char* font;
        const char* own;   // what the font draws itself
        const char* other; // what a fallback font must draw
    };
    const Case cases[] = {{"Droid Sans Fallback", "王小明", "ABC"},
                          {"DejaVu Sans", "Name ", "名字"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.font);
        Layer layer = textLayer(400, 40, 0, 1);
        layer.fontName = c.font;
        const Ink own = renderInk(layer, c.own);
        const Ink mixed = renderInk(layer, std::string(c.own) + c.other);
        layer.fontName = kFont;
        const Ink other = renderInk(layer, c.other);
        ASSERT_FALSE(own.empty());
        ASSERT_FALSE(other.empty());
        EXPECT_GE(mixed.right, own.right + (other.right - other.left) * 4 / 5);
        EXPECT_GE(mixed.count, own.count + other.count / 2);
        // Centred, the whole mixed text is measured: it stays in the middle.
        layer.fontName = c.font;
        layer.tHAlign = 1;
        EXPECT_NEAR(renderInk(layer, std::string(c.own) + c.other).centreX(), 200, 4);
    }
}

TEST_F(TextRenderTest, TextWithoutACharacterOfItsFontIsDrawnInTheFallback)
{
    const std::pair<const char*, const char*> cases[] = {{"DejaVu Sans", "部门"},
                                                         {"Droid Sans Fallback", "ABC"}};
    for (const auto& [font, text] : cases) {
        SCOPED_TRACE(font);
        Layer layer = textLayer(200, 40, 1, 1);
        layer.fontName = font;
        layer.text = text;
        const Ink ink = renderInk(layer, text);
        ASSERT_FALSE(ink.empty());
        EXPECT_NEAR(ink.centreX(), 100, 3); // measured in the font that draws it
        const TextFit fit = TextFitter(layer, *s_fonts).fit(text);
        EXPECT_TRUE(fit.measured);
        EXPECT_FALSE(fit.wider);
        EXPECT_TRUE(fit.missing.empty());
        layer.width = 20;
        EXPECT_TRUE(TextFitter(layer, *s_fonts).fit(text).wider);
    }
}

TEST_F(TextRenderTest, LineBreaksGiveLinesPlacedByTheAlignment)
{
    const Layer oneLine = textLayer(300, 120, 0, 1);
    const Ink single = renderInk(oneLine, "WWWWWW");
    // Each line of a two-line text, found in the upper and the lower half of its ink.
    for (const int align : {0, 1, 2}) {
        SCOPED_TRACE(align);
        const Layer layer = textLayer(300, 120, align, 1);
        Pixels pixels = render(layer, "WWWWWW\nWW");
        EXPECT_EQ(pixels.rgba, render(layer, "WWWWWW\r\nWW").rgba);
        const Ink both = inkOf(pixels);
        EXPECT_GT(both.bottom - both.top, 2 * (single.bottom - single.top));
        EXPECT_NEAR(both.centreY(), 60, 3);
        Pixels upper = pixels, lower = pixels;
        const std::size_t middle = static_cast<std::size_t>(both.centreY()) * pixels.width * 4;
        std::fill(upper.rgba.begin() + static_cast<long>(middle), upper.rgba.end(), 0);
        std::fill(lower.rgba.begin(), lower.rgba.begin() + static_cast<long>(middle), 0);
        const Ink first = inkOf(upper), second = inkOf(lower);
        EXPECT_GT(first.right - first.left, 2 * (second.right - second.left));
        const double wanted[] = {first.left - second.left + 0.0, first.centreX() - second.centreX(),
                                 first.right - second.right + 0.0};
        EXPECT_NEAR(wanted[align], 0, 2);
    }
}

TEST_F(TextRenderTest, LinesShrinkUntilTheyAllFitAndTheFitterCountsThem)
{
    Layer layer = textLayer(200, 40, 0, 0);
    layer.fontSize = 26;
    const std::string text = "Name\nDepartment";
    EXPECT_TRUE(TextFitter(layer, *s_fonts).fit(text).taller);
    EXPECT_FALSE(TextFitter(layer, *s_fonts).fit("Name").taller);
    layer.autoShrink = true;
    const TextBoxResult shrunk = renderTextBox(layer, text, *s_fonts);
    EXPECT_FALSE(shrunk.fit.atMinimum);
    const Ink ink = renderInk(layer, text);
    EXPECT_GT(ink.top, 0);
    EXPECT_LT(ink.bottom, 39); // the lower line is not clipped
    EXPECT_GT(ink.bottom - ink.top, 20);
    EXPECT_FALSE(TextFitter(layer, *s_fonts).fit(text).atMinimum);
    layer.minFontSize = 20;
    EXPECT_TRUE(TextFitter(layer, *s_fonts).fit(text).atMinimum);
}

TEST_F(TextRenderTest, LongTextsWrapBetweenWordsOrCharactersWithinTheirLines)
{
    // A wrapped text is drawn as the same text broken by hand where it may break.
    const struct {
        const char* text;
        const char* brokenByHand;
        int width;
        int maxLines;
    } cases[] = {
        {"Alexander Montgomery", "Alexander\nMontgomery", 100, 2},
        {"Alexander Montgomery Smith", "Alexander\nMontgomery Smith", 100, 2},
        {"中华人民共和国", "中华人民\n共和国", 70, 3},
        {"中华人民共和国国家统计局", "中华人民\n共和国国家统计局", 70, 2},
        {"中华人民共和国，统计", "中华人民\n共和国，\n统计", 70, 3},
        {"Short\n中华人民共和国", "Short\n中华人民\n共和国", 70, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Layer layer = textLayer(c.width, 60, 1, 1);
        const Pixels byHand = render(layer, c.brokenByHand);
        layer.maxLines = c.maxLines;
        EXPECT_EQ(render(layer, c.text).rgba, byHand.rgba);
    }

    // The last line takes the rest, clipped on the right; the first stays centred in the layer.
    Layer centred = textLayer(70, 60, 1, 0);
    centred.maxLines = 2;
    Pixels pixels = render(centred, "中华人民共和国国家统计局");
    pixels.rgba.resize(pixels.width * 4 * 18); // the first line only
    pixels.height = 18;
    const Ink firstLine = inkOf(pixels);
    EXPECT_NEAR(firstLine.centreX(), 35, 3);

    // A word too wide alone is broken inside; shrinking fits the wrapped lines, not one line.
    Layer layer = textLayer(60, 40, 0, 0);
    layer.maxLines = 2;
    const Ink broken = renderInk(layer, "WWWWWWWW");
    EXPECT_LT(broken.right, 59);
    EXPECT_GT(broken.bottom - broken.top, 16);
    layer = textLayer(120, 60, 0, 1);
    layer.fontSize = 26;
    layer.autoShrink = true;
    layer.maxLines = 2;
    const std::string name = "Alexander Montgomery";
    EXPECT_FALSE(TextFitter(layer, *s_fonts).fit(name).wider);
    const Ink shrunk = renderInk(layer, name);
    EXPECT_LT(shrunk.right, 119);
    EXPECT_GT(shrunk.bottom - shrunk.top, 30); // two lines, each larger than one line would be
}

TEST_F(TextRenderTest, AutoShrinkFitsTheTextOrStopsAtTheMinimum)
{
    const std::string longName = "WWWWWWWWWW";
    Layer layer = textLayer(120, 40, 0, 1);
    layer.fontSize = 26;
    layer.autoShrink = true;
    const TextBoxResult fitted = renderTextBox(layer, longName, *s_fonts);
    EXPECT_FALSE(fitted.fit.atMinimum);
    const Ink shrunk = renderInk(layer, longName);
    EXPECT_LT(shrunk.right, 119);               // not clipped
    EXPECT_GT(shrunk.right - shrunk.left, 100); // the largest size that fits, not just any
    EXPECT_FALSE(TextFitter(layer, *s_fonts).fit(longName).atMinimum);

    layer.minFontSize = 20;
    EXPECT_TRUE(renderTextBox(layer, longName, *s_fonts).fit.atMinimum);
    EXPECT_EQ(renderInk(layer, longName).right, 119); // clipped at the minimum
    EXPECT_TRUE(TextFitter(layer, *s_fonts).fit(longName).atMinimum);

    // A text that fits is drawn at its own size; too tall, it shrinks too.
    Layer roomy = textLayer(120, 60, 0, 1);
    roomy.fontSize = 26;
    roomy.autoShrink = true;
    Layer plain = roomy;
    plain.autoShrink = false;
    EXPECT_EQ(render(roomy, "Wi").rgba, render(plain, "Wi").rgba);
    Layer low = textLayer(300, 16, 0, 0);
    low.fontSize = 26;
    low.autoShrink = true;
    EXPECT_FALSE(renderTextBox(low, "Hg", *s_fonts).fit.atMinimum);
    const Ink lowInk = renderInk(low, "Hg");
    EXPECT_GE(lowInk.top, 0);
    EXPECT_LT(lowInk.bottom, 15);

    // Justified text shrinks into the layer and is still spread over it.
    Layer justified = textLayer(100, 40, 3, 1);
    justified.fontSize = 26;
    justified.autoShrink = true;
    const Ink spread = renderInk(justified, "ABCDEFGHIJ");
    EXPECT_LE(spread.left, 4);
    EXPECT_GE(spread.right, 94);
    EXPECT_FALSE(TextFitter(justified, *s_fonts).fit("ABCDEFGHIJ").wider);
    justified.autoShrink = false;
    EXPECT_TRUE(TextFitter(justified, *s_fonts).fit("ABCDEFGHIJ").wider);
}

TEST_F(TextRenderTest, FitterSaysWhichTextsAreClipped)
{
    // Growing a text letter by letter: while the fitter says it fits, the layer shows all the
    // ink a wider layer shows; a letter after it says the text is wider, ink is cut off.
    for (const char* letter : {"W", "i", "中", "ب"}) {
        SCOPED_TRACE(letter);
        const Layer layer = textLayer(150, 30, 0, 1);
        const Layer wide = textLayer(600, 30, 0, 1);
        const TextFitter fitter(layer, *s_fonts);
        std::string text;
        for (int n = 0; n < 200 && !fitter.fit(text + letter).wider; ++n) {
            text += letter;
            ASSERT_EQ(renderInk(layer, text).count, renderInk(wide, text).count) << text;
        }
        text += std::string(letter) + letter;
        EXPECT_TRUE(fitter.fit(text).wider);
        EXPECT_LT(renderInk(layer, text).count, renderInk(wide, text).count) << text;
    }
}

TEST_F(TextRenderTest, RotatedTextIsLaidOutInTheLayerTurnedUprightThenTurned)
{
    // Laid out from the turned layer's top left and read in the direction turned with it. The
    // text is longer than the layers are wide, not than they are long.
    const std::string text = "国一一一一一";
    const struct {
        std::int32_t rotation;
        int width, height;
        int dx, dy; // the direction the text reads in
    } cases[] = {
        {0, 200, 40, 1, 0}, {90, 40, 200, 0, 1}, {180, 200, 40, -1, 0}, {270, 40, 200, 0, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotation);
        Layer layer = textLayer(c.width, c.height);
        layer.rotation = c.rotation;
        const Ink ink = renderInk(layer, text);
        ASSERT_FALSE(ink.empty());
        const long length = c.dx ? ink.right - ink.left : ink.bottom - ink.top;
        EXPECT_GT(length, 2 * (c.dx ? ink.bottom - ink.top : ink.right - ink.left));
        // Its first character alone lies at the start of the whole text.
        const Ink head = renderInk(layer, "国");
        EXPECT_LT((head.centreX() - ink.centreX()) * c.dx + (head.centreY() - ink.centreY()) * c.dy,
                  -20);
        // Fitted in the turned layer: the text is not wider than it.
        EXPECT_FALSE(TextFitter(layer, *s_fonts).fit(text).wider);
    }
}

// The runs of columns (across) or rows (along) of the pixels that hold ink, from the right or
// from the top; runs less than 6 pixels apart are one.
std::vector<std::pair<long, long>> inkBands(const Pixels& pixels, bool across, long from = 0,
                                            long to = -1)
{
    constexpr long kGap = 6;
    const long count = static_cast<long>(across ? pixels.width : pixels.height);
    const long other = static_cast<long>(across ? pixels.height : pixels.width);
    std::vector<std::pair<long, long>> bands;
    for (long i = 0; i < count; ++i) {
        const long at = across ? count - 1 - i : i;
        bool inked = false;
        for (long k = from; k < (to < 0 ? other : to) && !inked; ++k)
            inked = (across ? pixels.at(static_cast<std::size_t>(at), static_cast<std::size_t>(k))
                            : pixels.at(static_cast<std::size_t>(k),
                                        static_cast<std::size_t>(at)))[3] > 96;
        if (!inked)
            continue;
        if (bands.empty() || (across ? bands.back().first - at : at - bands.back().second) > kGap)
            bands.emplace_back(at, at);
        else
            (across ? bands.back().first : bands.back().second) = at;
    }
    return bands;
}

// Vertical text: characters stacked in columns from the right, 32 pixels each and 10 apart;
// a column breaks where a line does; the block of columns placed by tHAlign, each column
// along its length by tVAlign; a column too long is taller than the layer, too many columns
// wider.
TEST_F(TextRenderTest, VerticalTextStacksCharactersInColumnsFromTheRight)
{
    const struct {
        const char* text;
        int width;
        int height;
        int maxLines;
        int hAlign;
        int vAlign;
        std::vector<std::size_t> perColumn; // from the right
        bool taller;
        bool wider;
    } cases[] = {
        {"员工证", 80, 200, 1, 0, 0, {3}, false, false},
        {"员工证", 80, 200, 1, 2, 2, {3}, false, false},
        {"员工证明书", 120, 130, 2, 1, 1, {3, 2}, false, false},
        {"员工\n证明书", 120, 130, 1, 2, 0, {2, 3}, false, false},
        {"员工证明书", 120, 130, 1, 0, 0, {4}, true, false}, // the fourth cut off
        {"员工\n证明\n书", 100, 130, 1, 2, 0, {2, 2, 1}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " " << c.hAlign << c.vAlign);
        Layer layer = textLayer(c.width, c.height, c.hAlign, c.vAlign);
        layer.fontSize = 24;
        layer.characterSpacing = 10;
        layer.isVertical = true;
        layer.maxLines = c.maxLines;
        const Pixels pixels = render(layer, c.text);
        const auto columns = inkBands(pixels, true);
        ASSERT_EQ(columns.size(), c.perColumn.size());
        for (std::size_t k = 0; k < columns.size(); ++k) {
            const auto characters =
                inkBands(pixels, false, columns[k].first, columns[k].second + 1);
            EXPECT_EQ(characters.size(), c.perColumn[k]) << k;
            EXPECT_LT(columns[k].second - columns[k].first, 34) << k;
        }
        const Ink ink = inkOf(pixels);
        if (!c.wider) {
            EXPECT_EQ(c.hAlign == 0, ink.left <= 8);
            EXPECT_EQ(c.hAlign == 2, ink.right >= c.width - 9);
        }
        EXPECT_EQ(c.vAlign == 0, ink.top <= 3);
        if (!c.taller) {
            EXPECT_EQ(c.vAlign == 2, ink.bottom >= c.height - 8);
        }
        const TextFit fit = TextFitter(layer, *s_fonts).fit(c.text);
        EXPECT_EQ(fit.taller, c.taller);
        EXPECT_EQ(fit.wider, c.wider);
    }
    // A column wraps as the same text broken by hand.
    Layer layer = textLayer(120, 130, 2, 0);
    layer.fontSize = 24;
    layer.characterSpacing = 10;
    layer.isVertical = true;
    layer.maxLines = 2;
    EXPECT_EQ(render(layer, "员工证明书").rgba, render(layer, "员工证\n明书").rgba);
}

// Shrinking fits a long column into the layer's height, at the largest size that fits.
TEST_F(TextRenderTest, VerticalTextShrinksToTheLayersHeight)
{
    Layer layer = textLayer(60, 200, 1, 1);
    layer.fontSize = 24;
    layer.isVertical = true;
    const std::string text = "中华人民共和国居民身份证";
    EXPECT_TRUE(TextFitter(layer, *s_fonts).fit(text).taller);
    layer.autoShrink = true;
    const TextFit fit = TextFitter(layer, *s_fonts).fit(text);
    EXPECT_FALSE(fit.taller || fit.atMinimum);
    EXPECT_LT(fit.pixelSize, 32);
    const Ink ink = renderInk(layer, text);
    EXPECT_GT(ink.top, 0);
    EXPECT_LT(ink.bottom, 199);
    EXPECT_GT(ink.bottom - ink.top, 180);
    EXPECT_EQ(inkBands(render(layer, text), true).size(), 1u);
}

// Punctuation set low on the left in a line takes its vertical form in a column (the font's,
// Unicode's presentation form, or the line's glyph moved to the upper right): never low on the
// left of its square.
TEST_F(TextRenderTest, VerticalPunctuationTakesItsVerticalForm)
{
    for (const char* family : {kFont, "AR PL UMing CN"}) {
        if (!s_fonts->family(family)) {
            ADD_FAILURE() << family << " is not installed (scripts/install-deps)";
            continue;
        }
        for (const char* mark : {"，", "。", "、"}) {
            SCOPED_TRACE(testing::Message() << family << " " << mark);
            Layer layer = textLayer(60, 120, 1, 0);
            layer.fontName = family;
            layer.fontSize = 24;
            layer.isVertical = true;
            const Ink square = renderInk(layer, "口");
            Pixels pixels = render(layer, std::string("口") + mark);
            std::fill_n(pixels.rgba.begin(), (square.bottom + 1) * 60 * 4, 0);
            const Ink ink = inkOf(pixels);
            ASSERT_FALSE(ink.empty());
            EXPECT_GE(ink.centreX(), square.centreX() - 2);
            EXPECT_LE(ink.centreY(), square.centreY() + 32 + 2);
        }
    }
}

// Hostile vertical layers draw inside the layer, without hanging.
TEST_F(TextRenderTest, VerticalTextStaysInsideAnyLayer)
{
    const struct {
        int width;
        int height;
        int fontSize;
        std::string text;
        bool inked; // the part of the text the layer shows has ink
    } cases[] = {
        {40, 200, 12, std::string(30000, 'W'), true},
        {1, 1, 12, "员工证", false},
        {10, 500, 3000, "员工 A", false},
        {200, 60, 24, "Ali محمد الأحمد ١٢٣ 员工", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        Layer layer = textLayer(c.width, c.height, 2, 1);
        layer.fontSize = c.fontSize;
        layer.isVertical = true;
        layer.maxLines = 3;
        const std::string text = truncateUtf16Units(c.text, maxDrawnUnits(layer));
        EXPECT_LE(text.size(), 256u + 4u * 3u * static_cast<std::size_t>(c.height));
        const TextBoxResult result = renderTextBox(layer, text, *s_fonts);
        ASSERT_TRUE(result.box);
        EXPECT_FALSE(result.failed);
        EXPECT_LE(result.box->x + static_cast<long>(result.box->box.width), c.width);
        EXPECT_LE(result.box->y + static_cast<long>(result.box->box.height), c.height);
        EXPECT_EQ(inkOf(render(layer, text)).empty(), !c.inked);
    }
}

TEST_F(TextRenderTest, TextThumbnailIsThePngOfTheLayer)
{
    // Also a text the layer's font has no character of, drawn wholly in a fallback font.
    const std::pair<const char*, const char*> cases[] = {
        {kFont, "演示"}, {"DejaVu Sans", "部门"}, {"Droid Sans Fallback", "ABC"}};
    for (const auto& [font, text] : cases) {
        SCOPED_TRACE(font);
        Layer layer = textLayer(90, 30, 1, 1);
        layer.fontName = font;
        layer.text = text;
        const Thumbnail thumbnail = renderLayerThumbnail(layer, *s_fonts, "");
        EXPECT_EQ(thumbnail.width, 90u);
        EXPECT_EQ(thumbnail.height, 30u);
        EXPECT_FALSE(thumbnail.opaque);
        ASSERT_EQ(thumbnail.bytes.size(), 90u * 30 * 4);
        EXPECT_NEAR(inkOf({thumbnail.width, thumbnail.height, thumbnail.bytes}).centreX(), 45, 3);
    }
}

TEST_F(TextRenderTest, PictureThumbnailResolvesAgainstTheTemplateFolder)
{
    MagickWandPtr picture = newCanvas(7, 5, "#ff0000");
    ASSERT_TRUE(picture);
    MagickSetImageFormat(picture.get(), "PNG");
    ASSERT_TRUE(MagickWriteImage(picture.get(), s_dir->file("demo.png").c_str()));

    Layer layer =
        makeLayer(LayerType::Picture, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.filePath = "demo.png";
    const Thumbnail thumbnail = renderLayerThumbnail(layer, *s_fonts, s_dir->file("t.dat"));
    EXPECT_EQ(thumbnail.width, 7u);
    EXPECT_EQ(thumbnail.height, 5u);
    EXPECT_TRUE(thumbnail.opaque);
    EXPECT_EQ(std::vector<unsigned char>(thumbnail.bytes.begin(), thumbnail.bytes.begin() + 4),
              (std::vector<unsigned char>{255, 0, 0, 255}));

    layer.filePath.clear();
    EXPECT_EQ(renderLayerThumbnail(layer, *s_fonts, s_dir->file("t.dat")).width, 0u);
    layer.filePath = "missing.png";
    const Thumbnail missing = renderLayerThumbnail(layer, *s_fonts, s_dir->file("t.dat"));
    EXPECT_EQ(missing.width, 0u);
    EXPECT_TRUE(missing.empty());
}

} // namespace
} // namespace torvale
