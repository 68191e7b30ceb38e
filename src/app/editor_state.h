#pragma once

#include "app/editor_document.h"
#include "app/watermarks.h"
#include "common/signal.h"
#include "model/template.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// The zoom levels of the canvas: the zoom menu's entries and the steps of Ctrl + wheel.
inline constexpr double kZoomLevels[] = {0.25, 0.5, 0.75, 1, 2, 3, 4, 5, 6, 7, 8};

/// The zoom one step larger or smaller than zoom: the next level beyond it that way (from a
/// zoom between two levels, the nearer of them that way); zoom itself past either end.
double steppedZoom(double zoom, bool larger);

/// The largest zoom at which a card fits a view of viewWidth x viewHeight screen pixels with
/// margin pixels to spare on every side, any value up to the largest level, rounded down to
/// thousandths (at least 0.01).
double fitZoom(std::int32_t cardWidth, std::int32_t cardHeight, int viewWidth, int viewHeight,
               int margin);

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

/// The status-bar text of a size: "%d x %d 像素".
std::string sizeStatusText(std::int32_t width, std::int32_t height);

/// Which layer property window is shown after a change.
enum class PropertyWindow { Unchanged, Text, Picture, Code, Shape, Hidden };

/// The property window that edits a layer of a type.
PropertyWindow propertyWindowOf(LayerType type);

/// What the window does after the selection changed; announced to the selection's listeners.
struct SelectionEffects {
    bool ignored = true;
    PropertyWindow propertyWindow = PropertyWindow::Unchanged;
    bool dismissBalloons = false;
    std::optional<std::string> statusPart2;        // nothing: part 2 keeps its text
    std::optional<std::size_t> scrollRowIntoView;  // list row
    std::optional<std::uint32_t> scrollCanvasToLayer; // layer id
    bool scrollCanvasToWatermark = false;             // the current watermark
    bool repaintCanvas = false;
};

/// The selection and the interaction state shared by the layer list and the design canvas: the
/// mode and the drag in progress (the canvas's), the current object and the marked layers (the
/// selection, named by Layer::id and changed only through its operations), the watermarks.
/// The layer list's rows mirror it.
class EditorState {
public:
    using Listener = std::function<void(const SelectionEffects&)>;

    CanvasMode mode = CanvasMode::Idle;
    DragKind drag = DragKind::None;

    /// The watermarks laid over the card and the watermark panel's switches: "水印层" (shown
    /// and picked) and "显示选区" (outlines of the others).
    WatermarkList watermarks;
    bool watermarksShown = true;
    bool watermarkOutlines = true;

    // ---- the selection

    CurrentKind currentKind() const { return m_currentKind; }
    /// The current layer, while a layer is the current object.
    const std::optional<LayerId>& currentLayer() const { return m_currentLayer; }
    const std::optional<std::uint32_t>& currentWatermark() const { return m_currentWatermark; }
    /// The marked layers: the layers selected in the list (one while a layer is current).
    const std::vector<LayerId>& marked() const { return m_marked; }
    bool isMarked(LayerId id) const
    {
        return std::find(m_marked.begin(), m_marked.end(), id) != m_marked.end();
    }
    /// The layer of the list's focus row, which inserting uses when several rows are selected.
    const std::optional<LayerId>& focusedLayer() const { return m_focusedLayer; }

    /// One layer current, marked alone.
    void setCurrentLayer(LayerId id)
    {
        m_currentKind = CurrentKind::Layer;
        m_currentLayer = id;
        m_marked = {id};
    }
    /// A watermark current; the marked layers stay as they are.
    void setCurrentWatermark(std::uint32_t id)
    {
        m_currentKind = CurrentKind::Watermark;
        m_currentLayer.reset();
        m_currentWatermark = id;
    }
    /// No current object; the marked layers stay.
    void clearCurrent()
    {
        m_currentKind = CurrentKind::None;
        m_currentLayer.reset();
        m_currentWatermark.reset();
    }
    /// Several layers marked (a band, a multiple selection), in this order.
    void setMarked(std::vector<LayerId> ids) { m_marked = std::move(ids); }
    /// Marks or unmarks one layer; a newly marked layer goes last.
    void mark(LayerId id, bool on)
    {
        std::erase(m_marked, id);
        if (on)
            m_marked.push_back(id);
    }
    void setFocusedLayer(std::optional<LayerId> id) { m_focusedLayer = id; }
    /// Nothing current, nothing marked, no focus row.
    void clearSelection()
    {
        clearCurrent();
        m_marked.clear();
        m_focusedLayer.reset();
    }
    /// Forgets the layers that no longer exist; true when the selection named one.
    bool forgetMissing(const std::function<bool(LayerId)>& exists)
    {
        const auto missing = [&](LayerId id) { return !exists(id); };
        bool named = std::erase_if(m_marked, missing) > 0;
        if (m_currentLayer && missing(*m_currentLayer)) {
            named = true;
            if (m_currentKind == CurrentKind::Layer)
                m_currentKind = CurrentKind::None;
            m_currentLayer.reset();
        }
        if (m_focusedLayer && missing(*m_focusedLayer)) {
            named = true;
            m_focusedLayer.reset();
        }
        return named;
    }

