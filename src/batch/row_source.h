#pragma once

#include "batch/csv_source.h"

#include <cstddef>
#include <functional>
#include <memory>
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

/// The rows of decoded CSV text as a source (the text is kept). Counting the rows leaves a mark
/// every few rows, so that a row far down is found without cutting every row before it.
std::unique_ptr<RowSource> makeCsvRowSource(std::string text, const CsvFormat& format,
                                            const RowVisitor& visit = {});

} // namespace torvale
