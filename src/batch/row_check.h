#pragma once

#include "batch/batch_validation.h"
#include "batch/row_selection.h"
#include "model/template.h"
#include "render/fonts.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// What can be wrong with a data row or one of its cells.
enum class RowProblemKind {
    RowSkipped,        // its cell count differs from the header's: the batch makes no card of it
    UnclosedQuote,     // a quote is never closed: the rest of the file went into this row
    PictureMissing,    // the picture file is not there
    PictureUnreadable, // it is there but cannot be opened
    NotAPicture,       // it is not a BMP, JPEG, GIF, PNG, TIFF or PSD picture
    PictureTooLarge,   // its header gives a size beyond the image library's limits
    PictureIncomplete, // the file is cut short: damaged, as the batch says when it draws it
    EmptyFileName,     // a file-name cell is blank: the column name stands in
    SameFileName,      // an earlier row gives the same file name: this card gets "(n)"
    FileExists,        // a file of that name is in the output folder: the card gets "(n)"
    MissingCharacters, // characters no installed font can draw
    TextClipped,       // the text is wider (or its lines taller) than its layer and is cut off
    TextAtMinimum,     // a shrinking text does not fit even at its minimum size
    TextTiny,          // a shrinking text is drawn too small to read once printed
    CodeInvalid,       // the value cannot be encoded in the layer's code
    CodeTooSmall,      // the code of the value does not fit its layer
    CodeUnreadable,    // a part of the code lies off the card: it cannot be read from it
};

/// One problem of a data row.
struct RowProblem {
    /// 1-based data row, as the row preview and every message count (CsvDataRow::number);
    /// 0 for the header.
    std::size_t row = 0;
    std::size_t line = 0; // the line of the file where the row starts
    std::string column;   // empty for a problem of the whole row
    RowProblemKind kind = RowProblemKind::PictureMissing;
    std::string message;
    std::string path;    // picture problems: the path tried; file names: the file name
    int layerNumber = 0; // problems of a layer: its number
};

/// The result of walking every data row.
struct RowCheckResult {
    std::size_t rows = 0; // data rows checked, skipped ones included (the selected ones)
    /// The first kMaxListedRowProblems problems, in row order.
    std::vector<RowProblem> problems;
    /// Problems found after those: counted, not kept (a file of a million short rows, each
    /// skipped, would otherwise take far more memory than the file).
    std::size_t unlisted = 0;
    bool stopped = false;
    /// The CSV file cannot be read.
    std::optional<std::string> csvProblem;
};

/// How many problems a row check keeps.
inline constexpr std::size_t kMaxListedRowProblems = 100000;

/// Called now and then with the rows checked so far and the number of rows.
using RowCheckProgress = std::function<void(std::size_t done, std::size_t total)>;

/// Walks every data row of the batch's CSV file as the batch would draw it, without drawing:
/// rows the batch skips and quotes never closed are reported, picture cells are checked by
/// their headers (against the image library's size limits too), texts are measured, file
/// names are made as the batch makes them. Only the rows of selection are checked and counted;
/// the others still name their cards, so that equal names are told as the batch numbers them.
/// Meant to run after validateBatch passed; stop ends it early.
RowCheckResult checkRows(const Template& tpl, const BatchInputs& inputs, const FontRegistry& fonts,
                         const std::atomic<bool>* stop = nullptr,
                         const RowCheckProgress& progress = {},
                         const RowSelection& selection = RowSelection());

/// "已检查 %zu 行，发现 %zu 个问题。" (or "没有发现问题"; "只列出了前 %zu 个。" after it when
/// problems went unlisted), "已停止：" in front when stopped; the CSV file's problem when it
/// could not be read.
std::string rowCheckSummary(const RowCheckResult& result);

/// A stable name of a problem kind for scripts ("picture-missing", "text-clipped", ...).
const char* rowProblemKindName(RowProblemKind kind);

/// "第 %zu 行，%s：%s": the row, the column and the message; for a problem of the whole row
/// "第 %zu 行（文件第 %zu 行）：%s" ("表头（文件第 %zu 行）：%s" for the header). The column is
/// shown on one line (cleaned as cellForLog cleans a cell).
std::string rowProblemLine(const RowProblem& problem);

/// One JSON object on one line: row, line, column, kind, message and, when known, path and
/// layer.
std::string rowProblemJson(const RowProblem& problem);

} // namespace torvale
