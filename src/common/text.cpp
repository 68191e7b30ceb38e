#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <iconv.h>

namespace torvale {

namespace {

// Cell text echoed in a log line is cut to this many UTF-16 units.
constexpr std::size_t kMaxLoggedUnits = 200;

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character starting at text[i]; advances i. Malformed input yields U+FFFD
// and consumes one byte so the caller always makes progress.
char32_t decodeUtf8(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + extra >= text.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    i += extra + 1;
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<std::string> convertWithIconv(const char* to, const char* from, std::string_view in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    std::size_t written = 0;
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(written);
    return out;
}

bool isBlankChar(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = decodeUtf8(text, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

char32_t nextCodePoint(std::u16string_view text, std::size_t& i)
{
    const char32_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 &&
        text[i] <= 0xDFFF)
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
    return unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size();)
        appendUtf8(out, nextCodePoint(text, i));
    return out;
}

std::size_t utf16Length(std::string_view text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();)
        units += decodeUtf8(text, i) >= 0x10000 ? 2 : 1;
    return units;
}

std::string truncateUtf16Units(std::string_view text, std::size_t maxUnits)
{
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t next = i;
        const std::size_t width = decodeUtf8(text, next) >= 0x10000 ? 2 : 1;
        if (units + width > maxUnits)
            break;
        units += width;
        i = next;
    }
    return std::string(text.substr(0, i));
}

std::optional<std::string> gb18030ToUtf8(std::string_view bytes)
{
    return convertWithIconv("UTF-8", "GB18030", bytes);
}

std::optional<std::string> utf8ToGb18030(std::string_view text)
{
    return convertWithIconv("GB18030", "UTF-8", text);
}

bool isValidUtf8(const char* bytes, std::size_t length)
{
    std::size_t i = 0;
    while (i < length) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra;
        if ((lead & 0xE0) == 0xC0)
            extra = 1;
        else if ((lead & 0xF0) == 0xE0)
            extra = 2;
        else if ((lead & 0xF8) == 0xF0)
            extra = 3;
        else if ((lead & 0xFC) == 0xF8)
            extra = 4;
        else if ((lead & 0xFE) == 0xFC)
            extra = 5;
        else
            return false; // 10xxxxxx, 0xFE, 0xFF
        if (i + extra >= length)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

char32_t nextCodePoint(std::string_view text, std::size_t& i)
{
    return decodeUtf8(text, i);
}

std::string toValidUtf8(std::string text)
{
    std::size_t firstBad = text.size();
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        if (decodeUtf8(text, i) == kReplacement && text.compare(start, 3, "\xEF\xBF\xBD") != 0) {
            firstBad = start;
            break;
        }
    }
    if (firstBad == text.size())
        return text;
    std::string out = text.substr(0, firstBad);
    for (std::size_t i = firstBad; i < text.size();)
        appendUtf8(out, decodeUtf8(text, i));
    return out;
}

bool isFormatCodePoint(char32_t cp)
{
    // Unicode 15's category Cf, in order.
    static constexpr struct {
        char32_t first, last;
    } kRanges[] = {
        {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
        {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
        {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
        {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
        {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
        {0xE0020, 0xE007F},
    };
    if (cp < 0xAD)
        return false;
    for (const auto& range : kRanges) {
        if (cp < range.first)
            return false;
        if (cp <= range.last)
            return true;
    }
    return false;
}

bool isControlCodePoint(char32_t cp)
{
    return (cp < 0x20 && cp != '\t') || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 ||
           cp == 0x2029 || isFormatCodePoint(cp);
}

std::string replaceTerminalControls(std::string_view text, bool keepLineFeeds)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = decodeUtf8(text, i);
        // Malformed bytes are replaced too: a lone 0x9B is CSI to an eight-bit terminal.
        if (cp == kReplacement || ((cp != '\n' || !keepLineFeeds) && isControlCodePoint(cp)))
            appendUtf8(out, kReplacement);
        else
            out.append(text.substr(start, i - start));
    }
    return out;
}

bool isBlankText(std::string_view text)
{
    for (char c : text) {
        if (!isBlankChar(c))
            return false;
    }
    return true;
}

std::string trimBlank(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlankChar(text[begin]))
        ++begin;
    while (end > begin && isBlankChar(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string trimSpacesTabs(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    const auto isSpaceTab = [](char c) { return c == ' ' || c == '\t'; };
    while (begin < end && isSpaceTab(text[begin]))
        ++begin;
    while (end > begin && isSpaceTab(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string formatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(needed));
    }
    va_end(args);
    return out;
}

std::string colorToHtml(std::uint32_t color)
{
    return formatText("#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isHtmlColor(std::string_view text)
{
    return text.size() == 7 && text[0] == '#' &&
           std::all_of(text.begin() + 1, text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::optional<std::uint32_t> htmlToColor(std::string_view text)
{
    if (!isHtmlColor(text))
        return std::nullopt;
    const auto rgb =
        static_cast<std::uint32_t>(std::stoul(std::string(text.substr(1)), nullptr, 16));
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::vector<std::string> splitText(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            pieces.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

std::string cellForLog(const std::string& cell)
{
    // A line break in a cell would split the log line (and could fake another one); invisible
    // characters would make it read like another cell.
    if (cell.size() <= kMaxLoggedUnits)
        return replaceTerminalControls(cell, false);
    const std::size_t units = utf16Length(cell);
    if (units <= kMaxLoggedUnits)
        return replaceTerminalControls(cell, false);
    return formatText(
        "%s...（共 %zu 个字符）",
        replaceTerminalControls(truncateUtf16Units(cell, kMaxLoggedUnits), false).c_str(),
        units);
}

} // namespace torvale
