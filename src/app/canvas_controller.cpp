#include "app/canvas_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace torvale {

namespace {

bool isHandle(DragKind drag)
{
    return drag != DragKind::None && drag != DragKind::MoveLayer &&
           drag != DragKind::MoveWatermark && drag != DragKind::MoveGroup;
}

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

LayerRect rectOf(const Layer& layer)
{
    return {layer.id, layer.x, layer.y, layer.width, layer.height};
}

/// Limits one axis of a step of several layers for one of them, at position .. position +
/// extent on a card of the given size: a layer already at the edge it moves to stops the axis,
/// one nearer than the step shortens it.
void limitGroupStep(int& step, bool& moves, int position, int extent, int size)
{
    if (step < 0) {
        if (position < 1)
            moves = false;
        else
            step = std::max(step, -position);
    } else if (step > 0) {
        const int room = size - (position + extent);
        if (room < 1)
            moves = false;
        else
            step = std::min(step, room);
    }
}

bool contains(const Layer& layer, CardPoint p)
{
    return layer.hasRect() && layer.x <= p.x && p.x <= layer.x + layer.width && layer.y < p.y &&
           p.y <= layer.y + layer.height;
}

bool contains(const Watermark& w, CardPoint p)
{
    return w.x <= p.x && p.x <= w.x + w.width && w.y < p.y && p.y <= w.y + w.height;
}

bool containsClosed(const Watermark& w, CardPoint p)
{
    return w.x <= p.x && p.x <= w.x + w.width && w.y <= p.y && p.y <= w.y + w.height;
}

bool containsClosed(const Layer& layer, CardPoint p)
{
    return layer.hasRect() && layer.x <= p.x && p.x <= layer.x + layer.width && layer.y <= p.y &&
           p.y <= layer.y + layer.height;
}

} // namespace

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

void CanvasEffects::merge(const CanvasEffects& other)
{
    repaint = repaint || other.repaint;
    if (other.statusPart1)
        statusPart1 = other.statusPart1;
    if (other.statusPart2)
        statusPart2 = other.statusPart2;
    draftChanged = draftChanged || other.draftChanged;
    cursorChanged = cursorChanged || other.cursorChanged;
    showPropertyWindow = showPropertyWindow || other.showPropertyWindow;
    consumed = consumed || other.consumed;
    watermarksChanged = watermarksChanged || other.watermarksChanged;
}

CanvasController::CanvasController(EditorDocument& document, EditorState& state)
    : m_document(document), m_state(state)
{
}

bool CanvasController::setZoom(double zoom)
{
    if (zoom == m_zoom || !(zoom > 0))
        return false;
    m_zoom = zoom;
    return true;
}

std::int32_t CanvasController::cardWidth() const
{
    return m_document.tpl().background.width;
}

std::int32_t CanvasController::cardHeight() const
{
    return m_document.tpl().background.height;
}

const Layer* CanvasController::currentLayer() const
{
    if (m_state.currentKind != CurrentKind::Layer || !m_state.currentLayer)
        return nullptr;
    return m_document.layer(*m_state.currentLayer);
}

std::vector<const Layer*> CanvasController::markedLayers() const
{
    std::vector<const Layer*> marked;
    for (const Layer& layer : m_document.tpl().layers) {
        if (m_state.isMarked(layer.id))
            marked.push_back(&layer);
    }
    return marked;
}

CardPoint CanvasController::clampToCard(CardPoint p) const
{
    return {std::clamp(p.x, 0, cardWidth()), std::clamp(p.y, 0, cardHeight())};
}

int CanvasController::grabZone() const
{
    return static_cast<int>(kHandleZone / m_zoom);
}

std::optional<LayerId> CanvasController::pickAt(CardPoint p) const
{
    const auto& layers = m_document.tpl().layers;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        if (contains(*it, p))
            return it->id;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> CanvasController::pickWatermarkAt(CardPoint p) const
{
    if (!m_state.watermarksShown)
        return std::nullopt;
    const auto& items = m_state.watermarks.items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (contains(*it, p))
            return it->id;
    }
    return std::nullopt;
}

