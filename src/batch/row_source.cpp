#include "batch/row_source.h"

#include <mutex>
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

} // namespace torvale
