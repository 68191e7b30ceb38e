#pragma once

#include "batch/csv_source.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace torvale {

/// Reads the data rows of a source in order, one row held at a time. It must not outlive its
/// source.
class RowCursor {
public:
    virtual ~RowCursor() = default;
    /// The next data row; false at the end. Throws std::bad_alloc when the row does not fit in
    /// memory.
    virtual bool next(CsvDataRow& row) = 0;
};

/// The rows of a data source (a CSV file, a worksheet), read once when it is opened. Reading
/// never changes it: several threads may read it at once, each through its own cursor.
class RowSource {
public:
    virtual ~RowSource() = default;
    /// The column names in source order (duplicates kept); empty when the source holds no row.
    virtual const PackedStrings& columns() const = 0;
    /// The line where the header starts (0 when there is none).
    virtual std::size_t headerLine() const = 0;
    /// The line where a quote of the header was opened and never closed; 0 when none was.
    virtual std::size_t headerUnclosedQuoteLine() const { return 0; }
    /// The number of data rows, blank and skipped ones included. Throws std::bad_alloc when
    /// counting them needs more memory than there is.
    virtual std::size_t rowCount() const = 0;
    /// A cursor at the data row numbered from (1-based); past the last row it reads nothing.
    /// Throws std::bad_alloc when it does not fit in memory.
    virtual std::unique_ptr<RowCursor> rows(std::size_t from = 1) const = 0;

    /// The data row numbered number into row; false when there is none. Throws std::bad_alloc
    /// when the row does not fit in memory.
    bool rowAt(std::size_t number, CsvDataRow& row) const;
};

/// Called with every data row, in order, and the column names while a source is opened.
using RowVisitor = std::function<void(const CsvDataRow& row, const PackedStrings& columns)>;

/// Opens the data file at path, a CSV file or a workbook (isWorkbookPath, with an optional
/// "#sheet"), trimming spaces and tabs around cells when trim is on. The file is read once;
/// visit, when given, sees every data row as it is read. Running out of memory gives
/// OutOfMemory, never an exception (also when visit throws std::bad_alloc).
CsvStatus openRowSource(const std::string& path, bool trim, std::unique_ptr<RowSource>& source,
                        const RowVisitor& visit = {});

/// The rows of decoded CSV text as a source (the text is kept). Counting the rows leaves a mark
/// every few rows, so that a row far down is found without cutting every row before it.
std::unique_ptr<RowSource> makeCsvRowSource(std::string text, const CsvFormat& format,
                                            const RowVisitor& visit = {});

/// The source of the data file opened last, kept while the file keeps its size and
/// modification time, so that a preview asking for row after row reads the file once.
class RowSourceCache {
public:
    /// The rows of path read with trim (openRowSource): the kept ones when the file has not
    /// changed since they were read.
    CsvStatus open(const std::string& path, bool trim, std::shared_ptr<const RowSource>& source);

private:
    std::mutex m_mutex;
    std::string m_path;
    bool m_trim = true;
    std::uint64_t m_size = 0;
    std::int64_t m_modified = 0;
    std::shared_ptr<const RowSource> m_source;
};

} // namespace torvale
