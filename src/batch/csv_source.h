#pragma once

#include "common/packed_strings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// Decodes CSV file bytes to UTF-8: a UTF-16 LE or BE mark converts the whole buffer (the mark
/// becomes a UTF-8 mark, odd final byte ignored); a UTF-8 mark or valid UTF-8 is kept as it is;
/// anything else is read as GB18030, bytes that are not GB18030 either becoming U+FFFD.
/// The result is always valid UTF-8: what is taken as UTF-8 but is not has U+FFFD in place of
/// each malformed sequence. Bytes that are already UTF-8 are returned in the same buffer.
std::string decodeCsvText(std::string bytes);

/// The number of line breaks in text as the CSV reader counts lines (CR LF once).
std::size_t countLineBreaks(std::string_view text);

/// How CSV text is cut into cells.
struct CsvFormat {
    char delimiter = ',';
    char quote = '"';
    /// Remove spaces and tabs at both ends of each cell (header included).
    bool trimSpacesTabs = true;
};

/// The reading format: "," delimiter, double quotes, trimming of spaces and tabs when trim is on.
CsvFormat csvFormatFor(bool trim);

/// Where a CsvReader stands in its text: a byte offset and the 1-based line there.
struct CsvPosition {
    std::size_t offset = 0;
    std::size_t line = 1;
};

/// Cuts decoded CSV text into rows one at a time (the header is the first row), so a large
/// file is walked without holding all its rows. The text must outlive the reader.
///
/// Rows end at CR, LF or CR LF; lines that are empty or hold only spaces and tabs yield no row.
/// A quote that is the first character of a cell other than spaces and tabs opens a quoted
/// section (delimiters and line breaks inside are text, two quotes stand for one); an unclosed
/// section runs to the end of the text; text after the closing quote is kept up to the next
/// delimiter.
class CsvReader {
public:
    /// Starts at the beginning of text (a leading UTF-8 mark is skipped).
    CsvReader(std::string_view text, const CsvFormat& format);
    /// Starts at a position an earlier reader of the same text and format stood at.
    CsvReader(std::string_view text, const CsvFormat& format, CsvPosition at);
    /// The next row's cells and the 1-based line where it starts; false at the end. Throws
    /// std::bad_alloc when the row does not fit in memory.
    bool next(PackedStrings& row, std::size_t& rowLine);
    /// The line where a quote of the row last read was opened and never closed, so that the row
    /// took the rest of the text; 0 when every quote was closed.
    std::size_t unclosedQuoteLine() const { return m_unclosedQuoteLine; }
    /// Where the next row is looked for.
    CsvPosition position() const { return {m_pos, m_line}; }

private:
    std::string_view m_text;
    CsvFormat m_format;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
    std::size_t m_unclosedQuoteLine = 0;
};

/// A row under the header, as the batch sees it.
struct CsvDataRow {
    PackedStrings cells;
    /// 1-based; every row under the header counts, also those that make no card (blank or
    /// skipped). This is the "第 N 行" of every message, the row preview and `card --row`.
    std::size_t number = 0;
    std::size_t line = 0;              // 1-based line of the file where the row starts
    std::size_t unclosedQuoteLine = 0; // as CsvReader::unclosedQuoteLine
    /// Its cell count differs from the header's (after filling a short row when the source
    /// does): the batch makes no card of it.
    bool skipped = false;
};

/// The rows of decoded CSV text as the batch reads them: the header, then the data rows. The
/// text must outlive the walker.
class CsvRows {
public:
    /// Reads the header (none when the text holds no row). Throws std::bad_alloc when it does
    /// not fit in memory.
    CsvRows(std::string_view text, const CsvFormat& format);
    /// Goes on reading data rows at a position an earlier walker of the same text stood at,
    /// after rowsBefore data rows, under a header of headerCells cells (header() stays empty).
    CsvRows(std::string_view text, const CsvFormat& format, CsvPosition at, std::size_t headerCells,
            std::size_t rowsBefore);
    /// The column names, in file order (duplicates kept); empty when there is no row at all.
    const PackedStrings& header() const { return m_header; }
    /// Moves the header out, for a caller that reads no further.
    PackedStrings takeHeader() { return std::move(m_header); }
    /// The line where the header starts (0 when there is none).
    std::size_t headerLine() const { return m_headerLine; }
    /// The line where a quote of the header was opened and never closed; 0 when none was.
    std::size_t headerUnclosedQuoteLine() const { return m_headerUnclosedQuoteLine; }
    /// The next data row; false at the end. Throws std::bad_alloc when the row does not fit in
    /// memory.
    bool next(CsvDataRow& row);
    /// Where the next data row is looked for.
    CsvPosition position() const { return m_reader.position(); }

private:
    CsvReader m_reader;
    PackedStrings m_header;
    std::size_t m_headerCells = 0;
    std::size_t m_headerLine = 0;
    std::size_t m_headerUnclosedQuoteLine = 0;
    std::size_t m_count = 0;
};

/// True when a data row makes a card: at least one of its cells is not blank.
bool makesCard(const PackedStrings& cells);

/// The log line of a skipped row: its number, its line, its cell count and the header's.
inline constexpr const char* kMsgRowSkipped =
    "第 %zu 行（文件第 %zu 行）有 %zu 个单元格，与表头的 %zu 个不同，已跳过。";
