#pragma once

#include "model/template.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// The zoom levels of the canvas: the zoom menu's entries and the steps of Ctrl + wheel.
inline constexpr double kZoomLevels[] = {0.25, 0.5, 0.75, 1, 2, 3, 4, 5, 6, 7, 8};

/// The zoom one step larger or smaller than zoom; zoom itself at a custom zoom (not one of the
/// levels) or at either end.
double steppedZoom(double zoom, bool larger);

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
    /// Set while selected layers are being deleted: the list's selection changes are ignored.
    bool deletingLayers = false;

    /// No current object, mode Idle, no drag.
    void reset()
    {
        mode = CanvasMode::Idle;
        drag = DragKind::None;
        currentKind = CurrentKind::None;
        currentLayer.reset();
    }

    /// Delete (from a control that does not edit text) deletes layers: a layer being placed,
    /// several selected layers, or one selected layer that is not being dragged.
    bool deleteKeyDeletesLayers() const
    {
        return mode == CanvasMode::PlacingLayer || mode == CanvasMode::MultiSelected ||
               (mode == CanvasMode::LayerSelected && drag == DragKind::None);
    }
    /// Esc takes back a new layer that is being placed or drawn.
    bool escapeCancelsNewLayer() const
    {
        return mode == CanvasMode::PlacingLayer || mode == CanvasMode::DrawingLayer;
    }
};

/// Which layer property window is shown after a change.
enum class PropertyWindow { Unchanged, Text, Picture, Hidden };

/// One row of the layer list whose selected state may have changed.
struct RowSelectionChange {
    std::size_t row = 0;
    bool wasSelected = false;
    bool isSelected = false;
};

/// What the window does after the layer list's selection changed.
struct SelectionEffects {
    bool ignored = true;
    PropertyWindow propertyWindow = PropertyWindow::Unchanged;
    bool dismissBalloons = false;
    std::optional<std::string> statusPart2;         // nothing: part 2 keeps its text
    std::optional<std::size_t> scrollRowIntoView;   // list row
    std::optional<std::size_t> scrollCanvasToLayer; // layer index
    bool repaintCanvas = false;
};

/// Applies one change of a layer row's selected state to the state and the layers' marked
/// flags. selectedRows are the rows selected after the change. Ignored while layers are being
/// deleted, while the canvas drags a band, or when the row's state did not change.
SelectionEffects applyLayerSelectionChange(EditorState& state, std::vector<Layer>& layers,
                                           const std::vector<std::size_t>& selectedRows,
                                           const RowSelectionChange& change);

/// Applies several row changes reported together, in order; the effects of later changes win.
SelectionEffects applyLayerSelectionChanges(EditorState& state, std::vector<Layer>& layers,
                                            const std::vector<std::size_t>& selectedRows,
                                            const std::vector<RowSelectionChange>& changes);

/// No current object, no layer marked, mode Idle, status part 2 empty, property windows hidden:
/// the state after the rows were rebuilt or the last layer was deleted.
SelectionEffects clearLayerSelection(EditorState& state, std::vector<Layer>& layers);

/// Enabled state and check marks of the layer menu, from the selected rows.
struct LayerMenuState {
    bool selectionItemsEnabled = false; // insert text/picture, copy, delete
    bool subMenusEnabled = false;       // "层次" and "溢出样式"
    std::optional<LayerLevel> checkedLevel;
    std::optional<OverflowStyle> checkedOverflow;
};

/// The layer menu's state for the selected rows (several rows: checks only where every marked
/// layer agrees).
LayerMenuState layerMenuState(const std::vector<Layer>& layers,
                              const std::vector<std::size_t>& selectedRows);

/// True when a row of the layer list is painted highlighted: the marked layers while the canvas
/// drags a band or holds several layers, otherwise the current row while a layer is current.
bool isLayerRowHighlighted(const EditorState& state, const std::vector<Layer>& layers,
                           std::size_t row, std::optional<std::size_t> currentRow);

/// The list's current row: the focused row when it is selected, else the first selected row.
std::optional<std::size_t> currentListRow(std::optional<std::size_t> focusedRow,
                                          const std::vector<std::size_t>& selectedRows);

/// Sets the "显示图片" switch; switching it off turns "显示选区" on, so layers stay visible as
/// outlines.
void setShowPicture(Template& tpl, bool on);

/// "显示选区" can be changed only while "显示图片" is on.
inline bool isShowSelectAreaEditable(const Template& tpl)
{
    return tpl.pictures_show_picture;
}

} // namespace torvale