DragKind CanvasController::hitTestCurrent(CardPoint p) const
{
    if (const Watermark* watermark = m_state.current()) {
        return m_state.watermarksShown && containsClosed(*watermark, p) ? DragKind::MoveWatermark
                                                                         : DragKind::None;
    }
    if (m_state.mode == CanvasMode::MultiSelected) {
        for (const Layer* layer : markedLayers()) {
            if (containsClosed(*layer, p))
                return DragKind::MoveGroup;
        }
        return DragKind::None;
    }
    const Layer* layer = currentLayer();
    if (!layer || !layer->hasRect())
        return DragKind::None;
    const int g = grabZone();
    const int half = g / 2;
    const int l = layer->x;
    const int t = layer->y;
    const int r = layer->x + layer->width;
    const int b = layer->y + layer->height;
    const int my = t + layer->height / 2 - half;
    const int mx = l + layer->width / 2 - half;
    const auto in = [](int v, int from, int to) { return from <= v && v <= to; };
    struct Zone {
        DragKind kind;
        int x0, x1, y0, y1;
    };
    const Zone zones[] = {
        {DragKind::TopLeft, l - g, l, t - g, t},     {DragKind::Left, l - g, l, my, my + g},
        {DragKind::BottomLeft, l - g, l, b, b + g},  {DragKind::Top, mx, mx + g, t - g, t},
        {DragKind::Bottom, mx, mx + g, b, b + g},    {DragKind::TopRight, r, r + g, t - g, t},
        {DragKind::Right, r, r + g, my, my + g},     {DragKind::BottomRight, r, r + g, b, b + g},
        {DragKind::MoveLayer, l, r, t, b},
    };
    for (const Zone& zone : zones) {
        if (in(p.x, zone.x0, zone.x1) && in(p.y, zone.y0, zone.y1))
            return zone.kind;
    }
    return DragKind::None;
}

CanvasCursor CanvasController::cursorFor(CardPoint p) const
{
    switch (hitTestCurrent(p)) {
    case DragKind::TopLeft:
    case DragKind::BottomRight:
        return CanvasCursor::SizeNWSE;
    case DragKind::BottomLeft:
    case DragKind::TopRight:
        return CanvasCursor::SizeNESW;
    case DragKind::Left:
    case DragKind::Right:
        return CanvasCursor::SizeWE;
    case DragKind::Top:
    case DragKind::Bottom:
        return CanvasCursor::SizeNS;
    case DragKind::MoveLayer:
    case DragKind::MoveWatermark:
    case DragKind::MoveGroup:
        return CanvasCursor::SizeAll;
    case DragKind::None:
        break;
    }
    return CanvasCursor::Arrow;
}

CanvasCursor CanvasController::cursorShown(bool pointerOverCanvas, bool ctrlHeld) const
{
    if (m_pan == PanState::Panning || (m_pan == PanState::Armed && pointerOverCanvas))
        return CanvasCursor::Hand;
    switch (m_state.mode) {
    case CanvasMode::PlacingLayer:
    case CanvasMode::DrawingLayer:
        return CanvasCursor::Cross;
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
        return m_computedCursor;
    case CanvasMode::MultiSelected:
        return ctrlHeld ? CanvasCursor::Arrow : m_computedCursor;
    default:
        return CanvasCursor::Arrow;
    }
}

void CanvasController::selectOnly(std::optional<LayerId> id)
{
    std::vector<std::size_t> rows;
    if (id)
        rows = m_document.rowsOf({*id});
    selectLayerRows(m_state, m_document.tpl().layers, rows);
}

void CanvasController::selectWatermarkById(std::uint32_t id)
{
    selectWatermark(m_state, id);
}

void CanvasController::setRowSelected(LayerId id, bool selected)
{
    const auto row = m_document.indexOf(id);
    if (!row || m_state.isMarked(id) == selected)
        return;
    std::vector<std::size_t> rows = m_document.rowsOf(m_state.marked);
    if (selected)
        rows.push_back(*row);
    else
        std::erase(rows, *row);
    std::sort(rows.begin(), rows.end());
    applyLayerSelectionChanges(m_state, m_document.tpl().layers, rows,
                               {{*row, !selected, selected}});
}

void CanvasController::startDrag(CardPoint p)
{
    m_state.drag = hitTestCurrent(p);
    m_computedCursor = cursorFor(p);
    m_lastPoint = p;
    const Layer* layer = currentLayer();
    if (!layer || !isHandle(m_state.drag))
        return;
    const DragKind d = m_state.drag;
    if (movesLeft(d)) {
        m_fixedX = layer->x + layer->width;
        m_grabX = layer->x - p.x;
    } else if (movesRight(d)) {
        m_fixedX = layer->x;
        m_grabX = p.x - (layer->x + layer->width);
    }
    if (movesTop(d)) {
        m_fixedY = layer->y + layer->height;
        m_grabY = layer->y - p.y;
    } else if (movesBottom(d)) {
        m_fixedY = layer->y;
        m_grabY = p.y - (layer->y + layer->height);
    }
}

