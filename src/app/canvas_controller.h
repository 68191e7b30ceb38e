#pragma once

#include "app/canvas_tools.h"
#include "app/commands.h"
#include "app/editor_document.h"
#include "app/editor_state.h"
#include "app/layer_arrange.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// One entry of the canvas's context menu.
struct ContextMenuEntry {
    enum class Kind { Item, Separator, AlignMenu, LevelMenu, OverflowMenu };
    Kind kind = Kind::Item;
    std::optional<CommandId> command; // nothing: an item that does nothing
    std::string text;
    bool checked = false;
    bool enabled = true;
    /// AlignMenu: the entries of the sub-menu.
    std::vector<ContextMenuEntry> items = {};
};

/// The design canvas without a window, in card pixels: it hands the mouse and the keys to the
/// tool of the canvas mode (selecting, moving and resizing; drawing a new layer's rectangle;
/// band selection), pans with the space bar, and offers alignment and the context menu.
/// Geometry edits go to the document and selections to the editor state, so the layer list and
/// the canvas follow their announcements; the widget turns Qt events into these calls and
/// carries out the returned effects.
class CanvasController {
public:
    /// Space in screen pixels left of and above a card that does not fit.
    static constexpr int kMargin = 32;
    /// Width of a resize handle's grab zone in screen pixels.
    static constexpr int kHandleZone = kHandleZoneScreen;

    CanvasController(EditorDocument& document, EditorState& state);

    double zoom() const { return m_context.zoom; }
    /// Sets the zoom factor; false when it is the current one.
    bool setZoom(double zoom);
    std::int32_t cardWidth() const;
    std::int32_t cardHeight() const;

    /// The topmost layer whose rectangle holds the point: left and right edges count, the top
    /// edge does not, the bottom edge does.
    std::optional<LayerId> pickAt(CardPoint p) const;
    /// The topmost watermark holding the point (by the same rule), while watermarks are shown.
    std::optional<std::uint32_t> pickWatermarkAt(CardPoint p) const;
    /// What a press at the point grabs of the current object or the marked layers.
    DragKind hitTestCurrent(CardPoint p) const;
    /// The cursor for the grab at the point.
    CanvasCursor cursorFor(CardPoint p) const;
    /// The cursor shown over the canvas now.
    CanvasCursor cursorShown(bool pointerOverCanvas, bool ctrlHeld) const;

    CanvasEffects press(CardPoint p, KeyModifiers modifiers);
    CanvasEffects move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown);
    CanvasEffects release(CardPoint p);
    /// The pointer left the canvas.
    CanvasEffects leave();
    /// Whether a move with the left button down scrolls the view when it leaves the canvas.
    bool autoScrolls() const;

    /// An arrow key (dx, dy one of the four unit steps).
    CanvasEffects arrowKey(int dx, int dy, KeyModifiers modifiers);
    /// Esc during a drag puts the geometry saved at the press back (consumed); otherwise Esc is
    /// not used here.
    CanvasEffects escape();
    /// Ctrl pressed or released (the cursor of a multiple selection).
    CanvasEffects ctrlKey(bool down, std::optional<CardPoint> pointer);

    PanState pan() const { return m_pan.state(); }
    /// Space pressed: arms panning when nothing else is going on; true when it was armed.
    bool spaceDown(bool leftButtonDown);
    /// Space released: an armed pan is off again.
    void spaceUp();
    /// A press while armed starts panning from a screen point.
    void beginPan(int screenX, int screenY);
    /// The scroll distance of a pan move to a screen point (previous minus current).
    std::pair<int, int> panTo(int screenX, int screenY);
    /// The release of a pan: armed again while Space is still down.
    void endPan(bool spaceStillDown);

    /// Lines up, spreads or sizes the marked layers (those with a rectangle) as one undo step:
    /// on the menu's reference layer, else on the box around them (sizes: the first layer's);
    /// nothing when the arrangement does not apply to their number. Layers may go partly
    /// outside the card.
    CanvasEffects arrange(Arrangement arrangement);
    /// The context menu for a right click at a point; sets the alignment reference.
    std::vector<ContextMenuEntry> contextMenu(CardPoint p);
    /// "图层 %d": selects the layer of that number alone.
    void pickLayerNumber(int number);
    /// "水印 %d": selects the watermark of that number.
    void pickWatermarkNumber(int number);
    /// A double click: true when it lies inside the current watermark (its picture is then
    /// replaced).
    bool doubleClickReplacesWatermark(CardPoint p) const;

    /// The rectangle of the layer being placed or drawn (width and height may be -1 or
    /// negative), while it has not been stored in the layer yet.
    std::optional<LayerRect> draftRect() const;
    /// The layer's rectangle as shown: the draft for the layer being drawn, else its own.
    LayerRect shownRect(const Layer& layer) const;
    /// The band's corners while it is dragged.
    std::pair<CardPoint, CardPoint> band() const
    {
        return {m_context.bandStart, m_context.bandEnd};
    }
    bool pointerInCard() const { return m_context.pointerInCard; }
    /// The line shown at the top of the canvas while a new layer waits for the press that
    /// starts drawing it; empty otherwise.
    std::string hint() const;

    /// The guide lines of the snap that holds during a drag (card pixels).
    const SnapGuides& guides() const { return m_context.guides; }

private:
    /// The 对齐 sub-menu for a number of marked layers, its entries enabled where they apply.
    static ContextMenuEntry alignMenu(std::size_t markedCount);
    /// The drag ended: its guides go.
    void dropGuides(CanvasEffects& effects);

    /// The tool of the current mode.
    const CanvasTool& tool() const;
    CanvasTool& tool();

    CanvasContext m_context;
    SelectTool m_select{m_context};
    DrawTool m_draw{m_context};
    BandTool m_band{m_context};
    PanTool m_pan;
    std::optional<LayerId> m_menuReference;
};

} // namespace torvale
