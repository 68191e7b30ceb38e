#pragma once

#include "batch/batch_runner.h"
#include "batch/batch_validation.h"
#include "render/sheet_layout.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace torvale {

/// The true size of a template's cards in mm: its canvas in pixels at dpi.
std::pair<double, double> cardSizeMm(const Template& tpl, std::int32_t dpi);

/// The layout of a template's cards at dpi on the paper of settings (see layoutSheet).
SheetLayoutResult layoutCards(const Template& tpl, std::int32_t dpi, const SheetSettings& settings);

/// "" when a back template's cards have the size of the front's (to a tenth of a millimetre),
/// else the problem, naming both sizes.
std::string checkBackSize(const Template& front, std::int32_t frontDpi, const Template& back,
                          std::int32_t backDpi);

/// The checks of a batch before a print sheet: those of validateBatch with inputs.outputFolder
/// the PDF file's folder, less the choice of file-name columns (a sheet names no card files).
/// A layer bound to a column the CSV file lacks is reported as such (an empty file as empty),
/// not as a layer without a column.
BatchProblem validateSheet(const Template& tpl, const BatchInputs& inputs,
                           const FontRegistry& fonts,
                           std::optional<std::vector<std::string>>* columns = nullptr);

/// What stands in the way of a PDF file at a path.
enum class SheetPathProblem {
    None,
    NotAFile,   // the path is a folder, a device, a pipe or a socket
    NotAFolder, // the path's folder, or the nearest of its folders that exists, is a file
};

/// Whether a print sheet may be written at path as the user named it (before ".pdf" is added
/// to a name without an extension): None, or the problem with the path in the way in blocker.
/// A folder that does not exist is no problem here (the checks create one level of it).
SheetPathProblem checkSheetPath(const std::string& path, std::string& blocker);

/// The result of a print sheet.
struct SheetSummary {
    BatchSummary batch;
    std::size_t pages = 0;
    std::string path;  // the PDF file written; empty when none was
    std::string error; // why no PDF file was written, unless the batch was stopped
};

/// Makes the cards of a batch as runBatch does (same checks left to the caller, same renderer,
/// same workers) and lays them out into one PDF file: pdfPath, or pdfPath with "(n)" before the
/// extension when that name is taken. The file is written under a temporary name in the same
/// folder and named only when complete: a stop, a card that could not be placed... a failure
/// of any kind leaves no PDF file behind, except a card that could not be drawn, which is
/// counted as failed while the others are placed. With options.backTpl, every page of fronts
/// is followed by a page of their backs.
SheetSummary runSheet(const BatchOptions& options, const SheetLayout& layout,
                      const std::string& pdfPath, BatchListener& listener, std::atomic<bool>& stop);

} // namespace torvale
