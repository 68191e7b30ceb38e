#pragma once

// The command ids live in the core; the settings column's control ids are the editor's own.
#include "app/commands.h"

namespace torvale {

/// The controls of the settings column; each panel handles the ids of its own controls.
enum class ControlId : int {
    CanvasContainer = 36100,
    SettingsColumn = 36101,
    BackgroundPath = 36102,
    ChooseBackground = 36103,
    BackgroundWidth = 36104,
    BackgroundHeight = 36105,
    BackgroundUnit = 36106,
    BackgroundColor = 36107,
    BackgroundSwatch = 36108,
    BackgroundPicture = 36109,
    BackgroundCustom = 36110,
    LayerList = 36111,
    CsvPath = 36112,
    ChooseCsv = 36113,
    TrimCsv = 36114,
    ShowSelectArea = 36117,
    ShowPicture = 36118,
    OutputFormat = 36120,
    Transparent = 36121,
    Png8 = 36122,
    PaletteSize = 36123,
    OutputFolder = 36124,
    ChooseOutputFolder = 36125,
    FileNameColumn1 = 36126,
    FileNameColumn2 = 36127,
};

} // namespace torvale