/// The log line of a row that took the rest of the file: its number, its line, the quote's line.
inline constexpr const char* kMsgRowUnclosedQuote =
    "第 %zu 行（文件第 %zu 行）的引号没有闭合，文件第 %zu 行到末尾的内容都读进了这一行。";
/// The log line of a header that took the whole file: the quote's line.
inline constexpr const char* kMsgHeaderUnclosedQuote =
    "表头的引号没有闭合，文件第 %zu 行到末尾的内容都读进了表头。";

/// The log lines of what the file itself does to a data row (kMsgRowSkipped,
/// kMsgRowUnclosedQuote); none for an ordinary row.
std::vector<std::string> csvRowNotes(const CsvDataRow& row, std::size_t headerCells);

/// Why a CSV file could not be loaded.
inline constexpr const char* kMsgCsvCannotAccess =
    "文件 '%s' 无法访问。\n\n请检查文件是否存在或被别的软件【独占方式】打开。";
inline constexpr const char* kMsgCsvGone = "文件 '%s' 已不存在，请重新选择。";
inline constexpr const char* kMsgCsvNotCsv = "请选择一个 csv 文件";
inline constexpr const char* kMsgCsvTooLarge = "文件 '%s' 太大（超过 2 GB），无法读取。";
inline constexpr const char* kMsgCsvOutOfMemory = "文件 '%s' 太大，内存不足，无法读取。";

/// A CSV file larger than this is refused. Reading one takes a few times its size: the file's
/// bytes (decoded in place when they are UTF-8) and the cells of one row at a time, four bytes
/// per cell besides its text.
inline constexpr std::uint64_t kMaxCsvBytes = 2ULL * 1024 * 1024 * 1024;

/// Why an Excel workbook (.xlsx) read as a data file could not be read: the file, and the sheet
/// for kMsgWorkbookSheetMissing.
inline constexpr const char* kMsgWorkbookEncrypted = "无法读取 Excel 文件：'%s' 有密码保护。";
inline constexpr const char* kMsgWorkbookNotXlsx =
    "无法读取 Excel 文件：'%s' 不是 Excel 工作簿（xlsx）。";
inline constexpr const char* kMsgWorkbookNoSheet = "无法读取 Excel 文件：'%s' 里没有工作表。";
inline constexpr const char* kMsgWorkbookSheetMissing =
    "无法读取 Excel 文件：'%s' 里没有名为 '%s' 的工作表。";
inline constexpr const char* kMsgWorkbookBroken = "无法读取 Excel 文件：'%s' 已损坏。";
inline constexpr const char* kMsgWorkbookTooLarge =
    "无法读取 Excel 文件：'%s' 解压后太大，不会读取。";

/// Whether a CSV file (or a workbook read as one) could be read.
enum class CsvStatus {
    Ok,
    CannotAccess, // not a regular file, cannot be opened, changed while read
    TooLarge,     // larger than kMaxCsvBytes
    OutOfMemory,  // the file, its text or one of its rows does not fit in memory
    // A workbook (isWorkbookPath):
    WorkbookEncrypted,    // protected by a password
    WorkbookNotXlsx,      // not a zip, or a zip without a workbook
    WorkbookNoSheet,      // no worksheet at all
    WorkbookSheetMissing, // the sheet named after "#" is not there
    WorkbookBroken,       // a part is missing, cut off or not well-formed
    WorkbookTooLarge,     // a part or the sheet's text unpacks to more than is read
};

/// True for the statuses of a workbook that was found but could not be read.
bool isWorkbookStatus(CsvStatus status);

/// Reads a whole CSV file (a regular file of at most kMaxCsvBytes) and decodes it into text
/// (decodeCsvText); a workbook is read by openRowSource instead. Running out of memory gives
/// OutOfMemory, never an exception.
CsvStatus loadCsvText(const std::string& path, std::string& text);

/// The message for a CSV file or workbook that could not be read: kMsgCsvCannotAccess,
/// kMsgCsvTooLarge, kMsgCsvOutOfMemory or one of the kMsgWorkbook messages, naming the file
/// (without its "#sheet").
std::string csvStatusMessage(const std::string& path, CsvStatus status);

// The two below take workbooks too: they are defined with the other functions of a data file
// of either kind, in data_file.cpp.

/// The column names of a CSV file in header order (duplicates kept), read without the rows
/// after the header; nothing when the file cannot be read, with the reason in status. An empty
/// file gives no columns.
std::optional<PackedStrings> loadCsvColumns(const std::string& path, bool trim,
                                            CsvStatus* status = nullptr);

enum class CsvChoice { Ok, Missing, NotCsv, CannotAccess };

struct CsvChoiceResult {
    CsvChoice status = CsvChoice::Ok;
    /// The message for the user ("提示", warning icon) when not Ok.
    std::string message;
    std::vector<std::string> columns;
};

/// The rule for choosing a CSV file in the editor: the file must exist, end with ".csv" or
/// ".xlsx" (any case; a workbook may name its sheet after "#") and load.
CsvChoiceResult checkCsvChoice(const std::string& path, bool trim);

} // namespace torvale
