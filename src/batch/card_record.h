#pragma once

#include "common/packed_strings.h"
#include "model/template.h"
#include "render/log_sink.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

namespace torvale {

/// The record of the cards made into an output folder, one line per card, kept in the folder.
inline constexpr const char* kCardRecordFileName = "制作记录.csv";
/// Its first line, after a UTF-8 byte order mark.
inline constexpr const char* kCardRecordHeader = "时间,行号,文件,问题,摘要";
/// A record larger than this is read from the end: the latest lines are the ones that count.
inline constexpr std::uint64_t kMaxCardRecordBytes = 64ULL * 1024 * 1024;

/// The record could not be opened or written (its path, the reason); the cards are still made.
inline constexpr const char* kMsgRecordUnwritable =
    "写入制作记录 '%s' 时发生错误:\r\n%s\r\n卡片照常生成，但不会记入制作记录。\r\n";
/// The record could not be read (its path, the reason); no card counts as made.
inline constexpr const char* kMsgRecordUnreadable =
    "无法读取制作记录 '%s'：%s。没有卡片算作已经做过。";
/// A line of the record that does not hold a card (path, line, reason); it is left out.
inline constexpr const char* kMsgRecordLineDamaged =
    "制作记录 '%s' 第 %zu 行已损坏（%s），已忽略。";
/// The record is larger than what is read (path, megabytes read).
inline constexpr const char* kMsgRecordTooLarge =
    "制作记录 '%s' 太大，只读取了最后 %llu MB，下面的行号从那里数起。";
/// A resumed batch into a folder without a record (its path).
inline constexpr const char* kMsgRecordMissing =
    "输出文件夹中没有制作记录 '%s'，选中的每一行都会生成卡片。";
/// A batch redoing the cards with problems into a folder without a record (its path).
inline constexpr const char* kMsgRecordMissingRedo =
    "输出文件夹中没有制作记录 '%s'，没有要重新生成的卡片。";

/// A stable hash of what makes a card: the template as its file would hold it (without the
/// output folder and the data file's path, which change no pixel), the dpi and the row's cells.
class CardSummary {
public:
    CardSummary(const Template& tpl, std::int32_t dpi);
    /// The summary of a card made from these cells: 64-bit FNV-1a over the template's part and
    /// every cell with its length in front, so ("ab","c") and ("a","bc") differ.
    std::uint64_t of(const PackedStrings& cells) const;

private:
    std::uint64_t m_seed;
};

/// A summary as the record writes it: 16 lowercase hexadecimal digits.
std::string summaryText(std::uint64_t summary);

/// One line of the record, with its line break: the local time of when, the data row number, the
/// file name within the output folder, the problems the card logged (joined with "；", each on
/// one line) and the summary; fields holding a comma, a quote or a line break are quoted.
std::string cardRecordLine(std::time_t when, std::size_t row, const std::string& file,
                           const std::vector<std::string>& problems, std::uint64_t summary);

/// Appends lines to the record of an output folder. The file is opened on the first line and
/// created with the byte order mark and the header; each line is one write() to the file opened
/// for appending, so batches on several machines may share it. When the record cannot be
/// opened or written, that is logged once (kMsgRecordUnwritable) and nothing more is written.
class CardRecordWriter {
public:
    explicit CardRecordWriter(std::string folder);
    ~CardRecordWriter();
    CardRecordWriter(const CardRecordWriter&) = delete;
    CardRecordWriter& operator=(const CardRecordWriter&) = delete;

    /// Appends the line of a card (cardRecordLine, now); false when it was not written.
    bool append(std::size_t row, const std::string& file, const std::vector<std::string>& problems,
                std::uint64_t summary, LogSink& log);

private:
    bool open(LogSink& log);
    void fail(const std::string& reason, LogSink& log);

    std::string m_folder;
    std::string m_path;
    int m_fd = -1;
    bool m_failed = false;
    bool m_needsHeader = false;  // the file was empty when it was opened
    bool m_needsNewline = false; // its last line was cut short
};

/// The latest line of a data row in the record.
struct RecordedCard {
    std::string file;     // within the output folder
    std::string problems; // "" when the card logged none
    std::uint64_t summary = 0;
};

/// What the record of an output folder says, the latest line of each data row.
class CardRecord {
public:
    /// The latest line of data row `row`; null when the record names none.
    const RecordedCard* latest(std::size_t row) const;
    /// The data rows whose latest line names a problem, in increasing order.
    std::vector<std::size_t> problemRows() const;
    /// True when no line of the record was read (there was none, or none was whole).
    bool empty() const { return m_latest.empty(); }

    /// Takes a line as the latest of its row.
    void add(std::size_t row, RecordedCard card) { m_latest[row] = std::move(card); }

private:
    std::unordered_map<std::size_t, RecordedCard> m_latest;
};

/// Reads the record of an output folder: at most the last maxBytes, only from a regular file
/// (a FIFO or a folder in its place is refused, never waited on). Lines that are not whole (cut
/// short, another number of fields, a row that is not a number, a byte order mark after the
/// start, text that is not UTF-8, a file name with a folder in it) are logged with their line
/// number and left out. A missing record gives an empty one without a log line; exists tells.
CardRecord readCardRecord(const std::string& folder, LogSink& log,
                          std::uint64_t maxBytes = kMaxCardRecordBytes, bool* exists = nullptr);

/// The path of the record of an output folder.
std::string cardRecordPath(const std::string& folder);

} // namespace torvale
