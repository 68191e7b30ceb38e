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

std::string_view trimmedSpacesTabs(std::string_view text)
{
    while (!text.empty() && isSpaceOrTab(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpaceOrTab(text.back()))
        text.remove_suffix(1);
    return text;
}

// Consumes one line break (CR, LF or CR LF) at text[i]; returns the position after it.
std::size_t skipLineBreak(std::string_view text, std::size_t i)
{
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        return i + 2;
    return i + 1;
}

} // namespace

std::size_t countLineBreaks(std::string_view text)
{
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++breaks;
    }
    return breaks;
}

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
//   breaks included; the row ends there and is checked against the header like any other, and
//   the reader says where the quote was opened.
// - A line made only of spaces and tabs is a blank line like an empty one: it yields no row.
CsvReader::CsvReader(std::string_view text, const CsvFormat& format)
    : m_text(text), m_format(format), m_pos(text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0)
{
}

CsvReader::CsvReader(std::string_view text, const CsvFormat& format, CsvPosition at)
    : m_text(text), m_format(format), m_pos(at.offset), m_line(at.line)
{
}

bool CsvReader::next(PackedStrings& row, std::size_t& rowLine)
{
    const std::string_view text = m_text;
    const char delimiter = m_format.delimiter;
    const char quote = m_format.quote;
    const std::size_t n = text.size();
    std::size_t& i = m_pos;
    std::size_t& line = m_line;
    m_unclosedQuoteLine = 0;

    const auto isCellEnd = [&](char c) { return c == delimiter || c == '\r' || c == '\n'; };

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
        // The row's first line tells how many cells and bytes it will most likely need: room
        // made at once, instead of doubled as it fills, keeps a row of a million cells at
        // four bytes a cell.
        const std::size_t lineEnd = std::min(n, text.find_first_of("\r\n", i));
        const std::string_view firstLine = text.substr(i, lineEnd - i);
        const auto delimiters =
            static_cast<std::size_t>(std::count(firstLine.begin(), firstLine.end(), delimiter));
        row.reserve(delimiters + 1, firstLine.size() - delimiters);
        for (;;) {
            std::size_t k = i;
            while (k < n && isSpaceOrTab(text[k]))
                ++k;
            if (k < n && text[k] == quote) {
                row.push_back(text.substr(i, k - i));
                const std::size_t quoteLine = line;
                ++k;
                for (;;) {
                    const std::size_t close = text.find(quote, k);
                    const std::size_t end = close == std::string_view::npos ? n : close;
                    const std::string_view part = text.substr(k, end - k);
                    row.appendToLast(part);
                    line += countLineBreaks(part);
                    if (close == std::string_view::npos) {
                        m_unclosedQuoteLine = quoteLine;
                        k = n;
                        break;
                    }
                    if (close + 1 < n && text[close + 1] == quote) {
                        row.appendToLast(text.substr(close, 1));
                        k = close + 2;
                        continue;
                    }
                    k = close + 1;
                    break;
                }
                const std::size_t tailStart = k;
                while (k < n && !isCellEnd(text[k]))
                    ++k;
                row.appendToLast(text.substr(tailStart, k - tailStart));
                if (m_format.trimSpacesTabs)
                    row.trimLast(" \t");
            } else {
                while (k < n && !isCellEnd(text[k]))
                    ++k;
                row.push_back(m_format.trimSpacesTabs ? trimmedSpacesTabs(text.substr(i, k - i))
                                                      : text.substr(i, k - i));
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

CsvRows::CsvRows(std::string_view text, const CsvFormat& format) : m_reader(text, format)
{
    if (m_reader.next(m_header, m_headerLine))
        m_headerUnclosedQuoteLine = m_reader.unclosedQuoteLine();
    m_headerCells = m_header.size();
}

CsvRows::CsvRows(std::string_view text, const CsvFormat& format, CsvPosition at,
                 std::size_t headerCells, std::size_t rowsBefore)
    : m_reader(text, format, at), m_headerCells(headerCells), m_count(rowsBefore)
{
}

bool CsvRows::next(CsvDataRow& row)
{
    if (!m_reader.next(row.cells, row.line))
        return false;
    row.number = ++m_count;
    row.unclosedQuoteLine = m_reader.unclosedQuoteLine();
    row.skipped = row.cells.size() != m_headerCells;
    return true;
}

bool makesCard(const PackedStrings& cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!isBlankText(cells[i]))
            return true;
    }
    return false;
}

std::vector<std::string> csvRowNotes(const CsvDataRow& row, std::size_t headerCells)
{
    std::vector<std::string> notes;
    if (row.unclosedQuoteLine > 0)
        notes.push_back(
            formatText(kMsgRowUnclosedQuote, row.number, row.line, row.unclosedQuoteLine));
    if (row.skipped)
        notes.push_back(
            formatText(kMsgRowSkipped, row.number, row.line, row.cells.size(), headerCells));
    return notes;
}

bool isWorkbookStatus(CsvStatus status)
{
    switch (status) {
    case CsvStatus::WorkbookEncrypted:
    case CsvStatus::WorkbookNotXlsx:
    case CsvStatus::WorkbookNoSheet:
    case CsvStatus::WorkbookSheetMissing:
    case CsvStatus::WorkbookBroken:
    case CsvStatus::WorkbookTooLarge:
        return true;
    case CsvStatus::Ok:
    case CsvStatus::CannotAccess:
    case CsvStatus::TooLarge:
    case CsvStatus::OutOfMemory:
        break;
    }
    return false;
}

CsvStatus loadCsvText(const std::string& path, std::string& text)
{
    text.clear();
    try {
        std::string bytes;
        switch (readRegularFile(path, kMaxCsvBytes, bytes)) {
        case FileReadStatus::Ok:
            break;
        case FileReadStatus::TooLarge:
            return CsvStatus::TooLarge;
        case FileReadStatus::CannotOpen:
        case FileReadStatus::ReadFailed:
            return CsvStatus::CannotAccess;
        }
        text = decodeCsvText(std::move(bytes));
        return CsvStatus::Ok;
    } catch (const std::bad_alloc&) {
        text = std::string();
        return CsvStatus::OutOfMemory;
    } catch (const std::length_error&) {
        text = std::string();
        return CsvStatus::OutOfMemory;
    }
}

std::string csvStatusMessage(const std::string& path, CsvStatus status)
{
    const SheetPath where = splitSheetPath(path);
    const char* file = where.file.c_str();
    switch (status) {
    case CsvStatus::TooLarge:
        return formatText(kMsgCsvTooLarge, file);
    case CsvStatus::OutOfMemory:
        return formatText(kMsgCsvOutOfMemory, file);
    case CsvStatus::WorkbookEncrypted:
        return formatText(kMsgWorkbookEncrypted, file);
    case CsvStatus::WorkbookNotXlsx:
        return formatText(kMsgWorkbookNotXlsx, file);
    case CsvStatus::WorkbookNoSheet:
        return formatText(kMsgWorkbookNoSheet, file);
    case CsvStatus::WorkbookSheetMissing:
        return formatText(kMsgWorkbookSheetMissing, file, where.sheet.c_str());
    case CsvStatus::WorkbookBroken:
        return formatText(kMsgWorkbookBroken, file);
    case CsvStatus::WorkbookTooLarge:
        return formatText(kMsgWorkbookTooLarge, file);
    case CsvStatus::Ok:
    case CsvStatus::CannotAccess:
        break;
    }
    return formatText(kMsgCsvCannotAccess, file);
}

} // namespace torvale
