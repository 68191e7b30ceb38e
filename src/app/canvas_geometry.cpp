#include "app/canvas_geometry.h"

#include <algorithm>
#include <cstdlib>

namespace torvale {

namespace {

bool movesLeft(DragKind d)
{
    return d == DragKind::TopLeft || d == DragKind::Left || d == DragKind::BottomLeft;
}
bool movesRight(DragKind d)
{
    return d == DragKind::TopRight || d == DragKind::Right || d == DragKind::BottomRight;
}
bool movesTop(DragKind d)
{
    return d == DragKind::TopLeft || d == DragKind::Top || d == DragKind::TopRight;
}
bool movesBottom(DragKind d)
{
    return d == DragKind::BottomLeft || d == DragKind::Bottom || d == DragKind::BottomRight;
}

/// Limits one axis of a group step for one rectangle at position .. position + extent on a
/// card of the given size.
void limitGroupStep(int& step, bool& stopped, int position, int extent, int size)
{
    if (step < 0) {
        if (position < 1)
            stopped = true;
        else
            step = std::max(step, -position);
    } else if (step > 0) {
        const int room = size - (position + extent);
        if (room < 1)
            stopped = true;
        else
            step = std::min(step, room);
    }
}

} // namespace

int grabZone(double zoom)
{
    return static_cast<int>(kHandleZoneScreen / zoom);
}

LayerRect normalisedRect(LayerRect r)
{
    if (r.width < 0) {
        r.x += r.width;
        r.width = -r.width;
    }
    if (r.height < 0) {
        r.y += r.height;
        r.height = -r.height;
    }
    return r;
}

std::array<std::string, 4> draftFieldTexts(const LayerRect& draft)
{
    const bool drawing = draft.width != -1 || draft.height != -1;
    const LayerRect r = drawing ? normalisedRect(draft) : draft;
    const bool placed = r.x != -1 && r.y != -1;
    return {placed ? std::to_string(r.x) : std::string(),
            placed ? std::to_string(r.y) : std::string(),
            drawing ? std::to_string(r.width) : std::string(),
            drawing ? std::to_string(r.height) : std::string()};
}

LayerRect rectOf(const Layer& layer)
{
    return {layer.id, layer.x, layer.y, layer.width, layer.height};
}

LayerRect rectOf(const Watermark& watermark)
{
    return {watermark.id, watermark.x, watermark.y, watermark.width, watermark.height};
}

bool inPickArea(const LayerRect& r, CardPoint p)
{
    return r.x <= p.x && p.x <= r.x + r.width && r.y < p.y && p.y <= r.y + r.height;
}

bool inClosedRect(const LayerRect& r, CardPoint p)
{
    return r.x <= p.x && p.x <= r.x + r.width && r.y <= p.y && p.y <= r.y + r.height;
}

bool inPickArea(const Layer& layer, CardPoint p)
{
    return layer.hasRect() && inPickArea(rectOf(layer), p);
}

bool inClosedRect(const Layer& layer, CardPoint p)
{
    return layer.hasRect() && inClosedRect(rectOf(layer), p);
}

std::optional<LayerId> topmostLayerAt(const std::vector<Layer>& layers, CardPoint p)
{
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        if (inPickArea(*it, p))
            return it->id;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> topmostWatermarkAt(const std::vector<Watermark>& watermarks,
                                                CardPoint p)
{
    for (auto it = watermarks.rbegin(); it != watermarks.rend(); ++it) {
        if (inPickArea(rectOf(*it), p))
            return it->id;
    }
    return std::nullopt;
}

DragKind grabAt(const LayerRect& rect, CardPoint p, int g)
{
    const int half = g / 2;
    const int l = rect.x;
    const int t = rect.y;
    const int r = rect.x + rect.width;
    const int b = rect.y + rect.height;
    const int my = t + rect.height / 2 - half;
    const int mx = l + rect.width / 2 - half;
    const auto in = [](int v, int from, int to) { return from <= v && v <= to; };
    struct Zone {
        DragKind kind;
        int x0, x1, y0, y1;
    };
    // The handles come first: where a small rectangle's handles overlap its inside, they win.
    const Zone zones[] = {
        {DragKind::TopLeft, l - g, l, t - g, t},    {DragKind::Left, l - g, l, my, my + g},
        {DragKind::BottomLeft, l - g, l, b, b + g}, {DragKind::Top, mx, mx + g, t - g, t},
        {DragKind::Bottom, mx, mx + g, b, b + g},   {DragKind::TopRight, r, r + g, t - g, t},
        {DragKind::Right, r, r + g, my, my + g},    {DragKind::BottomRight, r, r + g, b, b + g},
        {DragKind::MoveLayer, l, r, t, b},
    };
    for (const Zone& zone : zones) {
        if (in(p.x, zone.x0, zone.x1) && in(p.y, zone.y0, zone.y1))
            return zone.kind;
    }
    return DragKind::None;
}

bool isResizeHandle(DragKind drag)
{
    return drag != DragKind::None && drag != DragKind::MoveLayer &&
           drag != DragKind::MoveWatermark && drag != DragKind::MoveGroup;
}

CardPoint clampToCard(CardPoint p, CardSize card)
{
    return {std::clamp(p.x, 0, card.width), std::clamp(p.y, 0, card.height)};
}

LayerRect movedInCard(LayerRect r, int dx, int dy, CardSize card)
{
    r.x += dx;
    r.y += dy;
    if (r.x < 0)
        r.x = 0;
    else if (r.x + r.width > card.width)
        r.x = card.width - r.width;
    if (r.y < 0)
        r.y = 0;
    else if (r.y + r.height > card.height)
        r.y = card.height - r.height;
    return r;
}

GroupStep limitedGroupStep(const std::vector<LayerRect>& rects, int dx, int dy, CardSize card)
{
    GroupStep step{dx, dy, false, false};
    for (const LayerRect& r : rects) {
        limitGroupStep(step.dx, step.stopX, r.x, r.width, card.width);
        limitGroupStep(step.dy, step.stopY, r.y, r.height, card.height);
    }
    return step;
}

ResizeAnchor resizeAnchor(const LayerRect& r, DragKind handle, CardPoint p)
{
    ResizeAnchor anchor;
    anchor.handle = handle;
    if (movesLeft(handle)) {
        anchor.fixedX = r.x + r.width;
        anchor.grabX = r.x - p.x;
    } else if (movesRight(handle)) {
        anchor.fixedX = r.x;
        anchor.grabX = p.x - (r.x + r.width);
    }
    if (movesTop(handle)) {
        anchor.fixedY = r.y + r.height;
        anchor.grabY = r.y - p.y;
    } else if (movesBottom(handle)) {
        anchor.fixedY = r.y;
        anchor.grabY = p.y - (r.y + r.height);
    }
    return anchor;
}

DraggedEdges draggedEdges(const ResizeAnchor& a, CardPoint p)
{
    DraggedEdges edges;
    if (movesLeft(a.handle))
        edges.x = p.x + a.grabX;
    else if (movesRight(a.handle))
        edges.x = p.x - a.grabX;
    if (movesTop(a.handle))
        edges.y = p.y + a.grabY;
    else if (movesBottom(a.handle))
        edges.y = p.y - a.grabY;
    return edges;
}

DraggedEdges draggedEdges(const LayerRect& r, DragKind handle)
{
    DraggedEdges edges;
    if (movesLeft(handle))
        edges.x = r.x;
    else if (movesRight(handle))
        edges.x = r.x + r.width;
    if (movesTop(handle))
        edges.y = r.y;
    else if (movesBottom(handle))
        edges.y = r.y + r.height;
    return edges;
}

LayerRect resizedRect(const LayerRect& r, const ResizeAnchor& a, CardPoint p, bool square,
                      CardSize card)
{
    const DragKind d = a.handle;
    std::int32_t left = r.x;
    std::int32_t top = r.y;
    std::int32_t right = r.x + r.width;
    std::int32_t bottom = r.y + r.height;
    if (movesLeft(d))
        left = std::clamp(p.x + a.grabX, 0, std::max(0, a.fixedX - 1));
    if (movesTop(d))
        top = std::clamp(p.y + a.grabY, 0, std::max(0, a.fixedY - 1));
    if (movesRight(d))
        right = p.x - a.grabX > a.fixedX ? std::min(p.x - a.grabX, card.width) : a.fixedX + 1;
    if (movesBottom(d))
        bottom = p.y - a.grabY > a.fixedY ? std::min(p.y - a.grabY, card.height) : a.fixedY + 1;
    const bool corner = (movesLeft(d) || movesRight(d)) && (movesTop(d) || movesBottom(d));
    if (square && corner) {
        const std::int32_t s = std::min(right - left, bottom - top);
        if (movesLeft(d))
            left = right - s;
        else
            right = left + s;
        if (movesTop(d))
            top = bottom - s;
        else
            bottom = top + s;
    }
    return {r.id, left, top, right - left, bottom - top};
}

std::vector<LayerId> layersInBand(const std::vector<Layer>& layers, CardPoint a, CardPoint b)
{
    const int left = std::min(a.x, b.x);
    const int right = std::max(a.x, b.x);
    const int top = std::min(a.y, b.y);
    const int bottom = std::max(a.y, b.y);
    std::vector<LayerId> inside;
    if (left == right || top == bottom)
        return inside;
    for (const Layer& layer : layers) {
        if (layer.hasRect() && layer.x < right && left < layer.x + layer.width &&
            layer.y < bottom && top < layer.y + layer.height)
            inside.push_back(layer.id);
    }
    return inside;
}

LayerRect drawnTo(LayerRect draft, CardPoint p, bool square)
{
    std::int32_t w = p.x - draft.x;
    std::int32_t h = p.y - draft.y;
    if (square) {
        const std::int32_t a = std::abs(w);
        const std::int32_t b = std::abs(h);
        if (a < b)
            h = h < 1 ? -a : a;
        else
            w = w < 1 ? -b : b;
    }
    draft.width = w;
    draft.height = h;
    return draft;
}

LayerRect finishedDraft(LayerRect r, bool moved, CardSize card)
{
    if (!moved) {
        r.width = std::min(100, card.width);
        r.height = std::min(40, card.height);
        r.x = std::max(0, std::min(r.x, card.width - r.width));
        r.y = std::max(0, std::min(r.y, card.height - r.height));
    }
    r = normalisedRect(r);
    r.width = std::max(r.width, 1);
    r.height = std::max(r.height, 1);
    return r;
}

} // namespace torvale
