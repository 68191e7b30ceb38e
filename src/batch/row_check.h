#pragma once

#include "batch/batch_validation.h"
#include "model/template.h"
#include "render/fonts.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// What can be wrong with one cell of a data row.
enum class RowProblemKind {
    PictureMissing,    // the picture file is not there
    PictureUnreadable, // it is there but cannot be opened
    NotAPicture,       // it is not a BMP, JPEG, GIF, PNG, TIFF or PSD picture
    EmptyFileName,     // a file-name cell is blank: the column name stands in
    SameFileName,      // an earlier row gives the same file name: this card gets "(n)"
    FileExists,        // a file of that name is in the output folder: the card gets "(n)"
    MissingCharacters, // characters no installed font can draw
    TextClipped,       // the text is wider (or its lines taller) than its layer and is cut off
    TextAtMinimum,     // a shrinking text does not fit even at its minimum size
};

/// One problem of a data row.
struct RowProblem {
    std::size_t row = 0; // 1-based data row, as the row preview counts
    std::string column;
    RowProblemKind kind = RowProblemKind::PictureMissing;
    std::string message;
    std::string path;    // picture problems: the path tried; file names: the file name
    int layerNumber = 0; // problems of a layer: its number
};

/// The result of walking every data row.
struct RowCheckResult {
    std::size_t rows = 0; // data rows checked
    std::vector<RowProblem> problems;
    bool stopped = false;
    /// The CSV file cannot be read.
    std::optional<std::string> csvProblem;
};

/// Called now and then with the rows checked so far and the number of rows.
using RowCheckProgress = std::function<void(std::size_t done, std::size_t total)>;

/// Walks every data row of the batch's CSV file as the batch would draw it, without drawing:
/// picture cells are checked by their headers, texts are measured, file names are made as the
/// batch makes them. Meant to run after validateBatch passed; stop ends it early.
RowCheckResult checkRows(const Template& tpl, const BatchInputs& inputs, const FontRegistry& fonts,
                         const std::atomic<bool>* stop = nullptr,
                         const RowCheckProgress& progress = {});

/// "已检查 %zu 行，发现 %zu 个问题。" (or "没有发现问题"), "已停止：" in front when stopped; the
/// CSV file's problem when it could not be read.
std::string rowCheckSummary(const RowCheckResult& result);

/// A stable name of a problem kind for scripts ("picture-missing", "text-clipped", ...).
const char* rowProblemKindName(RowProblemKind kind);

/// "第 %d 行，%s：%s": the row, the column and the message.
std::string rowProblemLine(const RowProblem& problem);

/// One JSON object on one line: row, column, kind, message and, when known, path and layer.
std::string rowProblemJson(const RowProblem& problem);

} // namespace torvale
