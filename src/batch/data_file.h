#pragma once

#include "batch/row_source.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace torvale {

/// Opens the data file at path, a CSV file or a workbook (isWorkbookPath, with an optional
/// "#sheet"), trimming spaces and tabs around cells when trim is on. The file is read once;
/// visit, when given, sees every data row as it is read. Running out of memory gives
/// OutOfMemory, never an exception (also when visit throws std::bad_alloc).
CsvStatus openRowSource(const std::string& path, bool trim, std::unique_ptr<RowSource>& source,
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
