#pragma once

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

/// How CSV text is cut into cells.
struct CsvFormat {
    char delimiter = ',';
    char quote = '"';
    /// Remove spaces and tabs at both ends of each cell (header included).
    bool trimSpacesTabs = true;
};

/// The reading format: "," delimiter, double quotes, trimming of spaces and tabs when trim is on.
CsvFormat csvFormatFor(bool trim);

/// A data row dropped because its cell count differs from the header's.
struct DroppedCsvRow {
    std::size_t line = 0;  // 1-based line of the file where the row starts
    std::size_t cells = 0; // how many cells it had
};

/// True when a data row makes a card: at least one of its cells is not blank.
bool makesCard(const std::vector<std::string>& cells);

struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<DroppedCsvRow> dropped;
};

/// Cuts decoded CSV text into rows one at a time (the header is the first row), so a large
/// file is walked without holding all its rows. The text must outlive the reader.
class CsvReader {
public:
    /// Starts at the beginning of text (a leading UTF-8 mark is skipped).
    CsvReader(std::string_view text, const CsvFormat& format);
    /// The next row's cells and the 1-based line where it starts; false at the end.
    bool next(std::vector<std::string>& row, std::size_t& rowLine);

private:
    std::string_view m_text;
    CsvFormat m_format;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
};

/// Reads decoded CSV text (a leading UTF-8 mark is skipped) into the header and the data rows
/// that have as many cells as the header; the other data rows are listed in `dropped`. Rows end
/// at CR, LF or CR LF; lines that are empty or hold only spaces and tabs yield no row. A quote
/// that is the first character of a cell other than spaces and tabs opens a quoted section
/// (delimiters and line breaks inside are text, two quotes stand for one); an unclosed section
/// runs to the end of the text; text after the closing quote is kept up to the next delimiter.
CsvTable readCsv(std::string_view text, const CsvFormat& format);

/// The log line of a dropped row: its line, its cell count and the header's.
inline constexpr const char* kMsgRowDropped =
    "第 %zu 行有 %zu 个单元格，与表头的 %zu 个不同，已跳过。";

/// Why a CSV file could not be loaded.
inline constexpr const char* kMsgCsvCannotAccess =
    "文件 '%s' 无法访问。\n\n请检查文件是否存在或被别的软件【独占方式】打开。";
inline constexpr const char* kMsgCsvGone = "文件 '%s' 已不存在，请重新选择。";
inline constexpr const char* kMsgCsvNotCsv = "请选择一个 csv 文件";

inline constexpr const char* kMsgCsvTooLarge = "文件 '%s' 太大（超过 2 GB），无法读取。";

/// A CSV file larger than this is refused: the whole file is held in memory while a batch runs.
inline constexpr std::uint64_t kMaxCsvBytes = 2ULL * 1024 * 1024 * 1024;

/// Reads the whole file; nothing when it is not a regular file, cannot be opened, is larger than
/// kMaxCsvBytes or changes size while it is read.
std::optional<std::string> readCsvFileBytes(const std::string& path);

/// True when the file is larger than kMaxCsvBytes.
bool isCsvFileTooLarge(const std::string& path);

/// The message for a CSV file that cannot be loaded: kMsgCsvTooLarge or kMsgCsvCannotAccess.
std::string csvCannotAccessMessage(const std::string& path);

/// Reads and decodes a CSV file; nothing when it cannot be read.
std::optional<CsvTable> loadCsvFile(const std::string& path, bool trim);

/// The column names of a CSV file in header order (duplicates kept); nothing when the file
/// cannot be read. An empty file gives no columns.
std::optional<std::vector<std::string>> loadCsvColumns(const std::string& path, bool trim);

enum class CsvChoice { Ok, Missing, NotCsv, CannotAccess };

struct CsvChoiceResult {
    CsvChoice status = CsvChoice::Ok;
    /// The message for the user ("提示", warning icon) when not Ok.
    std::string message;
    std::vector<std::string> columns;
};

/// The rule for choosing a CSV file in the editor: the file must exist, end with ".csv" (any
/// case) and load.
CsvChoiceResult checkCsvChoice(const std::string& path, bool trim);

} // namespace torvale