    /// No current object, mode Idle, no drag.
    void reset()
    {
        mode = CanvasMode::Idle;
        drag = DragKind::None;
        clearCurrent();
    }

    /// The current watermark, when a watermark is the current object.
    const Watermark* current() const
    {
        return m_currentKind == CurrentKind::Watermark && m_currentWatermark
                   ? watermarks.find(*m_currentWatermark)
                   : nullptr;
    }
    /// Delete deletes the current watermark while it is selected and not being dragged.
    bool deleteKeyDeletesWatermark() const
    {
        return mode == CanvasMode::WatermarkSelected && drag == DragKind::None;
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

    /// Registers a listener for selection changes, told until the subscription ends.
    Subscription subscribe(Listener listener);
    /// Tells every listener about a change of the selection (nothing for ignored effects).
    void announce(const SelectionEffects& effects) const;

private:
    CurrentKind m_currentKind = CurrentKind::None;
    std::optional<LayerId> m_currentLayer;
    std::optional<std::uint32_t> m_currentWatermark;
    std::vector<LayerId> m_marked;
    std::optional<LayerId> m_focusedLayer;
    Signal<SelectionEffects> m_changed;
};

/// One row of the layer list whose selected state may have changed.
struct RowSelectionChange {
    std::size_t row = 0;
    bool wasSelected = false;
    bool isSelected = false;
};

/// Applies one change of a layer row's selected state to the state. selectedRows are the rows
/// selected after the change. Ignored while layers are being deleted, while the canvas drags a
/// band, or when the row's state did not change. Announces nothing.
SelectionEffects applyLayerSelectionChange(EditorState& state, const std::vector<Layer>& layers,
                                           const std::vector<std::size_t>& selectedRows,
                                           const RowSelectionChange& change);

/// Applies several row changes reported together, in order; the effects of later changes win.
/// Announces the result.
SelectionEffects applyLayerSelectionChanges(EditorState& state, const std::vector<Layer>& layers,
                                            const std::vector<std::size_t>& selectedRows,
                                            const std::vector<RowSelectionChange>& changes);

/// Makes the given rows the selection, as the list reports it when its selection is cleared
/// and these rows selected: every row changed is reported, so selecting the current row again
/// repeats its effects. Announces the result.
SelectionEffects selectLayerRows(EditorState& state, const std::vector<Layer>& layers,
                                 std::vector<std::size_t> rows);

/// No current object, no layer marked, mode Idle, status part 2 empty, property windows hidden:
/// the state after the rows were rebuilt or the last layer was deleted. Announces the result.
SelectionEffects clearLayerSelection(EditorState& state);

/// Makes a watermark the current object (its row the one selected) or, with nothing, leaves no
/// current object: the layer rows lose their selection first. Announces the result.
SelectionEffects selectWatermark(EditorState& state, std::optional<std::uint32_t> id);

/// Enabled state and check marks of the layer menu, from the selected rows.
struct LayerMenuState {
    bool selectionItemsEnabled = false; // insert text/picture, copy, delete
    bool subMenusEnabled = false;       // "溢出样式" (a picture is marked)
    bool levelMenuEnabled = false;      // "层次" (a picture, code or shape is marked)
    std::optional<LayerLevel> checkedLevel;
    std::optional<OverflowStyle> checkedOverflow;
};

/// The layer menu's state for the marked layers (several: checks only where every marked layer
/// agrees).
LayerMenuState layerMenuState(const EditorState& state, const std::vector<Layer>& layers);

/// True when a row of the layer list is painted highlighted: the marked layers while the canvas
/// drags a band or holds several layers, otherwise the current row while a layer is current.
bool isLayerRowHighlighted(const EditorState& state, const std::vector<Layer>& layers,
                           std::size_t row, std::optional<std::size_t> currentRow);

/// The list's current row: the focused row when it is selected, else the first selected row.
std::optional<std::size_t> currentListRow(std::optional<std::size_t> focusedRow,
                                          const std::vector<std::size_t>& selectedRows);

/// Keeps the selection in step with the document: a new or opened template leaves nothing
/// selected; when layers the selection names are removed (an undo, say), the layers still
/// there stay selected. Announces the results; the selection follows until the subscription
/// ends.
Subscription followDocument(EditorState& state, EditorDocument& document);

/// "显示选区" can be changed only while "显示图片" is on.
inline bool isShowSelectAreaEditable(const Template& tpl)
{
    return tpl.pictures_show_picture;
}

} // namespace torvale
