#pragma once

#include "common/settings_store.h"
#include "model/template.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// The quality slider's value label: "%ld(高)" for 90..100, "%ld(中)" for 60..89, "%ld(低)" below.
std::string qualityLabelText(long quality);

/// A numeric field's text after Up or Down. Up lowers the value by 1, not below the minimum,
/// and makes an empty field the minimum; Down raises it by 1, not above the maximum, and makes
/// an empty field 1. The text is read as at most 7 characters, as a decimal integer.
std::string steppedFieldText(std::string_view text, bool up, int minimum, int maximum);

/// Input rules of the two background size fields in a unit.
struct SizeFieldLimits {
    int widthMaxLength = 4;
    int heightMaxLength = 5;
    /// Pixels take digits only; the other units take the decimal filter.
    bool digitsOnly = true;
};

/// The size-field limits of a unit.
SizeFieldLimits sizeFieldLimits(SizeUnit unit);

/// Whether a size field takes a typed character (a UTF-16 unit; control characters included)
/// when the selection starts at selectionStart. Digits-only fields take digits and the editing
/// control characters; decimal fields also take "." anywhere but at the start.
bool acceptsTypedCharacter(char16_t ch, int selectionStart, bool digitsOnly);

/// Whether a size field takes a paste whose result (the field's text with the pasted text in
/// place of the selection) is the given text: digits only, or a number for decimal fields (an
/// optional "-", a digit, then digits with at most one ".").
bool acceptsPastedText(std::string_view result, bool digitsOnly);

/// Sets the background size from the two field texts: the background takes the current DPI,
/// the texts (at most 7 characters) become szWidth/szHeight and the pixels follow.
void setBackgroundSizeTexts(BackgroundLayer& background, const std::string& width,
                            const std::string& height, std::int32_t currentDpi);

/// Switches the background's unit, rewriting szWidth/szHeight from the unchanged pixel size at
/// the background's own dpi.
void switchBackgroundUnit(BackgroundLayer& background, SizeUnit unit);

/// Whether cards can be drawn at the background's pixel size (the image library makes canvases
/// only within its size limits).
bool isDrawableCanvas(const BackgroundLayer& background);

/// The largest drawable canvas as "最大 W x H 单位" in the background's unit at its dpi: the side
/// being typed in (the width when widthTyped) as large as the limits allow beside the other
/// side, which is kept unless it is too large on its own.
std::string largestCanvasText(const BackgroundLayer& background, bool widthTyped);

/// The panel's colour text of a background: "#ffffff" (white), "none" (transparent) or the
/// chosen colour as "#RRGGBB".
std::string backgroundColorText(const BackgroundLayer& background);

/// A colour picked in the colour dialog becomes the chosen and the drawing colour.
void applyChosenColor(BackgroundLayer& background, std::uint32_t color);

/// The colour box entry to go back to when the colour dialog is cancelled: white or transparent
/// for those colour texts, nothing (the box stays on "选择") after a chosen colour.
std::optional<BackgroundColorMode> colorModeAfterCancel(std::string_view colorText);

/// A custom canvas: kind, pixel size from its size texts at its own dpi, colour mode of the
/// colour box.
void makeCustomCanvas(BackgroundLayer& background, BackgroundColorMode mode);

/// Puts the 1 x 1 white placeholder picture into the background.
void usePlaceholderPicture(BackgroundLayer& background);

/// Index to select in a file-name box holding an empty first entry and then the columns: the
/// entry whose text equals previous (ASCII case ignored), else 0.
int fileNameEntryIndex(const std::vector<std::string>& columns, std::string_view previous);

/// Which output-panel controls are shown.
struct OutputVisibility {
    bool jpgControls = true;  // colour space, quality
    bool pngControls = false; // "透明度", "PNG-8"
    bool palette = false;     // "颜色：" and the palette-size box
};

/// The controls shown for a format box text ("JPG", case ignored, or anything else for PNG)
/// and the state of "PNG-8".
OutputVisibility outputVisibility(std::string_view formatText, bool png8Checked);

/// The folder browser's size for this process.
struct FolderBrowserSize {
    bool settled = false;
    int width = -1; // -1 while no size is known
    int height = -1;
};

/// Settles the folder browser's size from the size it had last (recorded) and the available
/// screen (maxWidth x maxHeight): the first time in a process a size below 40% x 55% is raised
/// to that; otherwise a recorded size that fits is kept. Returns the size to open at, if any.
std::optional<std::pair<int, int>> settleFolderBrowserSize(FolderBrowserSize& state, int maxWidth,
                                                           int maxHeight, int recordedWidth,
                                                           int recordedHeight);

/// The same rule over the size kept in the settings (the size the browser had when it was last
/// closed, see writeFolderBrowserSize). A size raised the first time is stored, and used only
/// when it could be stored; nothing stored leaves the state as it was.
std::optional<std::pair<int, int>> settleFolderBrowserSize(FolderBrowserSize& state, int maxWidth,
                                                           int maxHeight,
                                                           const SettingsStore& store);

} // namespace torvale
