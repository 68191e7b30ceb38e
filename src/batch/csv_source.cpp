#include "batch/csv_source.h"

#include "common/c_resources.h"
#include "common/file_io.h"
#include "common/paths.h"
#include "common/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iconv.h>
#include <memory>
#include <sys/stat.h>

namespace torvale {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvPtr = std::unique_ptr<void, IconvCloser>;

std::string utf16BytesToUtf8(std::string_view bytes, bool bigEndian)
{
    const std::size_t units = bytes.size() / 2; // an odd final byte is ignored
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return utf16ToUtf8(text);
}

// The last resort when the bytes are neither UTF-8 nor valid GB18030 (a stray byte, a cut-off
// sequence): convert what GB18030 can and put U+FFFD for each byte it cannot, so the result is
// always UTF-8 and as much of the text as possible survives.
std::string gb18030ToUtf8Lenient(std::string_view bytes)
{
    const iconv_t raw = iconv_open("UTF-8", "GB18030");
    if (raw == reinterpret_cast<iconv_t>(-1))
        return utf16ToUtf8(utf8ToUtf16(bytes)); // no converter: every invalid byte -> U+FFFD
    const IconvPtr cd(raw);
    std::string out(bytes.size() * 2 + 16, '\0');
    std::size_t written = 0;
    char* inPtr = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t rc = iconv(raw, &inPtr, &inLeft, &outPtr, &outLeft);
        written = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG || out.size() - written < kReplacementUtf8.size()) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL (cut off at the end): replace one byte and go on after it.
        out.replace(written, kReplacementUtf8.size(), kReplacementUtf8);
        written += kReplacementUtf8.size();
        ++inPtr;
        --inLeft;
    }
    out.resize(written);
    return out;
}

bool isSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// Consumes one line break (CR, LF or CR LF) at text[i]; returns the position after it.
std::size_t skipLineBreak(std::string_view text, std::size_t i)
{
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        return i + 2;
    return i + 1;
}

// Number of line breaks in text (CR LF counts once).
std::size_t countLineBreaks(std::string_view text)
{
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++breaks;
    }
    return breaks;
}

} // namespace

std::string decodeCsvText(std::string bytes)
{
    const std::string_view view = bytes;
    if (view.starts_with("\xFF\xFE"))
        return utf16BytesToUtf8(view, false);
    if (view.starts_with("\xFE\xFF"))
        return utf16BytesToUtf8(view, true);
    // Text taken as UTF-8 (with a mark, or following the UTF-8 byte pattern) may still hold
    // over-long forms, surrogates, five-byte sequences or, after a mark, any bytes at all; they
    // become U+FFFD so that cells, file names and printed rows are always valid UTF-8.
    if (view.starts_with(kUtf8Mark) || isValidUtf8(view))
        return toValidUtf8(std::move(bytes));
    if (auto converted = gb18030ToUtf8(view))
        return std::move(*converted);
    return gb18030ToUtf8Lenient(view);
}

CsvFormat csvFormatFor(bool trim)
{
    CsvFormat format;
    format.delimiter = ',';
    format.quote = '"';
    format.trimSpacesTabs = trim;
    return format;
}

// Reading rules for the cases a plain CSV leaves open, chosen so that no text is lost and the split
// into cells never depends on the trim switch:
// - A quote opens a quoted section only when it is the first character of the cell other than
//   spaces and tabs; anywhere else it is an ordinary character (5" stays 5").
// - The quotes themselves are removed; text outside them is kept as it is: spaces before the
//   opening quote and any text after the closing quote up to the next delimiter or line break
//   ("ab"cd reads abcd). Trimming, when on, then works on the whole cell value.
// - A quoted section that is never closed runs to the end of the text, delimiters and line
//   breaks included; the row ends there and is checked against the header like any other.
// - A line made only of spaces and tabs is a blank line like an empty one: it yields no row.
CsvReader::CsvReader(std::string_view text, const CsvFormat& format)
    : m_text(text), m_format(format), m_pos(text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0)
{
}

