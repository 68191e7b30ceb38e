#pragma once

#include "app/card_sizes.h" // CardSizeChoice
#include "app/input_check.h" // InputMode
#include "batch/row_choice.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace torvale {

enum class PromptIcon { None, Information, Warning, Error, Question };

/// Buttons of a message box; the answer names the button pressed.
enum class PromptButtons { Ok, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Yes, No, Cancel };

/// A file dialog request.
struct FileDialogRequest {
    std::string title;
    std::string filterName;    // e.g. "模版文件 (*.dat)"
    std::string filterPattern; // e.g. "*.dat"
    std::string startFolder;
    std::string defaultSuffix; // save dialogs: "dat"
    /// Further filters offered after the first: (name, pattern) pairs.
    std::vector<std::pair<std::string, std::string>> moreFilters;
};

/// What the row picker shows.
struct RowPickerRequest {
    /// The rows that can be chosen, with the cells of the columns shown.
    RowChoices rows;
    /// Row numbers whose last made card had a problem ("上次有问题的行"); may be empty.
    std::vector<std::size_t> problemRows;
};

/// Every modal question the editor asks goes through this interface, so tests can answer.
class Prompts {
public:
    virtual ~Prompts() = default;

    /// A message box with a caption, an icon, a text and buttons; the button pressed (closing
    /// the box counts as Cancel, or No when there is no Cancel, or Ok).
    virtual PromptAnswer message(const std::string& caption, PromptIcon icon,
                                 const std::string& text, PromptButtons buttons) = 0;
    /// The same message box owned by another window than the main window: a dialog that is up
    /// at the time (the progress dialog during a batch), so the box stays above it.
    virtual PromptAnswer messageOver(QWidget* owner, const std::string& caption, PromptIcon icon,
                                     const std::string& text, PromptButtons buttons) = 0;
    /// A message box with three buttons of the given texts; 0, 1 or 2 for the button pressed.
    /// Closing the box (Esc, the close box) presses the last button.
    virtual int choice(const std::string& caption, PromptIcon icon, const std::string& text,
                       const std::vector<std::string>& buttons) = 0;
    /// Open-file dialog; nothing when cancelled.
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    /// Save-file dialog; nothing when cancelled.
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
    /// Colour chooser starting at a 0x00BBGGRR colour, owned by and centred over the owner
    /// window; without an owner, owned by the main window and centred on the screen. Nothing
    /// when cancelled.
    virtual std::optional<unsigned> chooseColor(unsigned initial, QWidget* owner) = 0;
    /// Folder browser with a title and a start folder; nothing when cancelled.
    virtual std::optional<std::string> browseFolder(const std::string& title,
                                                    const std::string& startFolder) = 0;
    /// Input dialog in a mode (the text is checked by the mode before it is accepted);
    /// nothing when cancelled.
    virtual std::optional<std::string> input(const std::string& title, const std::string& prompt,
                                             InputMode mode, const std::string& text) = 0;
    /// "按标准尺寸新建": a card size from the list or typed, its DPI and colour; nothing when
    /// cancelled.
    virtual std::optional<CardSizeChoice> chooseCardSize() = 0;
    /// "选择行": the data rows to make cards of, ticked in a list; their numbers ascending
    /// (at least one), or nothing when cancelled.
    virtual std::optional<std::vector<std::size_t>> chooseRows(const RowPickerRequest& request) = 0;
};

} // namespace torvale
