#pragma once

#include "app/canvas_geometry.h"
#include "app/canvas_snap.h"
#include "app/editor_document.h"
#include "app/editor_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// Panning with the space bar: armed while Space is held, panning while the left button drags.
enum class PanState { Off, Armed, Panning };

/// The mouse cursors the canvas shows.
enum class CanvasCursor { Arrow, Cross, SizeNWSE, SizeNESW, SizeWE, SizeNS, SizeAll, Hand };

/// Modifier keys held during an event.
struct KeyModifiers {
    bool ctrl = false;
    bool shift = false;
    /// Alt: no snapping for this move.
    bool alt = false;
};

/// What the widget does after an event: the layer list and the canvas follow the document's
/// and the selection's announcements; these are the rest.
struct CanvasEffects {
    bool repaint = false;
    std::optional<std::string> statusPart1; // pointer position, "" outside the card
    std::optional<std::string> statusPart2; // size of the current object
    /// The current layer's row shows the rectangle being placed or drawn (see draftRect).
    bool draftChanged = false;
    /// The cursor to show changed (see cursorShown).
    bool cursorChanged = false;
    /// A new rectangle was finished: the property window of the layer's type is shown.
    bool showPropertyWindow = false;
    /// Esc or an arrow key was used here (the key goes no further).
    bool consumed = false;
    /// A watermark moved: its row shows the new position.
    bool watermarksChanged = false;

    void merge(const CanvasEffects& other);
};

/// The cursor over a grab of the current object.
CanvasCursor cursorForGrab(DragKind grab);

/// What the canvas's tools share: the document and the editor state they edit, the zoom, and
/// the parts of a drag that outlive the tool that started it (the rectangle being drawn and the
/// band, which the widget paints; the geometry Esc puts back and the drag's undo step).
struct CanvasContext {
    CanvasContext(EditorDocument& doc, EditorState& editorState) : document(doc), state(editorState)
    {
    }

    EditorDocument& document;
    EditorState& state;
    double zoom = 1.0;
    /// The pointer's last move was over the card.
    bool pointerInCard = false;
    /// The cursor for the grab under the pointer (shown while something is selected).
    CanvasCursor cursor = CanvasCursor::Arrow;
    /// The rectangle of the layer being placed or drawn (see draftRect).
    std::optional<LayerRect> draft;
    /// The band's corners: where it started and where the pointer is.
    CardPoint bandStart;
    CardPoint bandEnd;
    /// The geometry at the last press or release, which Esc during a drag puts back.
    std::vector<LayerRect> saved;
    std::optional<CardPoint> savedWatermark;
    /// A drag of layers is one undo step, recorded when the button is released.
    std::optional<EditStep> dragStep;
    /// The guide lines of the snap that holds during a drag, which the widget draws.
    SnapGuides guides;

    /// The card the canvas shows and clamps to: the background's size, each side at most the
    /// largest the image library draws.
    CardSize card() const;
    /// The current layer, when a layer is the current object.
    const Layer* currentLayer() const;
    /// The marked layers in list order.
    std::vector<const Layer*> markedLayers() const;
    /// The grab zone in card pixels at the zoom.
    int zone() const { return grabZone(zoom); }
    /// What a press at the point grabs of the current object or the marked layers.
    DragKind hitTestCurrent(CardPoint p) const;
    /// The cursor for the grab at the point.
    CanvasCursor cursorFor(CardPoint p) const { return cursorForGrab(hitTestCurrent(p)); }
    /// The draft while its layer is being placed or drawn.
    std::optional<LayerRect> draftRect() const;
    /// The status of the current object in the current mode (its size, the draft's).
    CanvasEffects report() const;

    /// Selects the layer's row alone, or no row.
    void selectOnly(std::optional<LayerId> id);
    /// Adds the layer's row to the selection or takes it out, as a Ctrl click does.
    void setRowSelected(LayerId id, bool selected);
    /// The end of a band or a group drag: the marked layers stay a multiple selection, one
    /// becomes the current layer, none leaves the canvas idle.
    CanvasEffects settleOnMarked(CardPoint p);
    /// Keeps the geometry of the current object or the marked layers for Esc.
    void saveGeometry();
    /// The snapping of a drag of the layers named (none for a watermark or a new layer) at the
    /// zoom: on when the setting is on and Alt is not held.
    Snapper snapper(const std::vector<LayerId>& dragged, KeyModifiers modifiers) const;
    /// Sets the guides; true when they changed (the canvas repaints).
    bool setGuides(const SnapGuides& shown);
};

