#include "app/canvas_snap.h"

#include <algorithm>
#include <cmath>

namespace torvale {

namespace {

/// The doubled lines of a span: its two edges and its centre.
void addLines(std::vector<long long>& lines, long long position, long long extent)
{
    lines.push_back(2 * position);
    lines.push_back(2 * position + extent);
    lines.push_back(2 * (position + extent));
}

} // namespace

Snapper::Snapper(CardSize card, const std::vector<Layer>& layers,
                 const std::vector<LayerId>& dragged, double zoom, bool on)
    : m_zoom(zoom), m_on(on && zoom > 0)
{
    if (!m_on)
        return;
    addLines(m_xLines, 0, card.width);
    addLines(m_yLines, 0, card.height);
    for (const Layer& layer : layers) {
        if (!layer.hasRect() ||
            std::find(dragged.begin(), dragged.end(), layer.id) != dragged.end())
            continue;
        addLines(m_xLines, layer.x, layer.width);
        addLines(m_yLines, layer.y, layer.height);
    }
}

std::optional<AxisSnap> Snapper::nearest(const std::vector<long long>& lines,
                                         std::initializer_list<long long> features) const
{
    // Doubled distances: within reach when half of it, in screen pixels, is at most the reach.
    const double reach = 2.0 * kSnapDistanceScreen / m_zoom;
    std::optional<long long> bestLine;
    long long bestOffset = 0;
    for (long long line : lines) {
        for (long long feature : features) {
            const long long offset = line - feature;
            if (static_cast<double>(std::llabs(offset)) > reach)
                continue;
            if (!bestLine || std::llabs(offset) < std::llabs(bestOffset)) {
                bestLine = line;
                bestOffset = offset;
            }
        }
    }
    if (!bestLine)
        return std::nullopt;
    // A centre line half a pixel off a whole edge cannot be met: the box goes to the lower
    // pixel, whichever side it came from, so it does not jump between two places.
    const auto shift = static_cast<int>(bestOffset >= 0 ? bestOffset / 2 : -((1 - bestOffset) / 2));
    return AxisSnap{shift, static_cast<double>(*bestLine) / 2};
}

Snap Snapper::box(const LayerRect& r) const
{
    if (!m_on)
        return {};
    const long long x = r.x;
    const long long y = r.y;
    return {nearest(m_xLines, {2 * x, 2 * x + r.width, 2 * (x + r.width)}),
            nearest(m_yLines, {2 * y, 2 * y + r.height, 2 * (y + r.height)})};
}

Snap Snapper::edges(std::optional<int> x, std::optional<int> y) const
{
    Snap snap;
    if (!m_on)
        return snap;
    if (x)
        snap.x = nearest(m_xLines, {2LL * *x});
    if (y)
        snap.y = nearest(m_yLines, {2LL * *y});
    return snap;
}

SnappedBox snappedBox(const LayerRect& box, const Snap& snap, CardSize card)
{
    SnappedBox snapped{box, {}};
    if (snap.x && box.x + snap.x->shift >= 0 && box.x + snap.x->shift + box.width <= card.width) {
        snapped.rect.x += snap.x->shift;
        snapped.guides.x = snap.x->line;
    }
    if (snap.y && box.y + snap.y->shift >= 0 && box.y + snap.y->shift + box.height <= card.height) {
        snapped.rect.y += snap.y->shift;
        snapped.guides.y = snap.y->line;
    }
    return snapped;
}

} // namespace torvale