bool CsvReader::next(std::vector<std::string>& row, std::size_t& rowLine)
{
    const std::string_view text = m_text;
    const char delimiter = m_format.delimiter;
    const char quote = m_format.quote;
    const std::size_t n = text.size();
    std::size_t& i = m_pos;
    std::size_t& line = m_line;

    const auto isCellEnd = [&](char c) { return c == delimiter || c == '\r' || c == '\n'; };
    const auto pushCell = [&](std::string cell) {
        if (m_format.trimSpacesTabs)
            cell = trimSpacesTabs(cell);
        row.push_back(std::move(cell));
    };

    while (i < n) {
        std::size_t j = i;
        while (j < n && isSpaceOrTab(text[j]))
            ++j;
        if (j == n)
            break;
        if (text[j] == '\r' || text[j] == '\n') {
            i = skipLineBreak(text, j);
            ++line;
            continue;
        }

        rowLine = line;
        row.clear();
        for (;;) {
            std::size_t k = i;
            while (k < n && isSpaceOrTab(text[k]))
                ++k;
            if (k < n && text[k] == quote) {
                std::string cell(text.substr(i, k - i));
                ++k;
                for (;;) {
                    const std::size_t close = text.find(quote, k);
                    const std::size_t end = close == std::string_view::npos ? n : close;
                    const std::string_view part = text.substr(k, end - k);
                    cell += part;
                    line += countLineBreaks(part);
                    if (close == std::string_view::npos) {
                        k = n;
                        break;
                    }
                    if (close + 1 < n && text[close + 1] == quote) {
                        cell += quote;
                        k = close + 2;
                        continue;
                    }
                    k = close + 1;
                    break;
                }
                const std::size_t tailStart = k;
                while (k < n && !isCellEnd(text[k]))
                    ++k;
                cell += text.substr(tailStart, k - tailStart);
                pushCell(std::move(cell));
            } else {
                while (k < n && !isCellEnd(text[k]))
                    ++k;
                if (m_format.trimSpacesTabs)
                    row.push_back(trimSpacesTabs(text.substr(i, k - i)));
                else
                    row.emplace_back(text.substr(i, k - i));
            }
            if (k < n && text[k] == delimiter) {
                i = k + 1;
                continue;
            }
            if (k < n) {
                i = skipLineBreak(text, k);
                ++line;
            } else {
                i = n;
            }
            return true;
        }
    }
    return false;
}

CsvTable readCsv(std::string_view text, const CsvFormat& format)
{
    CsvTable table;
    CsvReader reader(text, format);
    std::vector<std::string> row;
    std::size_t line = 0;
    if (!reader.next(table.header, line))
        return table;
    while (reader.next(row, line)) {
        if (row.size() == table.header.size())
            table.rows.push_back(std::move(row));
        else
            table.dropped.push_back({line, row.size()});
    }
    return table;
}

std::optional<std::string> readCsvFileBytes(const std::string& path)
{
    std::string bytes;
    if (readRegularFile(path, kMaxCsvBytes, bytes) != FileReadStatus::Ok)
        return std::nullopt;
    return bytes;
}

bool isCsvFileTooLarge(const std::string& path)
{
    struct stat info {};
    return ::stat(pathFromUtf8(path).c_str(), &info) == 0 &&
           static_cast<std::uint64_t>(info.st_size) > kMaxCsvBytes;
}

std::string csvCannotAccessMessage(const std::string& path)
{
    return formatText(isCsvFileTooLarge(path) ? kMsgCsvTooLarge : kMsgCsvCannotAccess,
                      path.c_str());
}

std::optional<CsvTable> loadCsvFile(const std::string& path, bool trim)
{
    auto bytes = readCsvFileBytes(path);
    if (!bytes)
        return std::nullopt;
    return readCsv(decodeCsvText(std::move(*bytes)), csvFormatFor(trim));
}

std::optional<std::vector<std::string>> loadCsvColumns(const std::string& path, bool trim)
{
    auto table = loadCsvFile(path, trim);
    if (!table)
        return std::nullopt;
    return std::move(table->header);
}

CsvChoiceResult checkCsvChoice(const std::string& path, bool trim)
{
    CsvChoiceResult result;
    std::error_code error;
    const auto fsPath = std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str()));
    if (std::filesystem::status(fsPath, error).type() == std::filesystem::file_type::not_found) {
        result.status = CsvChoice::Missing;
        result.message = formatText(kMsgCsvGone, path.c_str());
        return result;
    }
    if (!endsWithIgnoreCase(path, ".csv")) {
        result.status = CsvChoice::NotCsv;
        result.message = kMsgCsvNotCsv;
        return result;
    }
    auto columns = loadCsvColumns(path, trim);
    if (!columns) {
        result.status = CsvChoice::CannotAccess;
        result.message = csvCannotAccessMessage(path);
        return result;
    }
    result.columns = std::move(*columns);
    return result;
}

bool makesCard(const std::vector<std::string>& cells)
{
    return std::any_of(cells.begin(), cells.end(),
                       [](const std::string& cell) { return !isBlankText(cell); });
}

} // namespace torvale
