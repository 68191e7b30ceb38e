#pragma once

#include "model/template.h"

#include <cstdint>
#include <string>

namespace torvale {

/// A card size people print, offered by "按标准尺寸新建...".
struct CardSizePreset {
    const char* label;
    const char* width; // the size texts in the unit, as the background panel shows them
    const char* height;
    SizeUnit unit;
};

inline constexpr CardSizePreset kCardSizePresets[] = {
    {"85.6 x 54 mm（ID-1 证件卡）", "85.6", "54", SizeUnit::Millimetre},
    {"54 x 85.6 mm（ID-1 竖版）", "54", "85.6", SizeUnit::Millimetre},
    {"90 x 54 mm（名片）", "90", "54", SizeUnit::Millimetre},
    {"90 x 50 mm", "90", "50", SizeUnit::Millimetre},
    {"100 x 70 mm（会议胸卡）", "100", "70", SizeUnit::Millimetre},
    {"105 x 148 mm（A6）", "105", "148", SizeUnit::Millimetre},
    {"4 x 3 in", "4", "3", SizeUnit::Inch},
};

/// The DPI a new card of a standard size starts with.
inline constexpr std::int32_t kCardSizeDefaultDpi = 300;

/// The size, resolution and colour of a new card.
struct CardSizeChoice {
    std::string width = kCardSizePresets[0].width;
    std::string height = kCardSizePresets[0].height;
    SizeUnit unit = kCardSizePresets[0].unit;
    std::int32_t dpi = kCardSizeDefaultDpi;
    std::uint32_t color = 0xFFFFFF; // 0x00BBGGRR; white is the plain white canvas

    friend bool operator==(const CardSizeChoice&, const CardSizeChoice&) = default;
};

/// The choice of a preset at a DPI and colour.
CardSizeChoice cardSizeChoice(const CardSizePreset& preset, std::int32_t dpi, std::uint32_t color);

/// Makes the background the blank canvas of a choice: its size texts in its unit at its DPI (so
/// that the card printed at that DPI has the named size), white or the chosen colour.
void makeCardCanvas(BackgroundLayer& background, const CardSizeChoice& choice);

/// Whether a choice makes a card: the DPI in 1..1200, both sizes numbers above 0 and the pixel
/// size within what the image library draws.
bool isUsableCardSize(const CardSizeChoice& choice);

} // namespace torvale
