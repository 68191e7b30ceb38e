#include "batch/row_source.h"

#include "batch/workbook_source.h"
#include "common/paths.h"

#include <filesystem>
#include <new>
#include <stdexcept>
#include <vector>

namespace torvale {

namespace {

// A mark every this many rows: finding a row cuts at most this many rows before it, and the
// marks cost a byte for every few rows of the text.
constexpr std::size_t kRowsPerMark = 64;

class CsvCursor : public RowCursor {
public:
    CsvCursor(std::string_view text, const CsvFormat& format, CsvPosition at,
              std::size_t headerCells, std::size_t rowsBefore)
        : m_rows(text, format, at, headerCells, rowsBefore)
    {
    }
    bool next(CsvDataRow& row) override { return m_rows.next(row); }

private:
    CsvRows m_rows;
};

class EmptyCursor : public RowCursor {
public:
    bool next(CsvDataRow&) override { return false; }
};

// The rows of CSV text. The marks are made on the first need (a count, a row far down), or at
// once while the rows are visited: reading every row in order needs none, so `rows` cuts the
// text once.
class CsvRowSource : public RowSource {
public:
    CsvRowSource(std::string text, const CsvFormat& format, const RowVisitor& visit)
        : m_text(std::move(text)), m_format(format)
    {
        CsvRows rows(m_text, m_format);
        m_headerLine = rows.headerLine();
        m_headerUnclosedQuoteLine = rows.headerUnclosedQuoteLine();
        m_first = rows.position();
        m_columns = rows.takeHeader();
        if (visit)
            std::call_once(m_marked, [&] { mark(visit); });
    }

    const PackedStrings& columns() const override { return m_columns; }
    std::size_t headerLine() const override { return m_headerLine; }
    std::size_t headerUnclosedQuoteLine() const override { return m_headerUnclosedQuoteLine; }

    std::size_t rowCount() const override
    {
        std::call_once(m_marked, [this] { mark({}); });
        return m_count;
    }

    std::unique_ptr<RowCursor> rows(std::size_t from) const override
    {
        if (from == 1)
            return std::make_unique<CsvCursor>(m_text, m_format, m_first, m_columns.size(), 0);
        if (from == 0 || from > rowCount())
            return std::make_unique<EmptyCursor>();
        const std::size_t mark = (from - 1) / kRowsPerMark;
        auto cursor = std::make_unique<CsvCursor>(m_text, m_format, m_marks[mark], m_columns.size(),
                                                  mark * kRowsPerMark);
        CsvDataRow row;
        for (std::size_t skip = (from - 1) % kRowsPerMark; skip > 0; --skip)
            cursor->next(row);
        return cursor;
    }

private:
    // Reads every row once, counting them and marking where every kRowsPerMark-th starts.
    void mark(const RowVisitor& visit) const
    {
        m_marks.clear();
        CsvRows rows(m_text, m_format, m_first, m_columns.size(), 0);
        CsvDataRow row;
        std::size_t count = 0;
        for (;;) {
            if (count % kRowsPerMark == 0)
                m_marks.push_back(rows.position());
            if (!rows.next(row))
                break;
            count = row.number;
            if (visit)
                visit(row, m_columns);
        }
        m_count = count;
    }

    std::string m_text;
    CsvFormat m_format;
    PackedStrings m_columns;
    std::size_t m_headerLine = 0;
    std::size_t m_headerUnclosedQuoteLine = 0;
    CsvPosition m_first; // where the first data row is looked for
    mutable std::once_flag m_marked;
    mutable std::size_t m_count = 0;
    mutable std::vector<CsvPosition> m_marks; // where rows 1, 1 + kRowsPerMark, ... start
};

} // namespace

bool RowSource::rowAt(std::size_t number, CsvDataRow& row) const
{
    return rows(number)->next(row);
}

std::unique_ptr<RowSource> makeCsvRowSource(std::string text, const CsvFormat& format,
                                            const RowVisitor& visit)
{
    return std::make_unique<CsvRowSource>(std::move(text), format, visit);
}

CsvStatus openRowSource(const std::string& path, bool trim, std::unique_ptr<RowSource>& source,
                        const RowVisitor& visit)
{
    source.reset();
    if (isWorkbookPath(path))
        return openWorkbookRows(path, trim, source, visit);
    std::string text;
    if (const CsvStatus status = loadCsvText(path, text); status != CsvStatus::Ok)
        return status;
    try {
        source = makeCsvRowSource(std::move(text), csvFormatFor(trim), visit);
        return CsvStatus::Ok;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // Out of memory, also in visit: nothing of the file is kept.
    source.reset();
    return CsvStatus::OutOfMemory;
}

CsvStatus RowSourceCache::open(const std::string& path, bool trim,
                               std::shared_ptr<const RowSource>& source)
{
    // The version is taken before the file is read: a change while it is read shows as another
    // version next time.
    std::error_code error;
    const std::filesystem::path file = pathFromUtf8(splitSheetPath(path).file);
    const std::uint64_t size = std::filesystem::file_size(file, error);
    const bool known = !error;
    const auto modified = std::filesystem::last_write_time(file, error);
    const std::int64_t stamp = error ? 0 : modified.time_since_epoch().count();

    const std::lock_guard lock(m_mutex);
    if (known && !error && m_source && m_path == path && m_trim == trim && m_size == size &&
        m_modified == stamp) {
        source = m_source;
        return CsvStatus::Ok;
    }
    m_source.reset();
    std::unique_ptr<RowSource> opened;
    const CsvStatus status = openRowSource(path, trim, opened);
    if (status != CsvStatus::Ok)
        return status;
    try {
        source = std::move(opened);
        if (known && !error) {
            m_path = path;
            m_trim = trim;
            m_size = size;
            m_modified = stamp;
            m_source = source;
        }
    } catch (const std::bad_alloc&) {
        source.reset();
        m_source.reset();
        return CsvStatus::OutOfMemory;
    }
    return status;
}

} // namespace torvale
