#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace torvale {

/// Every command of the editor: menus, context menus, keys, the start button and the canvas all
/// end in the editor's command table with one of these.
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
    NewCodeLayer = 35312,     // 新建 码: a QR code or barcode layer
    InsertCodeLayer = 35313,  // 插入 码
    NewShapeLayer = 35314,    // 新建 形: a rectangle or ellipse
    InsertShapeLayer = 35315, // 插入 形

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
    AlignCentreX = 35341, // 水平居中
    AlignCentreY = 35342, // 垂直居中
    AlignCardCentreX = 35343,
    AlignCardCentreY = 35344,
    SpreadX = 35345, // 横向等距分布
    SpreadY = 35346,
    SameWidth = 35347, // 等宽
    SameHeight = 35348,
    ZoomToFit = 35349,       // 适合窗口 (zoom menu, Ctrl+0)
    NewFromCardSize = 35350, // 文件 menu: "按标准尺寸新建..."

    CompletedAlert = 35408,
    FontMapping = 35409,
    LevelAbove = 35410,
    LevelBelow = 35411,
    OverflowShrink = 35412, // 等比例缩小 (0)
    OverflowScale = 35413,  // 等比例缩放 (4)
    OverflowFill = 35414,   // 填充式缩放 (1)
    OverflowCropTopLeft = 35415,
    OverflowCropCentre = 35416,
    OverflowCover = 35417, // 等比例填满 (5)
    LayerTypeText = 35418,
    LayerTypePicture = 35419,
    SelectAllLayers = 35420, // Ctrl+A on the canvas or the layer list
    WatermarkPanel = 35421,  // 设置 menu: show or hide the watermark panel
    Undo = 35422,            // 编辑 menu
    Redo = 35423,
    PrintSheet = 35424, // 文件 menu: the cards laid out on pages of a PDF file
    Snapping = 35428,   // 设置 menu: "吸附对齐", dragging snaps to the card and the layers
    CheckRows = 35430,  // 文件 menu: "检查数据..."

    // The canvas's context menu: "图层 n" and "水印 n" select that layer or watermark.
    PickLayerFirst = 35701, // 35701..35799: 图层 1 .. 99
    PickLayerLast = 35799,
    PickWatermarkFirst = 35801, // 35801..35899: 水印 1 .. 99
    PickWatermarkLast = 35899,

    StartBatch = 36128, // the "开始处理" button
};

/// A run of consecutive commands that differ only by a number (recent file i, zoom level i,
/// the ith pick of the context menu): one handler serves them all and receives the index.
struct CommandRange {
    CommandId first;
    CommandId last;

    /// How many ids the range holds.
    constexpr std::size_t size() const
    {
        return static_cast<std::size_t>(static_cast<int>(last) - static_cast<int>(first) + 1);
    }
    /// The id of entry i (0-based); i is below size().
    constexpr CommandId at(std::size_t i) const
    {
        return static_cast<CommandId>(static_cast<int>(first) + static_cast<int>(i));
    }
    /// The 0-based index of an id in the range; nothing for an id outside it.
    constexpr std::optional<std::size_t> indexOf(CommandId id) const
    {
        if (id < first || id > last)
            return std::nullopt;
        return static_cast<std::size_t>(static_cast<int>(id) - static_cast<int>(first));
    }
};

inline constexpr CommandRange kRecentFileCommands{CommandId::RecentFirst, CommandId::RecentLast};
inline constexpr CommandRange kZoomCommands{CommandId::Zoom25, CommandId::Zoom800};
inline constexpr CommandRange kDpiPresetCommands{CommandId::Dpi350, CommandId::Dpi72};
/// Index i picks layer or watermark number i + 1.
inline constexpr CommandRange kPickLayerCommands{CommandId::PickLayerFirst,
                                                 CommandId::PickLayerLast};
inline constexpr CommandRange kPickWatermarkCommands{CommandId::PickWatermarkFirst,
                                                     CommandId::PickWatermarkLast};

/// What each command does: a handler per command id, or one per range of ids.
class CommandTable {
public:
    using Handler = std::function<void()>;
    using IndexedHandler = std::function<void(std::size_t index)>;

    /// Registers the handler of one command; a later registration of the id replaces it.
    void add(CommandId id, Handler handler);
    /// Registers one handler for every id of a range; it is called with the id's index in the
    /// range. A later registration of any of the ids replaces it for that id.
    void addRange(CommandRange range, IndexedHandler handler);
    /// Whether the id has a handler.
    bool contains(CommandId id) const;
    /// Runs the id's handler and returns true; an id without one is reported on stderr
    /// ("unknown command %d") and gives false.
    bool run(CommandId id) const;

private:
    struct Entry {
        std::shared_ptr<const IndexedHandler> handler;
        std::size_t index = 0;
    };
    std::unordered_map<int, Entry> m_entries;
};

} // namespace torvale