void CanvasController::saveGeometry()
{
    m_saved.clear();
    m_savedWatermark.reset();
    if (const Watermark* watermark = m_state.current())
        m_savedWatermark = CardPoint{watermark->x, watermark->y};
    if (m_state.mode == CanvasMode::MultiSelected) {
        for (const Layer* layer : markedLayers())
            m_saved.push_back(rectOf(*layer));
    } else if (const Layer* layer = currentLayer()) {
        m_saved.push_back(rectOf(*layer));
    }
}

std::optional<LayerRect> CanvasController::draftRect() const
{
    if (!m_draft || (m_state.mode != CanvasMode::PlacingLayer &&
                     m_state.mode != CanvasMode::DrawingLayer) ||
        m_state.currentLayer != m_draft->id)
        return std::nullopt;
    return m_draft;
}

LayerRect CanvasController::shownRect(const Layer& layer) const
{
    if (const auto draft = draftRect(); draft && draft->id == layer.id)
        return *draft;
    return rectOf(layer);
}

CanvasEffects CanvasController::report() const
{
    CanvasEffects effects;
    switch (m_state.mode) {
    case CanvasMode::PlacingLayer:
        effects.draftChanged = true;
        break;
    case CanvasMode::DrawingLayer:
        effects.draftChanged = true;
        if (const auto draft = draftRect()) {
            const LayerRect r = normalisedRect(*draft);
            effects.statusPart2 = sizeStatusText(r.width, r.height);
        }
        break;
    case CanvasMode::LayerSelected:
        if (const Layer* layer = currentLayer())
            effects.statusPart2 = sizeStatusText(layer->width, layer->height);
        break;
    case CanvasMode::WatermarkSelected:
        if (const Watermark* watermark = m_state.current()) {
            effects.statusPart2 = sizeStatusText(watermark->width, watermark->height);
            effects.watermarksChanged = true;
        }
        break;
    default:
        break;
    }
    return effects;
}

LayerRect CanvasController::clampedMove(const Layer& layer, int dx, int dy) const
{
    LayerRect r = rectOf(layer);
    r.x += dx;
    r.y += dy;
    if (r.x < 0)
        r.x = 0;
    else if (r.x + r.width > cardWidth())
        r.x = cardWidth() - r.width;
    if (r.y < 0)
        r.y = 0;
    else if (r.y + r.height > cardHeight())
        r.y = cardHeight() - r.height;
    return r;
}

CardPoint CanvasController::clampedWatermarkMove(const Watermark& w, int dx, int dy) const
{
    CardPoint moved{w.x + dx, w.y + dy};
    if (moved.x < 0)
        moved.x = 0;
    else if (moved.x + w.width > cardWidth())
        moved.x = cardWidth() - w.width;
    if (moved.y < 0)
        moved.y = 0;
    else if (moved.y + w.height > cardHeight())
        moved.y = cardHeight() - w.height;
    return moved;
}

