#pragma once

#include "app/canvas_geometry.h"
#include "model/template.h"

#include <optional>
#include <vector>

namespace torvale {

/// How near (in screen pixels) an edge or centre line must come to a line to snap to it.
inline constexpr int kSnapDistanceScreen = 6;

/// The guide lines of the snaps that hold, in card pixels (a centre line may lie on half a
/// pixel): a vertical line at x, a horizontal one at y.
struct SnapGuides {
    std::optional<double> x;
    std::optional<double> y;

    bool empty() const { return !x && !y; }
    friend bool operator==(const SnapGuides&, const SnapGuides&) = default;
};

/// One axis of a snap: the whole-pixel shift that brings the dragged edge or line onto the
/// line, and the line.
struct AxisSnap {
    int shift = 0;
    double line = 0;
};

/// The snap of each axis, decided on its own.
struct Snap {
    std::optional<AxisSnap> x;
    std::optional<AxisSnap> y;
};

/// Snapping of dragged boxes and edges to the card's edges and centre lines and to those of
/// the layers not being dragged, within kSnapDistanceScreen at the zoom. Built for one event
/// from the card, the layers, the zoom and whether snapping is on for it.
class Snapper {
public:
    /// The lines of the card and of every layer with a rectangle that is not in dragged; a
    /// snapper that is off snaps nothing.
    Snapper(CardSize card, const std::vector<Layer>& layers, const std::vector<LayerId>& dragged,
            double zoom, bool on);

    bool on() const { return m_on; }
    /// A moved box: its left edge, centre and right edge are tried against every vertical line
    /// (likewise top, centre and bottom), and the nearest pair within reach wins on each axis.
    Snap box(const LayerRect& box) const;
    /// Dragged edges (a resize handle's, the pointer's corner while drawing): the nearest line
    /// within reach of x and of y, where given.
    Snap edges(std::optional<int> x, std::optional<int> y) const;

private:
    /// The lines and features are kept doubled, so centre lines stay whole numbers.
    std::optional<AxisSnap> nearest(const std::vector<long long>& lines,
                                    std::initializer_list<long long> features) const;

    std::vector<long long> m_xLines;
    std::vector<long long> m_yLines;
    double m_zoom = 1;
    bool m_on = false;
};

/// A moved box and the guides of its snap.
struct SnappedBox {
    LayerRect rect;
    SnapGuides guides;
};

/// The box shifted by the snap of each axis on which it then stays on the card (those axes'
/// guides are given); on the other axes it stays where it is.
SnappedBox snappedBox(const LayerRect& box, const Snap& snap, CardSize card);

} // namespace torvale
