#pragma once

#include "model/template.h"
#include "render/fonts.h"

#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// The control a batch problem points at (the editor shows its balloon there).
enum class BatchControl {
    None,
    BackgroundWidth,
    BackgroundHeight,
    BackgroundPictureButton,
    CsvChooseButton,
    CsvPathBox,
    LayerList,
    LayerColumnSelector,   // the bound-column selector of the layer's property panel
    LayerFontSelector,     // the font selector of the text layer panel
    LayerContentField,     // the demo text or demo picture of the layer's panel (fixed content)
    LayerPlaceholderField, // the placeholder picture of the picture layer panel
    LayerShowIfColumn,     // the rule's column list of the layer's property panel
    OutputFolderButton,
    OutputFolderMessage, // shown as a message box ("提示", error icon), not a balloon
    FileNameColumn,
};

/// The first problem found, or check 0 when the batch may start.
struct BatchProblem {
    int check = 0; // 1..16 in the order checked; 0 = no problem
    /// Where the problem is shown. An unbound layer (check 12) is shown once, on
    /// LayerColumnSelector of the selected layer (on the layer list when it has no panel open).
    BatchControl control = BatchControl::None;
    std::string title; // empty for the message box of check 15
    std::string text;
    /// A line for the information log and the command line naming what was tried (the data
    /// file that cannot be opened); empty when the title and text say it all.
    std::string detail;
    /// The control that gets the focus afterwards (None: the focus stays where it is).
    BatchControl focus = BatchControl::None;
    int layerNumber = 0;      // checks 11..13: the number of the layer to select
    bool scrollToTop = false; // scroll the settings column to its top first

    bool ok() const { return check == 0; }
};

/// Check 14: no output folder.
inline constexpr const char* kMsgNoOutputFolderTitle = "请选择【图片保存到】文件夹";
inline constexpr const char* kMsgNoOutputFolderText = "制作的图片将保存到这个文件夹里";

/// The data file's problem naming the file: "csv文件无法访问: 请检查…（path）", for the log and
/// the command line (the balloon keeps the title and text alone).
std::string csvProblemDetail(const std::string& csvPath);

/// What a batch check needs besides the template.
struct BatchInputs {
    std::string csvPath;        // the CSV file, resolved; empty when none is chosen
    std::string outputFolder;   // the output folder
    std::string backgroundPath; // the background picture, resolved
};

/// The background checks of validateBatch alone (custom canvas size texts and size, or the
/// background picture): the first problem, or nothing.
std::optional<BatchProblem> validateBackground(const Template& tpl, const BatchInputs& inputs);

/// Checks a template before a batch in the fixed order and returns the first problem: custom
/// canvas size texts or background picture, CSV file, each layer (rectangle, bound column, font
/// of a text layer), output folder, file-name columns. Creates the output folder (one level)
/// when it is missing. columns receives the CSV file's column names once the file was read (an
/// empty list when it could not be read); it is left alone when the checks stop before.
BatchProblem validateBatch(const Template& tpl, const BatchInputs& inputs,
                           const FontRegistry& fonts,
                           std::optional<std::vector<std::string>>* columns = nullptr);

} // namespace torvale