CanvasEffects CanvasController::press(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    const CardPoint clamped = clampToCard(p);
    const auto startBand = [&] {
        m_state.mode = CanvasMode::BandArmed;
        m_state.drag = DragKind::None;
        m_lastPoint = clamped;
        m_bandEnd = clamped;
        effects.repaint = true;
    };
    // A press on a layer selects it alone and grabs it (or, with Ctrl, adds it); a press on
    // nothing lets the selection go and starts a band.
    const auto pickOrBand = [&](bool ctrlAdds) {
        if (const auto watermark = pickWatermarkAt(p)) {
            selectWatermarkById(*watermark);
            startDrag(p);
        } else if (const auto hit = pickAt(p)) {
            if (ctrlAdds) {
                setRowSelected(*hit, true);
            } else {
                selectOnly(*hit);
                startDrag(p);
            }
        } else {
            if (m_state.currentKind == CurrentKind::Watermark)
                selectWatermark(m_state, std::nullopt);
            else
                selectOnly(std::nullopt);
            startBand();
        }
    };

    switch (m_state.mode) {
    case CanvasMode::Idle:
        pickOrBand(false);
        break;
    case CanvasMode::PlacingLayer:
        if (m_state.currentLayer) {
            m_draft = LayerRect{*m_state.currentLayer, clamped.x, clamped.y, -1, -1};
            m_draftMoved = false;
            m_state.mode = CanvasMode::DrawingLayer;
            effects.merge(report());
        }
        break;
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
        if (hitTestCurrent(p) != DragKind::None)
            startDrag(p);
        else
            pickOrBand(m_state.mode == CanvasMode::LayerSelected && modifiers.ctrl);
        break;
    case CanvasMode::MultiSelected: {
        const DragKind drag = hitTestCurrent(p);
        if (drag == DragKind::MoveGroup) {
            if (modifiers.ctrl) {
                const auto& layers = m_document.tpl().layers;
                for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
                    if (m_state.isMarked(it->id) && contains(*it, p)) {
                        setRowSelected(it->id, false);
                        break;
                    }
                }
            }
            m_state.drag = DragKind::MoveGroup;
            m_lastPoint = p;
        } else {
            pickOrBand(modifiers.ctrl);
        }
        break;
    }
    default:
        break;
    }
    if (m_state.drag == DragKind::MoveLayer || m_state.drag == DragKind::MoveGroup ||
        m_state.drag == DragKind::MoveWatermark) {
        m_computedCursor = CanvasCursor::SizeAll;
        effects.cursorChanged = true;
    }
    m_dragStep.reset();
    if (m_state.mode == CanvasMode::DrawingLayer)
        m_dragStep.emplace(m_document.beginStep("绘制图层"));
    else if (m_state.drag == DragKind::MoveLayer || m_state.drag == DragKind::MoveGroup)
        m_dragStep.emplace(m_document.beginStep("移动图层"));
    else if (m_state.drag != DragKind::None && m_state.drag != DragKind::MoveWatermark)
        m_dragStep.emplace(m_document.beginStep("调整图层大小"));
    saveGeometry();
    return effects;
}

CanvasEffects CanvasController::move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown)
{
    CanvasEffects effects;
    m_pointerInCard = 0 <= p.x && p.x <= cardWidth() && 0 <= p.y && p.y <= cardHeight();
    effects.statusPart1 =
        m_pointerInCard ? std::to_string(p.x) + ", " + std::to_string(p.y) : std::string();
    if (m_state.drag == DragKind::None &&
        (m_state.mode == CanvasMode::LayerSelected ||
         m_state.mode == CanvasMode::WatermarkSelected ||
         m_state.mode == CanvasMode::MultiSelected)) {
        const CanvasCursor cursor = cursorFor(p);
        effects.cursorChanged = cursor != m_computedCursor;
        m_computedCursor = cursor;
    }
    const CardPoint clamped = clampToCard(p);

    switch (m_state.mode) {
    case CanvasMode::PlacingLayer:
        if (m_state.currentLayer) {
            m_draft = m_pointerInCard ? LayerRect{*m_state.currentLayer, p.x, p.y, -1, -1}
                                      : LayerRect{*m_state.currentLayer, -1, -1, -1, -1};
            effects.merge(report());
        }
        break;
    case CanvasMode::DrawingLayer:
        if (leftButtonDown && m_draft) {
            std::int32_t w = clamped.x - m_draft->x;
            std::int32_t h = clamped.y - m_draft->y;
            if (modifiers.shift) {
                const std::int32_t a = std::abs(w);
                const std::int32_t b = std::abs(h);
                if (a < b)
                    h = h < 1 ? -a : a;
                else
                    w = w < 1 ? -b : b;
            }
            m_draft->width = w;
            m_draft->height = h;
            m_draftMoved = true;
            effects.merge(report());
            effects.repaint = true;
        }
        break;
    case CanvasMode::LayerSelected:
        if (leftButtonDown)
            effects.merge(moveCurrent(p, modifiers));
        break;
    case CanvasMode::WatermarkSelected:
        if (leftButtonDown && m_state.drag == DragKind::MoveWatermark) {
            if (const Watermark* watermark = m_state.current()) {
                const CardPoint moved =
                    clampedWatermarkMove(*watermark, p.x - m_lastPoint.x, p.y - m_lastPoint.y);
                m_state.watermarks.move(watermark->id, moved.x, moved.y);
                m_lastPoint = p;
                effects.merge(report());
                effects.repaint = true;
            }
        }
        break;
    case CanvasMode::BandArmed:
    case CanvasMode::BandDragging:
        if (leftButtonDown) {
            m_state.mode = CanvasMode::BandDragging;
            m_bandEnd = clamped;
            bandSelect(effects);
            effects.repaint = true;
        }
        break;
    case CanvasMode::MultiSelected:
        if (leftButtonDown && m_state.drag == DragKind::MoveGroup)
            effects.merge(moveGroup(p));
        break;
    default:
        break;
    }
    return effects;
}

