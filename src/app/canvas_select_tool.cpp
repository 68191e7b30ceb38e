#include "app/canvas_tools.h"

#include <algorithm>
#include <string>

namespace torvale {

CanvasEffects SelectTool::press(CardPoint p, KeyModifiers modifiers)
{
    EditorState& state = m_context.state;
    m_snapShift = {};
    switch (state.mode) {
    case CanvasMode::Idle:
        return pickOrBand(p, false);
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
        if (m_context.hitTestCurrent(p) != DragKind::None) {
            startDrag(p);
            return {};
        }
        return pickOrBand(p, state.mode == CanvasMode::LayerSelected && modifiers.ctrl);
    case CanvasMode::MultiSelected:
        if (m_context.hitTestCurrent(p) != DragKind::MoveGroup)
            return pickOrBand(p, modifiers.ctrl);
        if (modifiers.ctrl) {
            // Ctrl on a marked layer takes the topmost one out of the group.
            const auto& layers = m_context.document.tpl().layers;
            for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
                if (state.isMarked(it->id) && inPickArea(*it, p)) {
                    m_context.setRowSelected(it->id, false);
                    break;
                }
            }
        }
        state.drag = DragKind::MoveGroup;
        m_lastPoint = p;
        return {};
    default:
        return {};
    }
}

// A press on a watermark or a layer selects it alone and grabs it (or, with Ctrl, adds the
// layer); a press on nothing lets the selection go and starts a band.
CanvasEffects SelectTool::pickOrBand(CardPoint p, bool ctrlAdds)
{
    CanvasEffects effects;
    EditorState& state = m_context.state;
    const auto watermark =
        state.watermarksShown ? topmostWatermarkAt(state.watermarks.items(), p) : std::nullopt;
    if (watermark) {
        selectWatermark(state, *watermark);
        startDrag(p);
    } else if (const auto hit = topmostLayerAt(m_context.document.tpl().layers, p)) {
        if (ctrlAdds) {
            m_context.setRowSelected(*hit, true);
        } else {
            m_context.selectOnly(*hit);
            startDrag(p);
        }
    } else {
        if (state.currentKind() == CurrentKind::Watermark)
            selectWatermark(state, std::nullopt);
        else
            m_context.selectOnly(std::nullopt);
        state.mode = CanvasMode::BandArmed;
        state.drag = DragKind::None;
        m_context.bandStart = clampToCard(p, m_context.card());
        m_context.bandEnd = m_context.bandStart;
        effects.repaint = true;
    }
    return effects;
}

void SelectTool::startDrag(CardPoint p)
{
    EditorState& state = m_context.state;
    state.drag = m_context.hitTestCurrent(p);
    m_context.cursor = m_context.cursorFor(p);
    m_lastPoint = p;
    const Layer* layer = m_context.currentLayer();
    if (layer && isResizeHandle(state.drag))
        m_anchor = resizeAnchor(rectOf(*layer), state.drag, p);
}

CanvasEffects SelectTool::move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown)
{
    CanvasEffects effects;
    const CanvasMode mode = m_context.state.mode;
    if (m_context.state.drag == DragKind::None && mode != CanvasMode::Idle) {
        const CanvasCursor cursor = m_context.cursorFor(p);
        effects.cursorChanged = cursor != m_context.cursor;
        m_context.cursor = cursor;
    }
    if (!leftButtonDown)
        return effects;
    switch (mode) {
    case CanvasMode::LayerSelected:
        effects.merge(moveCurrent(p, modifiers));
        break;
    case CanvasMode::WatermarkSelected:
        effects.merge(moveWatermark(p, modifiers));
        break;
    case CanvasMode::MultiSelected:
        effects.merge(moveGroup(p, modifiers));
        break;
    default:
        break;
    }
    return effects;
}

namespace {

LayerRect shifted(LayerRect r, CardPoint by)
{
    r.x += by.x;
    r.y += by.y;
    return r;
}

CardPoint shiftBetween(const LayerRect& from, const LayerRect& to)
{
    return {to.x - from.x, to.y - from.y};
}

} // namespace

