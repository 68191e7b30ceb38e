#pragma once

#include "app/editor_document.h"
#include "app/editor_state.h"
#include "app/watermarks.h"
#include "model/template.h"

#include <array>
#include <cstdint>
#include <string>
#include <optional>
#include <vector>

namespace torvale {

/// A point in card pixels (the background's pixel grid).
struct CardPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// The card's size in pixels.
struct CardSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

/// Width of a resize handle's grab zone in screen pixels.
inline constexpr int kHandleZoneScreen = 24;

/// The width of a resize handle's grab zone in card pixels at a zoom (rounded down).
int grabZone(double zoom);

/// A rectangle with a negative extent turned over (one being drawn).
LayerRect normalisedRect(LayerRect rect);

/// The x, y, width and height texts of a rectangle being placed or drawn: while placing (width
/// and height -1), x and y once the pointer is over the card; while drawing, the rectangle
/// turned the right way.
std::array<std::string, 4> draftFieldTexts(const LayerRect& draft);

/// A layer's rectangle, named by the layer's id.
LayerRect rectOf(const Layer& layer);
/// A watermark's rectangle, named by the watermark's id.
LayerRect rectOf(const Watermark& watermark);

/// Whether a press at p picks the rectangle: its left, right and bottom edges count, its top
/// edge does not.
bool inPickArea(const LayerRect& rect, CardPoint p);
/// Whether the rectangle holds p, every edge counting.
bool inClosedRect(const LayerRect& rect, CardPoint p);
/// inPickArea for a layer; a layer without a rectangle holds nothing.
bool inPickArea(const Layer& layer, CardPoint p);
/// inClosedRect for a layer; a layer without a rectangle holds nothing.
bool inClosedRect(const Layer& layer, CardPoint p);

/// The topmost (last) layer picked by a press at p.
std::optional<LayerId> topmostLayerAt(const std::vector<Layer>& layers, CardPoint p);
/// The topmost (last) watermark picked by a press at p.
std::optional<std::uint32_t> topmostWatermarkAt(const std::vector<Watermark>& watermarks,
                                                CardPoint p);

/// What a press at p grabs of a rectangle: a resize handle (a square of zone card pixels on
/// and outside each corner and beside the middle of each edge), else the inside and the edges
/// (MoveLayer), else None.
DragKind grabAt(const LayerRect& rect, CardPoint p, int zone);
/// Whether the drag is one of the eight resize handles.
bool isResizeHandle(DragKind drag);

/// The point moved onto the card (edges included).
CardPoint clampToCard(CardPoint p, CardSize card);
/// The rectangle moved by (dx, dy) and pushed back onto the card on each axis where it left it.
LayerRect movedInCard(LayerRect rect, int dx, int dy, CardSize card);

/// A step of several layers moved together.
struct GroupStep {
    int dx = 0;
    int dy = 0;
    /// A layer already at the edge the axis moves to stopped that axis.
    bool stopX = false;
    bool stopY = false;

    friend bool operator==(const GroupStep&, const GroupStep&) = default;
};

/// The step (dx, dy) of the rectangles moved together, limited on each axis by every one in
/// turn: one already at the edge it moves to stops the axis, one nearer than the step shortens
/// it.
GroupStep limitedGroupStep(const std::vector<LayerRect>& rects, int dx, int dy, CardSize card);

/// What stays in place while a resize handle is dragged: the edges opposite the dragged ones
/// (fixedX, fixedY), and the pointer's distance from the dragged edges at the press (grabX,
/// grabY, positive outside the rectangle). An axis the handle does not move keeps zeros.
struct ResizeAnchor {
    DragKind handle = DragKind::None;
    std::int32_t fixedX = 0;
    std::int32_t fixedY = 0;
    std::int32_t grabX = 0;
    std::int32_t grabY = 0;

    friend bool operator==(const ResizeAnchor&, const ResizeAnchor&) = default;
};

/// The anchor of a press at p on a handle of the rectangle.
ResizeAnchor resizeAnchor(const LayerRect& rect, DragKind handle, CardPoint p);

/// The positions of the edges a resize handle drags: the vertical one (x) and the horizontal
/// one (y); nothing for an axis the handle does not move.
struct DraggedEdges {
    std::optional<std::int32_t> x;
    std::optional<std::int32_t> y;
};

/// Where the anchor's handle would put its edges with the pointer at p (before they are kept on
/// the card and apart from the fixed ones).
DraggedEdges draggedEdges(const ResizeAnchor& anchor, CardPoint p);
/// Where the edges a handle drags are in a rectangle.
DraggedEdges draggedEdges(const LayerRect& rect, DragKind handle);

/// The rectangle while the anchor's handle is dragged to p: the dragged edges follow the
/// pointer but stay on the card and at least 1 pixel from the fixed ones; square (on a corner
/// handle) shrinks the longer side to the shorter against the fixed corner.
LayerRect resizedRect(const LayerRect& rect, const ResizeAnchor& anchor, CardPoint p, bool square,
                      CardSize card);

/// The layers with a rectangle that overlaps the band between corners a and b; the right and
/// bottom edges of both do not count, and a band without width or height holds nothing.
std::vector<LayerId> layersInBand(const std::vector<Layer>& layers, CardPoint a, CardPoint b);

/// A new rectangle started at the draft's corner and drawn to p; square makes both sides the
/// shorter one, each keeping its direction.
LayerRect drawnTo(LayerRect draft, CardPoint p, bool square);
/// The rectangle a finished drawing stores: turned over, at least 1 x 1; a click without a move
/// gives 100 x 40 (at most the card) at the point, kept on the card.
LayerRect finishedDraft(LayerRect draft, bool moved, CardSize card);

} // namespace torvale
