#pragma once

namespace torvale {

/// Every command of the editor: menus, context menus, keys, the start button and the canvas all
/// end in MainWindow::execute with one of these.
enum class CommandId : int {
    ToggleLog = 131,

    NewTemplate = 35200,
    OpenTemplate = 35201,
    SaveTemplate = 35202,
    SaveTemplateAs = 35203,
    Exit = 35204,
    RecentSeparator = 35205,
    ExitSeparator = 35206,
    RecentFirst = 35207, // 35207..35215: recent file 1..9
    RecentLast = 35215,
    UserGuide = 35216,
    DesktopShortcut = 35217,
    WebSite = 35218,
    About = 35219,

    NewTextLayer = 35300,
    NewPictureLayer = 35301,
    InsertTextLayer = 35302,
    InsertPictureLayer = 35303,
    CopyLayers = 35304,
    DeleteLayers = 35305,
    NewWatermark = 35306,
    InsertWatermark = 35307,
    EditWatermark = 35308,
    ChangeWatermarkPicture = 35309,
    DeleteWatermark = 35310,
    Refresh = 35311,

    Zoom25 = 35319, // 35319..35329: 25% .. 800%
    Zoom800 = 35329,
    CustomDpi = 35330,
    Dpi350 = 35331,
    Dpi300 = 35332,
    Dpi150 = 35333,
    Dpi120 = 35334,
    Dpi96 = 35335,
    Dpi72 = 35336,

    AlignTop = 35337,
    AlignBottom = 35338,
    AlignLeft = 35339,
    AlignRight = 35340,

    CompletedAlert = 35408,
    FontMapping = 35409,
    LevelAbove = 35410,
    LevelBelow = 35411,
    OverflowShrink = 35412,  // 等比例缩小 (0)
    OverflowScale = 35413,   // 等比例缩放 (4)
    OverflowFill = 35414,    // 填充式缩放 (1)
    OverflowCropTopLeft = 35415,
    OverflowCropCentre = 35416,
    LayerTypeText = 35418,
    LayerTypePicture = 35419,
    SelectAllLayers = 35420, // Ctrl+A on the canvas or the layer list
    WatermarkPanel = 35421,  // 设置 menu: show or hide the watermark panel
    Undo = 35422,            // 编辑 menu
    Redo = 35423,
    PrintSheet = 35424,      // 文件 menu: the cards laid out on pages of a PDF file
    CheckRows = 35430,       // 文件 menu: "检查数据..."

    StartBatch = 36128, // the "开始处理" button
};

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
