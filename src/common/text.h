#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// Converts UTF-8 to UTF-16. Invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

/// Converts UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

/// Number of UTF-16 code units the UTF-8 text takes.
std::size_t utf16Length(std::string_view text);

/// The longest prefix of the UTF-8 text that takes at most maxUnits UTF-16 code units,
/// never splitting a character (a surrogate pair counts two units and stays whole).
std::string truncateUtf16Units(std::string_view text, std::size_t maxUnits);

/// Converts GB18030 text to UTF-8; nothing when the bytes are not valid GB18030.
std::optional<std::string> gb18030ToUtf8(std::string_view bytes);

/// Converts UTF-8 text to GB18030; nothing when the text cannot be converted.
std::optional<std::string> utf8ToGb18030(std::string_view text);

/// True when the bytes follow the UTF-8 lead/continuation pattern: an empty buffer is valid,
/// bytes below 0x80 are skipped, a lead byte announces 1 to 5 continuation bytes (0x80..0xBF),
/// a lone continuation byte, 0xFE or 0xFF is invalid, a sequence cut off by the end is invalid.
/// Over-long forms and code points above U+10FFFF are not rejected.
bool isValidUtf8(const char* bytes, std::size_t length);
inline bool isValidUtf8(std::string_view bytes)
{
    return isValidUtf8(bytes.data(), bytes.size());
}

/// Decodes the UTF-8 character at text[i] and moves i past it; malformed input gives U+FFFD and
/// moves one byte.
char32_t nextCodePoint(std::string_view text, std::size_t& i);
/// Decodes the UTF-16 character at text[i] and moves i past it; an unpaired surrogate gives
/// U+FFFD and moves one unit.
char32_t nextCodePoint(std::u16string_view text, std::size_t& i);

/// The text as strictly valid UTF-8: every malformed or over-long sequence, surrogate and code
/// point above U+10FFFF becomes U+FFFD. Valid text is returned as it is.
std::string toValidUtf8(std::string text);

/// The UTF-8 text with every control character (isControlCodePoint) and every malformed byte
/// replaced by U+FFFD; line feeds are kept unless keepLineFeeds is false.
std::string replaceTerminalControls(std::string_view text, bool keepLineFeeds = true);

/// True for the characters that act on a terminal or show nothing: C0 controls except tab, DEL,
/// C1 controls, the format characters (isFormatCodePoint) and the line and paragraph
/// separators U+2028 and U+2029.
bool isControlCodePoint(char32_t cp);

/// True for the format characters (Unicode category Cf): zero-width spaces and joiners, the
/// byte order mark, bidirectional marks, embeddings, overrides and isolates, tag characters.
bool isFormatCodePoint(char32_t cp);

/// True for an empty text and a text made only of spaces, tabs, carriage returns and line feeds.
bool isBlankText(std::string_view text);

/// The text without spaces, tabs, carriage returns and line feeds at both ends.
std::string trimBlank(std::string_view text);

/// The text without spaces and tabs at both ends.
std::string trimSpacesTabs(std::string_view text);

/// ASCII case-insensitive equality (other characters compare exactly).
bool equalsIgnoreCase(std::string_view a, std::string_view b);

/// True when text ends with suffix, ASCII letters compared without regard to case.
bool endsWithIgnoreCase(std::string_view text, std::string_view suffix);

/// printf-style formatting into a std::string.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Colour text of a 0x00BBGGRR colour value: "#" and red, green, blue as "%02X" each.
std::string colorToHtml(std::uint32_t color);

/// The value of a hexadecimal digit (either case); -1 for any other character.
int hexDigitValue(char c);

/// True for a colour text of the form "#RRGGBB" (hex digits of either case).
bool isHtmlColor(std::string_view text);

/// The 0x00BBGGRR value of a colour text "#RRGGBB"; nothing for any other text.
std::optional<std::uint32_t> htmlToColor(std::string_view text);

/// Splits text at every occurrence of separator (empty pieces kept).
std::vector<std::string> splitText(std::string_view text, char separator);

/// A cell as it is shown in a log line: cut to 200 UTF-16 units, with its length, when longer,
/// and on one line: line breaks, format characters and other control characters become U+FFFD.
std::string cellForLog(const std::string& cell);

} // namespace torvale