CanvasEffects SelectTool::moveCurrent(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    const Layer* layer = m_context.currentLayer();
    const DragKind d = m_context.state.drag;
    if (!layer || d == DragKind::None || d == DragKind::MoveGroup || d == DragKind::MoveWatermark)
        return effects;
    const CardSize card = m_context.card();
    const Snapper snapper = m_context.snapper({layer->id}, modifiers);
    LayerRect r;
    SnapGuides guides;
    if (d == DragKind::MoveLayer) {
        const LayerRect free =
            movedInCard(shifted(rectOf(*layer), {-m_snapShift.x, -m_snapShift.y}),
                        p.x - m_lastPoint.x, p.y - m_lastPoint.y, card);
        const SnappedBox snapped = snappedBox(free, snapper.box(free), card);
        r = snapped.rect;
        guides = snapped.guides;
        m_snapShift = shiftBetween(free, r);
        // The pointer is followed even where the layer stopped at an edge.
        m_lastPoint = p;
    } else {
        // Only the dragged edges snap: the pointer is moved by their snap.
        const DraggedEdges wanted = draggedEdges(m_anchor, p);
        const Snap snap = snapper.edges(wanted.x, wanted.y);
        const CardPoint pointer{p.x + (snap.x ? snap.x->shift : 0),
                                p.y + (snap.y ? snap.y->shift : 0)};
        r = resizedRect(rectOf(*layer), m_anchor, pointer, modifiers.shift, card);
        // An edge held back on the card, apart from the fixed one or by Shift is off the line.
        const DraggedEdges got = draggedEdges(r, d);
        if (snap.x && got.x == *wanted.x + snap.x->shift)
            guides.x = snap.x->line;
        if (snap.y && got.y == *wanted.y + snap.y->shift)
            guides.y = snap.y->line;
    }
    m_context.setGuides(guides);
    m_context.document.setLayerGeometry({r});
    effects.merge(m_context.report());
    effects.repaint = true;
    return effects;
}

CanvasEffects SelectTool::moveWatermark(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    const Watermark* watermark = m_context.state.current();
    if (m_context.state.drag != DragKind::MoveWatermark || !watermark)
        return effects;
    const CardSize card = m_context.card();
    const LayerRect free =
        movedInCard(shifted(rectOf(*watermark), {-m_snapShift.x, -m_snapShift.y}),
                    p.x - m_lastPoint.x, p.y - m_lastPoint.y, card);
    const SnappedBox snapped = snappedBox(free, m_context.snapper({}, modifiers).box(free), card);
    m_snapShift = shiftBetween(free, snapped.rect);
    m_context.setGuides(snapped.guides);
    m_context.state.watermarks.move(watermark->id, snapped.rect.x, snapped.rect.y);
    m_lastPoint = p;
    effects.merge(m_context.report());
    effects.repaint = true;
    return effects;
}

CanvasEffects SelectTool::moveGroup(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    if (m_context.state.drag != DragKind::MoveGroup)
        return effects;
    std::vector<LayerRect> shown;
    std::vector<LayerId> ids;
    for (const Layer* layer : m_context.markedLayers()) {
        shown.push_back(rectOf(*layer));
        ids.push_back(layer->id);
    }
    if (shown.empty())
        return effects;
    std::vector<LayerRect> rects;
    for (const LayerRect& r : shown)
        rects.push_back(shifted(r, {-m_snapShift.x, -m_snapShift.y}));
    const CardSize card = m_context.card();
    const int dx = p.x - m_lastPoint.x;
    const int dy = p.y - m_lastPoint.y;
    const GroupStep step = limitedGroupStep(rects, dx, dy, card);
    const bool moveX = dx != 0 && !step.stopX;
    const bool moveY = dy != 0 && !step.stopY;
    if (moveX || moveY) {
        for (LayerRect& r : rects)
            r = movedInCard(r, moveX ? step.dx : 0, moveY ? step.dy : 0, card);
    }
    m_lastPoint.x += step.dx;
    m_lastPoint.y += step.dy;
    // The group snaps as one box: the one around its layers.
    LayerRect box = rects.front();
    for (const LayerRect& r : rects) {
        const int right = std::max(box.x + box.width, r.x + r.width);
        const int bottom = std::max(box.y + box.height, r.y + r.height);
        box.x = std::min(box.x, r.x);
        box.y = std::min(box.y, r.y);
        box.width = right - box.x;
        box.height = bottom - box.y;
    }
    const SnappedBox snapped = snappedBox(box, m_context.snapper(ids, modifiers).box(box), card);
    m_snapShift = shiftBetween(box, snapped.rect);
    for (LayerRect& r : rects)
        r = shifted(r, m_snapShift);
    effects.repaint = m_context.setGuides(snapped.guides);
    if (rects != shown) {
        m_context.document.setLayerGeometry(rects);
        effects.repaint = true;
    }
    return effects;
}

CanvasEffects SelectTool::release(CardPoint p)
{
    EditorState& state = m_context.state;
    switch (state.mode) {
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
        state.drag = DragKind::None;
        return {};
    case CanvasMode::MultiSelected:
        return m_context.settleOnMarked(p);
    default:
        return {};
    }
}

