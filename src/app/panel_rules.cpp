#include "app/panel_rules.h"

#include "common/text.h"
#include "model/settings.h"
#include "render/picture_input.h"

#include <algorithm>
#include <cstdlib>

namespace torvale {

namespace {

constexpr std::size_t kSizeTextMaxUnits = 7;

bool isDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

// The unit's name as the unit box shows it.
const char* unitName(SizeUnit unit)
{
    switch (unit) {
    case SizeUnit::Centimetre:
        return "厘米";
    case SizeUnit::Millimetre:
        return "毫米";
    case SizeUnit::Inch:
        return "英寸";
    case SizeUnit::Pixel:
        break;
    }
    return "像素";
}

// The size text of at most this many pixels: at a high dpi the last decimal is more than a
// pixel, and the rounded text could stand for one pixel too many.
std::string sizeTextWithin(std::int32_t pixels, SizeUnit unit, std::int32_t dpi)
{
    std::string text = pixelsToSizeText(pixels, unit, dpi);
    for (std::int32_t p = pixels - 1; p >= 1 && sizeToPixels(text, unit, dpi) > pixels; --p)
        text = pixelsToSizeText(p, unit, dpi);
    return text;
}

} // namespace

std::string steppedFieldText(std::string_view text, bool up, int minimum, int maximum)
{
    if (text.empty())
        return std::to_string(up ? minimum : 1);
    const std::string head(text.substr(0, 7));
    const long value = std::strtol(head.c_str(), nullptr, 10);
    const long stepped = up ? std::max<long>(value - 1, minimum) : std::min<long>(value + 1, maximum);
    return std::to_string(stepped);
}

std::string qualityLabelText(long quality)
{
    const char* format = quality >= 90 ? "%ld(高)" : quality >= 60 ? "%ld(中)" : "%ld(低)";
    return formatText(format, quality);
}

SizeFieldLimits sizeFieldLimits(SizeUnit unit)
{
    switch (unit) {
    case SizeUnit::Pixel:
        return {4, 5, true};
    case SizeUnit::Centimetre:
    case SizeUnit::Millimetre:
        return {6, 6, false};
    case SizeUnit::Inch:
        return {7, 7, false};
    }
    return {};
}

bool acceptsTypedCharacter(char16_t ch, int selectionStart, bool digitsOnly)
{
    // Backspace, Enter, and Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z.
    constexpr char16_t kEditingControls[] = {0x08, 0x0D, 0x03, 0x16, 0x18, 0x1A};
    if (isDigit(ch) || std::find(std::begin(kEditingControls), std::end(kEditingControls), ch) !=
                           std::end(kEditingControls))
        return true;
    return !digitsOnly && ch == u'.' && selectionStart > 0;
}

bool acceptsPastedText(std::string_view result, bool digitsOnly)
{
    if (digitsOnly)
        return std::all_of(result.begin(), result.end(), [](char c) { return isDigit(c); });
    std::size_t pos = 0;
    if (pos < result.size() && result[pos] == '-')
        ++pos;
    if (pos >= result.size() || !isDigit(result[pos]))
        return false;
    bool point = false;
    for (++pos; pos < result.size(); ++pos) {
        if (result[pos] == '.' && !point)
            point = true;
        else if (!isDigit(result[pos]))
            return false;
    }
    return true;
}

void setBackgroundSizeTexts(BackgroundLayer& background, const std::string& width,
                            const std::string& height, std::int32_t currentDpi)
{
    background.dpi = currentDpi;
    background.szWidth = truncateUtf16Units(width, kSizeTextMaxUnits);
    background.szHeight = truncateUtf16Units(height, kSizeTextMaxUnits);
    updateCustomCanvasSize(background);
}

void switchBackgroundUnit(BackgroundLayer& background, SizeUnit unit)
{
    background.unit = unit;
    background.szWidth = truncateUtf16Units(
        pixelsToSizeText(background.width, unit, background.dpi), kSizeTextMaxUnits);
    background.szHeight = truncateUtf16Units(
        pixelsToSizeText(background.height, unit, background.dpi), kSizeTextMaxUnits);
}

bool isDrawableCanvas(const BackgroundLayer& background)
{
    return withinCanvasLimits(background.width, background.height);
}

std::string largestCanvasText(const BackgroundLayer& background, bool widthTyped)
{
    const std::int64_t kept = std::clamp<std::int64_t>(
        widthTyped ? background.height : background.width, 1, kMaxPictureSide);
    const std::int64_t typed = std::min(kMaxPictureSide, kMaxPicturePixels / kept);
    const auto text = [&](std::int64_t pixels) {
        return sizeTextWithin(static_cast<std::int32_t>(pixels), background.unit, background.dpi);
    };
    const std::int64_t width = widthTyped ? typed : kept;
    const std::int64_t height = widthTyped ? kept : typed;
    return formatText("最大 %s x %s %s", text(width).c_str(), text(height).c_str(),
                      unitName(background.unit));
}

std::string backgroundColorText(const BackgroundLayer& background)
{
    switch (background.colorMode) {
    case BackgroundColorMode::White:
        return "#ffffff";
    case BackgroundColorMode::Transparent:
        return "none";
    case BackgroundColorMode::Chosen:
        break;
    }
    return colorToHtml(background.chosenColor);
}

void applyChosenColor(BackgroundLayer& background, std::uint32_t color)
{
    background.chosenColor = color;
    setBackgroundColorMode(background, BackgroundColorMode::Chosen);
}

std::optional<BackgroundColorMode> colorModeAfterCancel(std::string_view colorText)
{
    if (colorText == "#ffffff")
        return BackgroundColorMode::White;
    if (colorText == "none")
        return BackgroundColorMode::Transparent;
    return std::nullopt;
}

void makeCustomCanvas(BackgroundLayer& background, BackgroundColorMode mode)
{
    background.kind = BackgroundKind::Custom;
    background.picture.reset();
    updateCustomCanvasSize(background);
    setBackgroundColorMode(background, mode);
}

void usePlaceholderPicture(BackgroundLayer& background)
{
    // An empty path never decodes, so this stores the placeholder.
    loadBackgroundPicture(std::string(), background);
}

int fileNameEntryIndex(const std::vector<std::string>& columns, std::string_view previous)
{
    if (previous.empty())
        return 0;
    const auto it = std::find_if(columns.begin(), columns.end(), [&](const std::string& column) {
        return equalsIgnoreCase(column, previous);
    });
    return it == columns.end() ? 0 : static_cast<int>(it - columns.begin()) + 1;
}

OutputVisibility outputVisibility(std::string_view formatText, bool png8Checked)
{
    if (equalsIgnoreCase(formatText, "JPG"))
        return {true, false, false};
    return {false, true, png8Checked};
}

std::optional<std::pair<int, int>> settleFolderBrowserSize(FolderBrowserSize& state, int maxWidth,
                                                           int maxHeight, int recordedWidth,
                                                           int recordedHeight)
{
    const int wantedWidth = static_cast<int>(maxWidth * 0.4);
    const int wantedHeight = static_cast<int>(maxHeight * 0.55);
    if (recordedWidth >= 0 && recordedHeight >= 0) {
        if (!state.settled && recordedWidth < wantedWidth && recordedHeight < wantedHeight) {
            state = {true, wantedWidth, wantedHeight};
        } else if (recordedWidth < maxWidth && recordedHeight < maxHeight) {
            state = {true, recordedWidth, recordedHeight};
        }
    }
    if (state.width < 0 || state.height < 0)
        return std::nullopt;
    return std::pair{state.width, state.height};
}

std::optional<std::pair<int, int>> settleFolderBrowserSize(FolderBrowserSize& state, int maxWidth,
                                                           int maxHeight,
                                                           const SettingsStore& store)
{
    const auto stored = storedFolderBrowserSize(store);
    if (!stored)
        return settleFolderBrowserSize(state, maxWidth, maxHeight, -1, -1);
    const bool wasSettled = state.settled;
    auto size = settleFolderBrowserSize(state, maxWidth, maxHeight, stored->first, stored->second);
    // Only the first-time raise changes the width; it must be stored before it counts.
    const bool raised = !wasSettled && state.settled && state.width != stored->first;
    if (raised && !writeFolderBrowserSize(store, state.width, state.height)) {
        state.width = state.height = -1;
        return std::nullopt;
    }
    return size;
}

} // namespace torvale
