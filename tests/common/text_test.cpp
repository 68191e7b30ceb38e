#include "common/text.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

TEST(TextTest, IsValidUtf8FollowsTheLeadContinuationPattern)
{
    struct Case {
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain ascii", true},
        {"中文 \xF0\x9F\x98\x80", true},
        {"\x80", false}, // lone continuation byte
        {"\xFE", false},
        {"\xFF"
         "abc",
         false},
        {"\xF8\x88\x80\x80\x80", true},     // 5-byte form
        {"\xFC\x84\x80\x80\x80\x80", true}, // 6-byte form
        {"\xE4\xB8", false},                // cut off by the end
        {"\xE4"
         "a"
         "\xAD",
         false},            // continuation missing
        {"\xC0\xAF", true}, // over-long '/' is not rejected
        {"\xE0\x80\x80", true},
        {"\xF4\x90\x80\x80", true}, // above U+10FFFF is not rejected
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid);
    }
    EXPECT_TRUE(isValidUtf8(nullptr, 0));
}

TEST(TextTest, Utf16ConversionRoundTrips)
{
    const std::string text = "Ab 中文 \xF0\x9F\x98\x80!";
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, u"Ab 中文 \U0001F600!");
    EXPECT_EQ(wide.size(), 9u);
    EXPECT_EQ(utf16Length(text), 9u);
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(TextTest, MalformedInputBecomesReplacementCharacters)
{
    EXPECT_EQ(utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf8ToUtf16("\xE4\xB8"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD"); // over-long: one bad sequence, never "/"
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\xD83D') + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\xDE00')), "\xEF\xBF\xBD");
}

TEST(TextTest, Gb18030ConvertsBothWays)
{
    const std::string gb = "\xD6\xD0\xCE\xC4"
                           "A"; // "中文A"
    EXPECT_EQ(gb18030ToUtf8(gb), std::optional<std::string>("中文A"));
    EXPECT_EQ(utf8ToGb18030("中文A"), std::optional<std::string>(gb));
    EXPECT_EQ(gb18030ToUtf8(""), std::optional<std::string>(""));
    // Four-byte GB18030 covers characters outside the BMP.
    const auto emoji = utf8ToGb18030("\xF0\x9F\x98\x80");
    ASSERT_TRUE(emoji);
    EXPECT_EQ(gb18030ToUtf8(*emoji), std::optional<std::string>("\xF0\x9F\x98\x80"));

    EXPECT_EQ(gb18030ToUtf8("\xD6"), std::nullopt);     // truncated
    EXPECT_EQ(gb18030ToUtf8("\xD6\x20"), std::nullopt); // invalid trail byte
    EXPECT_EQ(utf8ToGb18030("a\xFF"
                            "b"),
              std::nullopt); // not UTF-8
}

TEST(TextTest, BlankAndTrimming)
{
    struct Case {
        std::string text;
        bool blank;
        std::string trimmed;
        std::string trimmedSpacesTabs;
    };
    const Case cases[] = {
        {"", true, "", ""},
        {" \t\r\n", true, "", "\r\n"},
        {"a", false, "a", "a"},
        {" \ta b\t ", false, "a b", "a b"},
        {"\r\n x \n", false, "x", "\r\n x \n"},
        {"\t\r\nx\r\n\t", false, "x", "\r\nx\r\n"},
        {"\xE3\x80\x80", false, "\xE3\x80\x80", "\xE3\x80\x80"}, // ideographic space is text
        {"\v\f", false, "\v\f", "\v\f"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(isBlankText(c.text), c.blank);
        EXPECT_EQ(trimBlank(c.text), c.trimmed);
        EXPECT_EQ(trimSpacesTabs(c.text), c.trimmedSpacesTabs);
    }
}

TEST(TextTest, TruncateCountsUtf16UnitsAndKeepsCharactersWhole)
{
    const std::string text = "a中\xF0\x9F\x98\x80"
                             "b"; // units: 1, 1, 2, 1
    struct Case {
        std::size_t maxUnits;
        std::string expected;
    };
    const Case cases[] = {
        {0, ""},
        {1, "a"},
        {2, "a中"},
        {3, "a中"}, // the pair does not fit whole
        {4, "a中\xF0\x9F\x98\x80"},
        {5, text},
        {100, text},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxUnits);
        EXPECT_EQ(truncateUtf16Units(text, c.maxUnits), c.expected);
    }
}

TEST(TextTest, CaseInsensitiveComparisonsAreAsciiOnly)
{
    EXPECT_TRUE(equalsIgnoreCase("Photo.JPG", "photo.jpg"));
    EXPECT_FALSE(equalsIgnoreCase("abc", "abcd"));
    EXPECT_FALSE(equalsIgnoreCase("a[", "a{")); // differ by 0x20 but are not letters
    EXPECT_FALSE(equalsIgnoreCase("Ä", "ä"));

    EXPECT_TRUE(endsWithIgnoreCase("card.PNG", ".png"));
    EXPECT_FALSE(endsWithIgnoreCase("png", ".png"));
    EXPECT_FALSE(endsWithIgnoreCase("card.png.txt", ".png"));
}

TEST(TextTest, FormatTextAndColours)
{
    EXPECT_EQ(formatText("%d %s", 3, "中文"), "3 中文");
    EXPECT_EQ(formatText("%s", std::string(5000, 'x').c_str()).size(), 5000u);

    EXPECT_EQ(colorToHtml(0x00000000), "#000000");
    EXPECT_EQ(colorToHtml(0x00FFFFFF), "#FFFFFF");
    EXPECT_EQ(colorToHtml(0x00CCBBAA), "#AABBCC");
    EXPECT_EQ(colorToHtml(0xFF0A0B0C), "#0C0B0A"); // the top byte is ignored
    EXPECT_EQ(htmlToColor("#aaBBcc"), std::optional<std::uint32_t>(0x00CCBBAA));
    EXPECT_EQ(htmlToColor("#AABBC"), std::nullopt);
}

TEST(TextTest, ControlCharactersIncludeFormatCharactersAndSeparators)
{
    const struct {
        char32_t cp;
        bool control;
        bool format;
    } cases[] = {
        {0x1B, true, false},    {'\n', true, false},     {'\t', false, false},
        {0x9B, true, false},    {0x00AD, true, true},    {0x200B, true, true},
        {0x200F, true, true},   {0x202E, true, true},    {0x2060, true, true},
        {0xFEFF, true, true},   {0xE0041, true, true},   {0x2028, true, false},
        {0x2029, true, false},  {'a', false, false},     {0x00A0, false, false},
        {0x200A, false, false}, {0x2070, false, false},  {0x4E2D, false, false},
        {0xFFFC, false, false}, {0xE0080, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<unsigned>(c.cp));
        EXPECT_EQ(isControlCodePoint(c.cp), c.control);
        EXPECT_EQ(isFormatCodePoint(c.cp), c.format);
    }
    EXPECT_EQ(replaceTerminalControls("a\nb\u2028c\x1b"), "a\nb\uFFFDc\uFFFD");
    EXPECT_EQ(replaceTerminalControls("a\nb", false), "a\uFFFDb");
}

} // namespace
} // namespace torvale