CanvasEffects SelectTool::arrowKey(int dx, int dy, KeyModifiers modifiers)
{
    CanvasEffects effects;
    if (modifiers.ctrl && modifiers.shift)
        return effects;
    const EditorState& state = m_context.state;
    const int step = modifiers.shift ? 5 : 1;
    // A run of arrow keys on the same selection is one undo step.
    std::string key = modifiers.ctrl ? "size" : "move";
    for (LayerId id : state.marked())
        key += ":" + std::to_string(id);
    const EditStep edit =
        m_context.document.beginStep(modifiers.ctrl ? "调整图层大小" : "移动图层", std::move(key));
    if (state.mode == CanvasMode::MultiSelected)
        return arrowMarked(dx, dy, modifiers);
    if (state.drag != DragKind::None)
        return effects;
    const CardSize card = m_context.card();
    if (state.mode == CanvasMode::LayerSelected) {
        const Layer* layer = m_context.currentLayer();
        if (!layer || !layer->hasRect())
            return effects;
        LayerRect r = rectOf(*layer);
        if (modifiers.ctrl) {
            r.width = std::clamp(r.width + dx, 1, std::max(1, card.width - r.x));
            r.height = std::clamp(r.height + dy, 1, std::max(1, card.height - r.y));
        } else {
            r = movedInCard(r, dx * step, dy * step, card);
        }
        m_context.document.setLayerGeometry({r});
    } else if (state.mode == CanvasMode::WatermarkSelected) {
        const Watermark* watermark = state.current();
        if (!watermark)
            return effects;
        const LayerRect moved = movedInCard(rectOf(*watermark), dx * step, dy * step, card);
        m_context.state.watermarks.move(watermark->id, moved.x, moved.y);
    } else {
        return effects;
    }
    effects.consumed = true;
    effects.merge(m_context.report());
    effects.repaint = true;
    return effects;
}

// The marked layers move or grow together, or not at all.
CanvasEffects SelectTool::arrowMarked(int dx, int dy, KeyModifiers modifiers)
{
    CanvasEffects effects;
    const CardSize card = m_context.card();
    std::vector<LayerRect> rects;
    for (const Layer* layer : m_context.markedLayers())
        rects.push_back(rectOf(*layer));
    if (modifiers.ctrl) {
        for (LayerRect& r : rects) {
            r.width += dx;
            r.height += dy;
            if (r.width < 1 || r.width > card.width - r.x || r.height < 1 ||
                r.height > card.height - r.y)
                return effects;
        }
    } else {
        // Without Shift nothing moves when a layer would leave the card; with Shift the step
        // of 5 stops at the edge.
        const auto leaves = [&](const LayerRect& r) {
            return r.x + dx < 0 || r.x + r.width + dx > card.width || r.y + dy < 0 ||
                   r.y + r.height + dy > card.height;
        };
        if (!modifiers.shift && std::any_of(rects.begin(), rects.end(), leaves))
            return effects;
        const int step = modifiers.shift ? 5 : 1;
        const GroupStep limited = limitedGroupStep(rects, dx * step, dy * step, card);
        if (limited.stopX || limited.stopY)
            return effects;
        for (LayerRect& r : rects)
            r = movedInCard(r, limited.dx, limited.dy, card);
    }
    effects.consumed = true;
    m_context.document.setLayerGeometry(rects);
    effects.merge(m_context.report());
    effects.repaint = true;
    return effects;
}

CanvasEffects SelectTool::escape()
{
    CanvasEffects effects;
    EditorState& state = m_context.state;
    const bool restoresWatermark =
        state.mode == CanvasMode::WatermarkSelected && state.drag != DragKind::None;
    const bool restores =
        (state.mode == CanvasMode::LayerSelected && state.drag != DragKind::None) ||
        (state.mode == CanvasMode::MultiSelected && state.drag == DragKind::MoveGroup) ||
        restoresWatermark;
    if (!restores)
        return effects;
    if (restoresWatermark) {
        if (const Watermark* watermark = state.current(); watermark && m_context.savedWatermark)
            state.watermarks.move(watermark->id, m_context.savedWatermark->x,
                                  m_context.savedWatermark->y);
    } else {
        m_context.document.setLayerGeometry(m_context.saved);
    }
    state.drag = DragKind::None;
    m_context.dragStep.reset();
    effects.merge(m_context.report());
    effects.repaint = true;
    effects.consumed = true;
    return effects;
}

CanvasEffects SelectTool::ctrlKey(bool down, std::optional<CardPoint> pointer)
{
    CanvasEffects effects;
    if (m_context.state.mode != CanvasMode::MultiSelected)
        return effects;
    if (down && m_context.state.drag != DragKind::MoveGroup) {
        m_context.cursor = CanvasCursor::Arrow;
        effects.cursorChanged = true;
    } else if (!down && pointer) {
        m_context.cursor = m_context.cursorFor(*pointer);
        effects.cursorChanged = true;
    }
    return effects;
}

CanvasCursor SelectTool::cursor(bool ctrlHeld) const
{
    switch (m_context.state.mode) {
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
        return m_context.cursor;
    case CanvasMode::MultiSelected:
        return ctrlHeld ? CanvasCursor::Arrow : m_context.cursor;
    default:
        return CanvasCursor::Arrow;
    }
}

} // namespace torvale
