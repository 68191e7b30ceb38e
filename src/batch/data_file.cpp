#include "batch/data_file.h"

#include "batch/workbook_source.h"
#include "common/paths.h"
#include "common/text.h"

#include <filesystem>
#include <new>
#include <stdexcept>

namespace torvale {

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

std::optional<PackedStrings> loadCsvColumns(const std::string& path, bool trim, CsvStatus* status)
{
    CsvStatus result = CsvStatus::OutOfMemory;
    std::optional<PackedStrings> columns;
    try {
        if (isWorkbookPath(path)) {
            // The names are all that is wanted: the sheet is read no further than its header.
            WorkbookLimits limits;
            limits.headerOnly = true;
            std::unique_ptr<RowSource> source;
            result = openWorkbookRows(path, trim, source, {}, limits);
            if (result == CsvStatus::Ok)
                columns.emplace(source->columns());
        } else {
            std::string text;
            result = loadCsvText(path, text);
            if (result == CsvStatus::Ok) {
                CsvRows rows(text, csvFormatFor(trim));
                columns.emplace(rows.takeHeader());
            }
        }
    } catch (const std::bad_alloc&) {
        columns.reset();
        result = CsvStatus::OutOfMemory;
    }
    if (status)
        *status = result;
    return columns;
}

CsvChoiceResult checkCsvChoice(const std::string& path, bool trim)
{
    CsvChoiceResult result;
    std::error_code error;
    const std::string file = splitSheetPath(path).file;
    if (std::filesystem::status(pathFromUtf8(file), error).type() ==
        std::filesystem::file_type::not_found) {
        result.status = CsvChoice::Missing;
        result.message = formatText(kMsgCsvGone, file.c_str());
        return result;
    }
    if (!endsWithIgnoreCase(file, ".csv") && !endsWithIgnoreCase(file, ".xlsx")) {
        result.status = CsvChoice::NotCsv;
        result.message = kMsgCsvNotCsv;
        return result;
    }
    CsvStatus status = CsvStatus::Ok;
    auto columns = loadCsvColumns(path, trim, &status);
    if (!columns) {
        result.status = CsvChoice::CannotAccess;
        result.message = csvStatusMessage(path, status);
        return result;
    }
    try {
        result.columns = columns->toVector();
    } catch (const std::bad_alloc&) {
        result.status = CsvChoice::CannotAccess;
        result.message = csvStatusMessage(path, CsvStatus::OutOfMemory);
    }
    return result;
}

} // namespace torvale