CanvasEffects CanvasController::moveCurrent(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    const Layer* layer = currentLayer();
    const DragKind d = m_state.drag;
    if (!layer || d == DragKind::None || d == DragKind::MoveGroup || d == DragKind::MoveWatermark)
        return effects;
    LayerRect r = rectOf(*layer);
    if (d == DragKind::MoveLayer) {
        r = clampedMove(*layer, p.x - m_lastPoint.x, p.y - m_lastPoint.y);
        // The pointer is followed even where the layer stopped at an edge.
        m_lastPoint = p;
    } else {
        std::int32_t left = r.x;
        std::int32_t top = r.y;
        std::int32_t right = r.x + r.width;
        std::int32_t bottom = r.y + r.height;
        if (movesLeft(d))
            left = std::clamp(p.x + m_grabX, 0, std::max(0, m_fixedX - 1));
        if (movesTop(d))
            top = std::clamp(p.y + m_grabY, 0, std::max(0, m_fixedY - 1));
        if (movesRight(d))
            right = p.x - m_grabX > m_fixedX ? std::min(p.x - m_grabX, cardWidth()) : m_fixedX + 1;
        if (movesBottom(d))
            bottom =
                p.y - m_grabY > m_fixedY ? std::min(p.y - m_grabY, cardHeight()) : m_fixedY + 1;
        const bool corner = (movesLeft(d) || movesRight(d)) && (movesTop(d) || movesBottom(d));
        if (modifiers.shift && corner) {
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
        r = {layer->id, left, top, right - left, bottom - top};
    }
    m_document.setLayerGeometry({r});
    effects.merge(report());
    effects.repaint = true;
    return effects;
}

CanvasEffects CanvasController::moveGroup(CardPoint p)
{
    CanvasEffects effects;
    int dx = p.x - m_lastPoint.x;
    int dy = p.y - m_lastPoint.y;
    bool moveX = dx != 0;
    bool moveY = dy != 0;
    const std::vector<const Layer*> marked = markedLayers();
    for (const Layer* layer : marked) {
        limitGroupStep(dx, moveX, layer->x, layer->width, cardWidth());
        limitGroupStep(dy, moveY, layer->y, layer->height, cardHeight());
    }
    if (moveX || moveY) {
        std::vector<LayerRect> rects;
        for (const Layer* layer : marked)
            rects.push_back(clampedMove(*layer, moveX ? dx : 0, moveY ? dy : 0));
        m_document.setLayerGeometry(rects);
        effects.repaint = true;
    }
    m_lastPoint.x += dx;
    m_lastPoint.y += dy;
    return effects;
}

void CanvasController::bandSelect(CanvasEffects& effects)
{
    const int left = std::min(m_lastPoint.x, m_bandEnd.x);
    const int right = std::max(m_lastPoint.x, m_bandEnd.x);
    const int top = std::min(m_lastPoint.y, m_bandEnd.y);
    const int bottom = std::max(m_lastPoint.y, m_bandEnd.y);
    const bool empty = left == right || top == bottom;
    std::vector<LayerId> marked;
    for (const Layer& layer : m_document.tpl().layers) {
        if (empty || !layer.hasRect())
            continue;
        // Right and bottom edges are outside, of the band and of the layer.
        if (layer.x < right && left < layer.x + layer.width && layer.y < bottom &&
            top < layer.y + layer.height)
            marked.push_back(layer.id);
    }
    std::vector<LayerId> before = m_state.marked;
    std::sort(before.begin(), before.end());
    std::vector<LayerId> after = marked;
    std::sort(after.begin(), after.end());
    if (before == after)
        return;
    m_state.marked = marked;
    SelectionEffects selection;
    selection.ignored = false;
    selection.repaintCanvas = true;
    if (!marked.empty())
        selection.scrollRowIntoView = m_document.indexOf(marked.back());
    m_state.announce(selection);
    effects.repaint = true;
}

CanvasEffects CanvasController::release(CardPoint p)
{
    CanvasEffects effects;
    switch (m_state.mode) {
    case CanvasMode::DrawingLayer:
        if (m_draft && m_draft->x != -1) {
            LayerRect r = *m_draft;
            if (!m_draftMoved) {
                // A click without a move gives a rectangle of a usable size at the point.
                r.width = std::min(100, cardWidth());
                r.height = std::min(40, cardHeight());
                r.x = std::max(0, std::min(r.x, cardWidth() - r.width));
                r.y = std::max(0, std::min(r.y, cardHeight() - r.height));
            }
            r = normalisedRect(r);
            r.width = std::max(r.width, 1);
            r.height = std::max(r.height, 1);
            m_draft.reset();
            m_state.mode = CanvasMode::LayerSelected;
            m_document.setLayerGeometry({r});
            effects.merge(report());
            effects.repaint = true;
            effects.showPropertyWindow = true;
        }
        break;
    case CanvasMode::BandArmed:
        m_state.mode = CanvasMode::Idle;
        m_state.drag = DragKind::None;
        break;
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
        m_state.drag = DragKind::None;
        break;
    case CanvasMode::BandDragging:
    case CanvasMode::MultiSelected: {
        const std::vector<const Layer*> marked = markedLayers();
        m_state.drag = DragKind::None;
        if (marked.empty()) {
            m_state.mode = CanvasMode::Idle;
        } else if (marked.size() == 1) {
            m_state.mode = CanvasMode::LayerSelected;
            selectOnly(marked.front()->id);
        } else {
            m_state.mode = CanvasMode::MultiSelected;
            m_computedCursor = cursorFor(p);
            effects.cursorChanged = true;
        }
        effects.repaint = true;
        break;
    }
    default:
        break;
    }
    m_dragStep.reset();
    saveGeometry();
    return effects;
}

CanvasEffects CanvasController::leave()
{
    CanvasEffects effects;
    if (m_state.mode == CanvasMode::PlacingLayer && m_state.currentLayer) {
        m_draft = LayerRect{*m_state.currentLayer, -1, -1, -1, -1};
        effects.merge(report());
        effects.repaint = true;
    }
    return effects;
}

bool CanvasController::autoScrolls() const
{
    return m_state.mode == CanvasMode::DrawingLayer || m_state.mode == CanvasMode::BandDragging ||
           m_state.drag != DragKind::None;
}

CanvasEffects CanvasController::arrowKey(int dx, int dy, KeyModifiers modifiers)
{
    CanvasEffects effects;
    if (modifiers.ctrl && modifiers.shift)
        return effects;
    const int step = modifiers.shift ? 5 : 1;
    // A run of arrow keys on the same selection is one undo step.
    std::string key = modifiers.ctrl ? "size" : "move";
    for (LayerId id : m_state.marked)
        key += ":" + std::to_string(id);
    const EditStep edit =
        m_document.beginStep(modifiers.ctrl ? "调整图层大小" : "移动图层", std::move(key));
    std::vector<LayerRect> rects;
    if (m_state.mode == CanvasMode::LayerSelected && m_state.drag == DragKind::None) {
        const Layer* layer = currentLayer();
        if (!layer || !layer->hasRect())
            return effects;
        LayerRect r = rectOf(*layer);
        if (modifiers.ctrl) {
            r.width = std::clamp(r.width + dx, 1, std::max(1, cardWidth() - r.x));
            r.height = std::clamp(r.height + dy, 1, std::max(1, cardHeight() - r.y));
        } else {
            r = clampedMove(*layer, dx * step, dy * step);
        }
        rects.push_back(r);
    } else if (m_state.mode == CanvasMode::WatermarkSelected && m_state.drag == DragKind::None) {
        const Watermark* watermark = m_state.current();
        if (!watermark)
            return effects;
        const CardPoint moved = clampedWatermarkMove(*watermark, dx * step, dy * step);
        m_state.watermarks.move(watermark->id, moved.x, moved.y);
        effects.consumed = true;
        effects.merge(report());
        effects.repaint = true;
        return effects;
    } else if (m_state.mode == CanvasMode::MultiSelected) {
        const std::vector<const Layer*> marked = markedLayers();
        if (modifiers.ctrl) {
            for (const Layer* layer : marked) {
                const int w = layer->width + dx;
                const int h = layer->height + dy;
                if (w < 1 || w > cardWidth() - layer->x || h < 1 || h > cardHeight() - layer->y)
                    return effects;
                rects.push_back({layer->id, layer->x, layer->y, w, h});
            }
        } else {
            int sx = dx * step;
            int sy = dy * step;
            bool moveX = true;
            bool moveY = true;
            for (const Layer* layer : marked) {
                // Without Shift nothing moves when a layer would leave the card; with Shift
                // the step stops at the edge.
                if (!modifiers.shift &&
                    (layer->x + sx < 0 || layer->x + layer->width + sx > cardWidth() ||
                     layer->y + sy < 0 || layer->y + layer->height + sy > cardHeight()))
                    return effects;
                limitGroupStep(sx, moveX, layer->x, layer->width, cardWidth());
                limitGroupStep(sy, moveY, layer->y, layer->height, cardHeight());
            }
            if (!moveX || !moveY)
                return effects;
            for (const Layer* layer : marked)
                rects.push_back(clampedMove(*layer, sx, sy));
        }
    } else {
        return effects;
    }
    effects.consumed = true;
    m_document.setLayerGeometry(rects);
    effects.merge(report());
    effects.repaint = true;
    return effects;
}

CanvasEffects CanvasController::escape()
{
    CanvasEffects effects;
    const bool restoresWatermark =
        m_state.mode == CanvasMode::WatermarkSelected && m_state.drag != DragKind::None;
    const bool restores =
        (m_state.mode == CanvasMode::LayerSelected && m_state.drag != DragKind::None) ||
        (m_state.mode == CanvasMode::MultiSelected && m_state.drag == DragKind::MoveGroup) ||
        restoresWatermark;
    if (!restores)
        return effects;
    if (restoresWatermark) {
        if (const Watermark* watermark = m_state.current(); watermark && m_savedWatermark)
            m_state.watermarks.move(watermark->id, m_savedWatermark->x, m_savedWatermark->y);
    } else {
        m_document.setLayerGeometry(m_saved);
    }
    m_state.drag = DragKind::None;
    m_dragStep.reset();
    effects.merge(report());
    effects.repaint = true;
    effects.consumed = true;
    return effects;
}

CanvasEffects CanvasController::ctrlKey(bool down, std::optional<CardPoint> pointer)
{
    CanvasEffects effects;
    if (m_state.mode != CanvasMode::MultiSelected)
        return effects;
    if (down && m_state.drag != DragKind::MoveGroup) {
        m_computedCursor = CanvasCursor::Arrow;
        effects.cursorChanged = true;
    } else if (!down && pointer) {
        m_computedCursor = cursorFor(*pointer);
        effects.cursorChanged = true;
    }
    return effects;
}

bool CanvasController::spaceDown(bool leftButtonDown)
{
    if (m_state.mode == CanvasMode::DrawingLayer || m_state.mode == CanvasMode::BandDragging ||
        m_state.drag != DragKind::None || m_pan != PanState::Off || leftButtonDown)
        return false;
    m_pan = PanState::Armed;
    return true;
}

void CanvasController::spaceUp()
{
    if (m_pan == PanState::Armed)
        m_pan = PanState::Off;
}

void CanvasController::beginPan(int screenX, int screenY)
{
    m_pan = PanState::Panning;
    m_panX = screenX;
    m_panY = screenY;
}

std::pair<int, int> CanvasController::panTo(int screenX, int screenY)
{
    const std::pair<int, int> delta{m_panX - screenX, m_panY - screenY};
    m_panX = screenX;
    m_panY = screenY;
    return delta;
}

void CanvasController::endPan(bool spaceStillDown)
{
    m_pan = spaceStillDown ? PanState::Armed : PanState::Off;
}

CanvasEffects CanvasController::align(AlignEdge edge)
{
    CanvasEffects effects;
    const std::vector<const Layer*> marked = markedLayers();
    if (marked.empty())
        return effects;
    const Layer* reference = m_menuReference ? m_document.layer(*m_menuReference) : nullptr;
    std::int32_t top = 0, bottom = 0, left = 0, right = 0;
    if (reference) {
        top = reference->y;
        bottom = reference->y + reference->height;
        left = reference->x;
        right = reference->x + reference->width;
    } else {
        top = marked.front()->y;
        bottom = marked.front()->y + marked.front()->height;
        left = marked.front()->x;
        right = marked.front()->x + marked.front()->width;
        for (const Layer* layer : marked) {
            top = std::min(top, layer->y);
            bottom = std::max(bottom, layer->y + layer->height);
            left = std::min(left, layer->x);
            right = std::max(right, layer->x + layer->width);
        }
    }
    std::vector<LayerRect> rects;
    for (const Layer* layer : marked) {
        LayerRect r = rectOf(*layer);
        switch (edge) {
        case AlignEdge::Top:
            r.y = top;
            break;
        case AlignEdge::Bottom:
            r.y = bottom - r.height;
            break;
        case AlignEdge::Left:
            r.x = left;
            break;
        case AlignEdge::Right:
            r.x = right - r.width;
            break;
        }
        rects.push_back(r);
    }
    m_document.setLayerGeometry(rects);
    effects.merge(report());
    effects.repaint = true;
    return effects;
}

namespace {

// The command that picks the nth layer or watermark: the ids of a hundred give room for 99,
// and an entry past them is no command, never the first pick of the next range.
int pickId(int base, std::int32_t number)
{
    return number >= 1 && number < kPickRange ? base + number : 0;
}

} // namespace

std::vector<ContextMenuEntry> CanvasController::contextMenu(CardPoint p)
{
    using Kind = ContextMenuEntry::Kind;
    std::vector<ContextMenuEntry> menu;
    m_menuReference.reset();
    int hits = 0;
    bool markedHit = false;
    if (m_pointerInCard) {
        for (const Layer& layer : m_document.tpl().layers) {
            if (!contains(layer, p))
                continue;
            ++hits;
            m_menuReference = layer.id;
            menu.push_back({Kind::Item, pickId(kPickLayerBase, layer.number),
                            "图层 " + std::to_string(layer.number),
                            m_state.currentKind == CurrentKind::Layer &&
                                m_state.currentLayer == layer.id});
            markedHit = markedHit || m_state.isMarked(layer.id);
        }
        bool first = true;
        for (const Watermark& watermark : m_state.watermarks.items()) {
            if (!m_state.watermarksShown || !contains(watermark, p))
                continue;
            if (first && !menu.empty())
                menu.push_back({Kind::Separator, 0, {}, false});
            first = false;
            menu.push_back({Kind::Item, pickId(kPickWatermarkBase, watermark.number),
                            "水印 " + std::to_string(watermark.number),
                            m_state.current() && m_state.current()->id == watermark.id});
        }
    }
    if (menu.empty()) {
        menu.push_back({Kind::Item, 35300, "新建\t字", false});
        menu.push_back({Kind::Item, 35301, "新建\t图", false});
        menu.push_back({Kind::Separator, 0, {}, false});
        menu.push_back({Kind::Item, 35311, "刷新", false});
        return menu;
    }
    if (m_state.mode != CanvasMode::MultiSelected || !markedHit)
        return menu;
    if (hits == 1) {
        menu.push_back({Kind::Separator, 0, {}, false});
        menu.push_back({Kind::AlignMenu, 0, "对齐", false});
    } else {
        m_menuReference.reset();
    }
    const std::vector<const Layer*> marked = markedLayers();
    if (std::any_of(marked.begin(), marked.end(),
                    [](const Layer* layer) { return layer->type == LayerType::Picture; })) {
        menu.push_back({Kind::Separator, 0, {}, false});
        menu.push_back({Kind::LevelMenu, 0, "层次", false});
        menu.push_back({Kind::OverflowMenu, 0, "溢出样式", false});
    }
    return menu;
}

void CanvasController::pickWatermarkNumber(int number)
{
    const auto& items = m_state.watermarks.items();
    if (number >= 1 && static_cast<std::size_t>(number) <= items.size())
        selectWatermarkById(items[static_cast<std::size_t>(number) - 1].id);
}

bool CanvasController::doubleClickReplacesWatermark(CardPoint p) const
{
    const Watermark* watermark = m_state.current();
    return m_state.mode == CanvasMode::WatermarkSelected && watermark &&
           m_state.watermarksShown && containsClosed(*watermark, p);
}

void CanvasController::pickLayerNumber(int number)
{
    const auto& layers = m_document.tpl().layers;
    if (number < 1 || static_cast<std::size_t>(number) > layers.size())
        return;
    selectLayerRows(m_state, layers, {static_cast<std::size_t>(number - 1)});
}

} // namespace torvale
