#include "app/card_sizes.h"

#include "app/panel_rules.h"
#include "model/settings.h"
#include "render/picture_input.h"

#include <cstdlib>

namespace torvale {

namespace {

// A size text that reads whole as a number above 0.
bool isPositiveNumber(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && value > 0;
}

} // namespace

CardSizeChoice cardSizeChoice(const CardSizePreset& preset, std::int32_t dpi, std::uint32_t color)
{
    return {preset.width, preset.height, preset.unit, dpi, color};
}

void makeCardCanvas(BackgroundLayer& background, const CardSizeChoice& choice)
{
    background.unit = choice.unit;
    setBackgroundSizeTexts(background, choice.width, choice.height, choice.dpi);
    makeCustomCanvas(background, BackgroundColorMode::White);
    if (choice.color != 0xFFFFFF)
        applyChosenColor(background, choice.color);
}

bool isUsableCardSize(const CardSizeChoice& choice)
{
    if (choice.dpi < kMinDpi || choice.dpi > kMaxDpi || !isPositiveNumber(choice.width) ||
        !isPositiveNumber(choice.height))
        return false;
    BackgroundLayer background;
    makeCardCanvas(background, choice);
    return withinCanvasLimits(background.width, background.height);
}

} // namespace torvale
