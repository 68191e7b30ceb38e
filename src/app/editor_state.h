#pragma once

#include <cstddef>
#include <optional>

namespace torvale {

/// What the design canvas is doing.
enum class CanvasMode {
    Idle,
    PlacingLayer,
    DrawingLayer,
    LayerSelected,
    WatermarkSelected,
    BandArmed,
    BandDragging,
    MultiSelected,
};

/// The drag in progress between a press that grabbed something and the release.
enum class DragKind {
    None,
    MoveLayer,
    TopLeft,
    Left,
    BottomLeft,
    Top,
    Bottom,
    TopRight,
    Right,
    BottomRight,
    MoveWatermark,
    MoveGroup,
};

enum class CurrentKind { None, Layer, Watermark };

/// The interaction state shared by the layer list and the design canvas: the mode, the drag in
/// progress and the current object. The list drives it now; the canvas will drive it too.
struct EditorState {
    CanvasMode mode = CanvasMode::Idle;
    DragKind drag = DragKind::None;
    CurrentKind currentKind = CurrentKind::None;
    std::optional<std::size_t> currentLayer; // index of the current layer

    /// No current object, mode Idle, no drag.
    void reset()
    {
        mode = CanvasMode::Idle;
        drag = DragKind::None;
        currentKind = CurrentKind::None;
        currentLayer.reset();
    }
};

} // namespace torvale
