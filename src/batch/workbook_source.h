#pragma once

#include "batch/csv_source.h"
#include "batch/row_source.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// How much of a workbook is read at most.
struct WorkbookLimits {
    /// The workbook file itself (larger: CsvStatus::TooLarge, as for a CSV file).
    std::uint64_t maxFileBytes = kMaxCsvBytes;
    /// The unpacked size of one part (a sheet, the shared strings, the styles).
    std::uint64_t maxPartBytes = kMaxCsvBytes;
    /// The sheet's text: its cells as CSV would hold them, a row a line.
    std::uint64_t maxTextBytes = kMaxCsvBytes;
    /// A part larger than this, unpacked, that packs more than kMaxPackRatio to one is refused:
    /// spreadsheets never pack that tightly, zip bombs do.
    std::uint64_t ratioCheckBytes = 4u << 20;
    /// Read the sheet up to its header row (the column names) and no further.
    bool headerOnly = false;
};

/// The highest unpacked-to-packed ratio of a large part (WorkbookLimits::ratioCheckBytes).
inline constexpr std::uint64_t kMaxPackRatio = 200;

/// Opens one worksheet of an Excel workbook (.xlsx) as rows: the first worksheet, or the one
/// named after "#" in path (splitSheetPath). The sheet is read once, straight into rows; visit,
/// when given, then sees every data row in order.
///
/// The sheet's rows read as the same rows written as a CSV file, one sheet row a line: the
/// header is the first row that is not blank (a row without values, or whose one value is
/// spaces and tabs alone), a row's line is its row number while no cell above holds a line
/// break, rows stored out of order come in the order of their numbers, cells are trimmed when
/// trim is on, and a row shorter than the header gets empty cells up to the header's count. Cells
/// are shown as the spreadsheet shows them in the General format: strings as they are, whole
/// numbers with every digit they were written with, other numbers to 15 significant digits
/// without an exponent below 1e21, dates and times (by their number format) as "2026-03-15",
/// "08:30", "08:30:15" or "2026-03-15 08:30", booleans as TRUE and FALSE, formulas by their
/// last value, errors by their text. Running out of memory gives OutOfMemory, never an
/// exception.
CsvStatus openWorkbookRows(const std::string& path, bool trim, std::unique_ptr<RowSource>& source,
                           const RowVisitor& visit = {}, const WorkbookLimits& limits = {});

/// The names of the worksheets of a workbook in the workbook's order (chart sheets left out);
/// nothing when it cannot be read, with the reason in status. A "#sheet" in path is ignored.
std::optional<std::vector<std::string>> workbookSheetNames(const std::string& path,
                                                           CsvStatus* status = nullptr);

/// A number cell's value as the General format shows it: 15 significant digits, no exponent
/// from 1e-9 up to 1e21 ("42", "0.1", "0.3" for 0.30000000000000004, "110101199003071000"),
/// "1.5E+21" beyond.
std::string formatGeneralNumber(double value);

} // namespace torvale
