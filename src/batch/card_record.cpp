#include "batch/card_record.h"

#include "common/file_io.h"
#include "common/paths.h"
#include "common/text.h"
#include "model/template_file.h"
#include "render/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace torvale {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::uint64_t fnv(std::uint64_t hash, std::string_view bytes)
{
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= kFnvPrime;
    }
    return hash;
}

std::uint64_t fnvLength(std::uint64_t hash, std::uint64_t length)
{
    for (int i = 0; i < 8; ++i) {
        hash ^= (length >> (8 * i)) & 0xFF;
        hash *= kFnvPrime;
    }
    return hash;
}

// A field as a spreadsheet reads it back.
void appendField(std::string& line, std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

// A logged problem on one line: the log's line breaks become spaces, so that every card keeps
// one line of the record and a line cut short never runs into the next.
std::string oneLine(const std::string& problem)
{
    std::string out;
    bool space = false;
    for (const char c : problem) {
        if (c == '\r' || c == '\n') {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// The byte order mark and the header, which start a record.
std::string headerLine()
{
    return std::string(kByteOrderMark) + kCardRecordHeader + "\r\n";
}

std::string errorText(int error)
{
    return std::strerror(error);
}

// Why a path that could not be opened is no record: another kind of file, or the system's reason.
std::string openFailure(const std::string& path, int error)
{
    struct stat info {};
    if (::stat(pathFromUtf8(path).c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return S_ISDIR(info.st_mode) ? "这是一个文件夹" : "这不是普通文件";
    return errorText(error);
}

} // namespace

std::string cardRecordPath(const std::string& folder)
{
    return pathToUtf8(pathFromUtf8(folder) / pathFromUtf8(kCardRecordFileName));
}

CardSummary::CardSummary(const Template& tpl, std::int32_t dpi)
{
    // Paths are taken as a saved file holds them, so the editor's template and the same file
    // opened by the command-line tool give the same summary.
    Template stored = tpl;
    storePathsFor(stored, stored.templatePath);
    stored.output.outputFolder.clear();
    stored.csv_file_path.clear();
    m_seed = fnv(kFnvOffset, templateToJson(stored, dpi));
    m_seed = fnv(m_seed, formatText("\ndpi=%d\n", static_cast<int>(dpi)));
}

std::uint64_t CardSummary::of(const PackedStrings& cells) const
{
    std::uint64_t hash = fnvLength(m_seed, cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        hash = fnvLength(hash, cells[i].size());
        hash = fnv(hash, cells[i]);
    }
    return hash;
}

std::string summaryText(std::uint64_t summary)
{
    return formatText("%016llx", static_cast<unsigned long long>(summary));
}

std::string cardRecordLine(std::time_t when, std::size_t row, const std::string& file,
                           const std::vector<std::string>& problems, std::uint64_t summary)
{
    std::tm local{};
    localtime_r(&when, &local);
    char time[32];
    std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S", &local);
    std::string joined;
    for (const std::string& problem : problems) {
        const std::string text = oneLine(problem);
        if (text.empty())
            continue;
        if (!joined.empty())
            joined += "；";
        joined += text;
    }
    std::string line = time;
    line += ',';
    line += std::to_string(row);
    line += ',';
    appendField(line, file);
    line += ',';
    appendField(line, joined);
    line += ',';
    line += summaryText(summary);
    line += "\r\n";
    return line;
}

CardRecordWriter::CardRecordWriter(std::string folder)
    : m_folder(std::move(folder)), m_path(cardRecordPath(m_folder))
{
}

CardRecordWriter::~CardRecordWriter()
{
    if (m_fd >= 0) {
        ::fdatasync(m_fd);
        ::close(m_fd);
    }
}

void CardRecordWriter::fail(const std::string& reason, LogSink& log)
{
    m_failed = true;
    log.log(formatText(kMsgRecordUnwritable, m_path.c_str(), reason.c_str()));
}

bool CardRecordWriter::open(LogSink& log)
{
    const auto openForAppend = [this] {
        // O_NONBLOCK: a FIFO in the record's place is refused at once instead of waited on.
        return ::open(pathFromUtf8(m_path).c_str(),
                      O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    };
    m_fd = openForAppend();
    if (m_fd < 0 && errno == ENOENT) {
        // A new record appears with its header already in it (a complete file linked to the
        // name), so that a batch on another machine never appends before the header.
        std::string temp;
        UniqueFd file = createTemporaryFile(m_folder, temp);
        if (file.get() >= 0) {
            const std::string header = headerLine();
            // A link that fails (the name taken meanwhile, a folder without hard links) leaves
            // the record to be opened, or created empty, below.
            [[maybe_unused]] const bool linked =
                writeAllBytes(file.get(), header.data(), header.size()) && file.close() == 0 &&
                ::link(temp.c_str(), pathFromUtf8(m_path).c_str()) == 0;
            ::unlink(temp.c_str());
        }
        m_fd = openForAppend();
        if (m_fd < 0 && errno == ENOENT) {
            // Without hard links: an empty record, which gets its header with the first line.
            m_fd = ::open(pathFromUtf8(m_path).c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
        }
    }
    if (m_fd < 0) {
        fail(openFailure(m_path, errno), log);
        return false;
    }
    struct stat info {};
    const bool statFailed = ::fstat(m_fd, &info) != 0;
    if (statFailed || !S_ISREG(info.st_mode)) {
        const std::string reason = statFailed ? errorText(errno) : "这不是普通文件";
        ::close(m_fd);
        m_fd = -1;
        fail(reason, log);
        return false;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_needsHeader = info.st_size == 0;
    if (info.st_size > 0) {
        // Opened for appending only, the record is read through a descriptor of its own.
        const UniqueFd reader(
            ::open(pathFromUtf8(m_path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        char last = '\n';
        if (reader.get() >= 0 && ::pread(reader.get(), &last, 1, info.st_size - 1) == 1)
            m_needsNewline = last != '\n';
    }
    return true;
}

bool CardRecordWriter::append(std::size_t row, const std::string& file,
                              const std::vector<std::string>& problems, std::uint64_t summary,
                              LogSink& log)
{
    if (m_failed || (m_fd < 0 && !open(log)))
        return false;
    std::string line;
    if (m_needsHeader)
        line = headerLine();
    else if (m_needsNewline)
        line = "\r\n"; // a line cut short by an earlier crash stays a line of its own
    line += cardRecordLine(std::time(nullptr), row, file, problems, summary);
    // One write per line: appends of several batches into one record never mix within a line.
    ssize_t written;
    do
        written = ::write(m_fd, line.data(), line.size());
    while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(line.size())) {
        fail(errorText(written < 0 ? errno : ENOSPC), log);
        return false;
    }
    m_needsHeader = false;
    m_needsNewline = false;
    return true;
}

const RecordedCard* CardRecord::latest(std::size_t row) const
{
    const auto it = m_latest.find(row);
    return it == m_latest.end() ? nullptr : &it->second;
}

std::vector<std::size_t> CardRecord::problemRows() const
{
    std::vector<std::size_t> rows;
    for (const auto& [row, card] : m_latest) {
        if (!card.problems.empty())
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

namespace {

// The fields of one line of the record; "" when they are all there, else what is wrong.
std::string splitRecordLine(std::string_view line, std::vector<std::string>& fields)
{
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return "引号没有闭合";
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i];
            }
            if (i < line.size() && line[i] != ',')
                return "引号后面还有文字";
        } else {
            const std::size_t end = std::min(line.find(',', i), line.size());
            field.assign(line.substr(i, end - i));
            i = end;
        }
        fields.push_back(std::move(field));
        if (i >= line.size())
            return {};
        ++i; // the comma
    }
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "2026-12-09 14:03:05"
bool isRecordTime(std::string_view text)
{
    constexpr std::string_view shape = "0000-00-00 00:00:00";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == '0' ? !isDigit(text[i]) : text[i] != shape[i])
            return false;
    }
    return true;
}

// The card a line of the record names; "" when the line is whole, else what is wrong.
std::string parseRecordLine(std::string_view line, std::size_t& row, RecordedCard& card)
{
    if (!isValidUtf8(line))
        return "不是 UTF-8 文本";
    if (line.find(kByteOrderMark) != std::string_view::npos)
        return "行中有字节顺序标记";
    std::vector<std::string> fields;
    if (std::string problem = splitRecordLine(line, fields); !problem.empty())
        return problem;
    if (fields.size() != 5)
        return formatText("有 %zu 列，应为 5 列", fields.size());
    if (!isRecordTime(fields[0]))
        return "时间不完整";
    const std::string& number = fields[1];
    if (number.empty() || number.size() > 18 || !std::all_of(number.begin(), number.end(), isDigit))
        return "行号不是数字";
    row = std::stoull(number);
    if (row == 0)
        return "行号不是数字";
    const std::string& file = fields[2];
    // Only a card's own name: nothing outside the folder, no hidden or temporary file.
    if (file.empty() || file.front() == '.' || file.find_first_of("/\\") != std::string::npos ||
        file.find('\0') != std::string::npos)
        return "文件名不对";
    const std::string& summary = fields[4];
    if (summary.size() != 16 ||
        !std::all_of(summary.begin(), summary.end(), [](char c) { return hexDigitValue(c) >= 0; }))
        return "摘要不对";
    card.summary = std::stoull(summary, nullptr, 16);
    card.file = file;
    card.problems = fields[3];
    return {};
}

} // namespace

CardRecord readCardRecord(const std::string& folder, LogSink& log, std::uint64_t maxBytes,
                          bool* exists)
{
    CardRecord record;
    const std::string path = cardRecordPath(folder);
    if (exists)
        *exists = false;
    const FilePtr file = openRegularFile(path);
    if (!file) {
        const int error = errno;
        if (error != ENOENT) {
            if (exists)
                *exists = true;
            log.log(
                formatText(kMsgRecordUnreadable, path.c_str(), openFailure(path, error).c_str()));
        }
        return record;
    }
    if (exists)
        *exists = true;
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0) {
        log.log(formatText(kMsgRecordUnreadable, path.c_str(), errorText(errno).c_str()));
        return record;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t start = size > maxBytes ? size - maxBytes : 0;
    if (start > 0) {
        log.log(formatText(kMsgRecordTooLarge, path.c_str(),
                           static_cast<unsigned long long>(maxBytes / (1024 * 1024))));
    }
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(std::min(size, maxBytes)));
    } catch (const std::bad_alloc&) {
        log.log(formatText(kMsgRecordUnreadable, path.c_str(), errorText(ENOMEM).c_str()));
        return record;
    }
    // The file may shrink while it is read; what was read is what counts.
    std::size_t got = 0;
    if (::fseeko(file.get(), static_cast<off_t>(start), SEEK_SET) == 0)
        got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);

    std::string_view text = bytes;
    if (start > 0) {
        // The first line read is the end of one that began before: not a line of its own.
        const std::size_t end = text.find('\n');
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    } else if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty() || line == kCardRecordHeader)
            continue;
        std::size_t row = 0;
        RecordedCard card;
        if (const std::string problem = parseRecordLine(line, row, card); !problem.empty()) {
            log.log(formatText(kMsgRecordLineDamaged, path.c_str(), lineNumber, problem.c_str()));
            continue;
        }
        record.add(row, std::move(card));
    }
    return record;
}

} // namespace torvale