/// One way of handling the canvas's mouse and keys, chosen by the canvas mode. A tool keeps its
/// own drag state and edits through the shared context.
class CanvasTool {
public:
    explicit CanvasTool(CanvasContext& context) : m_context(context) {}
    virtual ~CanvasTool() = default;
    CanvasTool(const CanvasTool&) = delete;
    CanvasTool& operator=(const CanvasTool&) = delete;

    /// The left button pressed at p.
    virtual CanvasEffects press(CardPoint p, KeyModifiers modifiers) = 0;
    /// The pointer moved to p (pointerInCard already says whether it is over the card).
    virtual CanvasEffects move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown) = 0;
    /// The left button released at p.
    virtual CanvasEffects release(CardPoint p) = 0;
    /// The pointer left the canvas.
    virtual CanvasEffects leave() { return {}; }
    /// An arrow key (dx, dy one of the four unit steps).
    virtual CanvasEffects arrowKey(int, int, KeyModifiers) { return {}; }
    /// Esc; consumed when it was used.
    virtual CanvasEffects escape() { return {}; }
    /// Ctrl pressed or released.
    virtual CanvasEffects ctrlKey(bool, std::optional<CardPoint>) { return {}; }
    /// The cursor to show over the canvas.
    virtual CanvasCursor cursor(bool ctrlHeld) const = 0;

protected:
    CanvasContext& m_context;
};

/// Idle and with something selected: picking layers and watermarks (Ctrl adds or takes out
/// layers), moving the current layer, the marked layers or the current watermark, resizing the
/// current layer by its handles, the arrow keys, and Esc during a drag. A press on nothing
/// starts a band.
class SelectTool : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    CanvasEffects press(CardPoint p, KeyModifiers modifiers) override;
    CanvasEffects move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown) override;
    CanvasEffects release(CardPoint p) override;
    CanvasEffects arrowKey(int dx, int dy, KeyModifiers modifiers) override;
    CanvasEffects escape() override;
    CanvasEffects ctrlKey(bool down, std::optional<CardPoint> pointer) override;
    CanvasCursor cursor(bool ctrlHeld) const override;

private:
    CanvasEffects pickOrBand(CardPoint p, bool ctrlAdds);
    void startDrag(CardPoint p);
    CanvasEffects moveCurrent(CardPoint p, KeyModifiers modifiers);
    CanvasEffects moveWatermark(CardPoint p, KeyModifiers modifiers);
    CanvasEffects moveGroup(CardPoint p, KeyModifiers modifiers);
    CanvasEffects arrowMarked(int dx, int dy, KeyModifiers modifiers);

    /// The pointer at the press or the last move of a drag.
    CardPoint m_lastPoint;
    ResizeAnchor m_anchor;
    /// How far the last move's snap shifted what is dragged: the drag goes on from the
    /// unsnapped place, so a snap never holds the box once the pointer has moved on.
    CardPoint m_snapShift;
};

/// A layer without a rectangle: its rectangle is placed under the pointer, then drawn with the
/// left button (Shift for a square) and stored at the release.
class DrawTool : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    CanvasEffects press(CardPoint p, KeyModifiers modifiers) override;
    CanvasEffects move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown) override;
    CanvasEffects release(CardPoint p) override;
    CanvasEffects leave() override;
    CanvasCursor cursor(bool) const override { return CanvasCursor::Cross; }

private:
    bool m_draftMoved = false;
};

/// Band selection: the layers the band touches are marked while it is dragged.
class BandTool : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    CanvasEffects press(CardPoint, KeyModifiers) override { return {}; }
    CanvasEffects move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown) override;
    CanvasEffects release(CardPoint p) override;
    CanvasCursor cursor(bool) const override { return CanvasCursor::Arrow; }
};

/// Panning with the space bar, in screen pixels: Space arms it, the left button drags the view.
class PanTool {
public:
    PanState state() const { return m_state; }
    /// Space pressed: arms panning unless busy (a drag or a pressed button) or already on;
    /// true when it was armed.
    bool spaceDown(bool busy);
    /// Space released: an armed pan is off again.
    void spaceUp();
    /// A press while armed starts panning from a screen point.
    void begin(int screenX, int screenY);
    /// The scroll distance of a move to a screen point (previous minus current).
    std::pair<int, int> moveTo(int screenX, int screenY);
    /// The release: armed again while Space is still down.
    void end(bool spaceStillDown);

private:
    PanState m_state = PanState::Off;
    int m_x = 0;
    int m_y = 0;
};

} // namespace torvale
