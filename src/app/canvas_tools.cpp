#include "app/canvas_tools.h"

#include "render/picture_input.h"

#include <algorithm>

namespace torvale {

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

CanvasCursor cursorForGrab(DragKind grab)
{
    switch (grab) {
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

CardSize CanvasContext::card() const
{
    // A size beyond the image library's limits is never drawn; the canvas stops at the largest
    // side it could draw, which also keeps zoomed screen positions within int.
    const BackgroundLayer& background = document.tpl().background;
    return {std::min<std::int32_t>(background.width, kMaxPictureSide),
            std::min<std::int32_t>(background.height, kMaxPictureSide)};
}

const Layer* CanvasContext::currentLayer() const
{
    if (state.currentKind() != CurrentKind::Layer || !state.currentLayer())
        return nullptr;
    return document.layer(*state.currentLayer());
}

std::vector<const Layer*> CanvasContext::markedLayers() const
{
    std::vector<const Layer*> marked;
    for (const Layer& layer : document.tpl().layers) {
        if (state.isMarked(layer.id))
            marked.push_back(&layer);
    }
    return marked;
}

DragKind CanvasContext::hitTestCurrent(CardPoint p) const
{
    if (const Watermark* watermark = state.current()) {
        return state.watermarksShown && inClosedRect(rectOf(*watermark), p)
                   ? DragKind::MoveWatermark
                   : DragKind::None;
    }
    if (state.mode == CanvasMode::MultiSelected) {
        for (const Layer* layer : markedLayers()) {
            if (inClosedRect(*layer, p))
                return DragKind::MoveGroup;
        }
        return DragKind::None;
    }
    const Layer* layer = currentLayer();
    if (!layer || !layer->hasRect())
        return DragKind::None;
    return grabAt(rectOf(*layer), p, zone());
}

std::optional<LayerRect> CanvasContext::draftRect() const
{
    if (!draft ||
        (state.mode != CanvasMode::PlacingLayer && state.mode != CanvasMode::DrawingLayer) ||
        state.currentLayer() != draft->id)
        return std::nullopt;
    return draft;
}

CanvasEffects CanvasContext::report() const
{
    CanvasEffects effects;
    switch (state.mode) {
    case CanvasMode::PlacingLayer:
        effects.draftChanged = true;
        break;
    case CanvasMode::DrawingLayer:
        effects.draftChanged = true;
        if (const auto shown = draftRect()) {
            const LayerRect r = normalisedRect(*shown);
            effects.statusPart2 = sizeStatusText(r.width, r.height);
        }
        break;
    case CanvasMode::LayerSelected:
        if (const Layer* layer = currentLayer())
            effects.statusPart2 = sizeStatusText(layer->width, layer->height);
        break;
    case CanvasMode::WatermarkSelected:
        if (const Watermark* watermark = state.current()) {
            effects.statusPart2 = sizeStatusText(watermark->width, watermark->height);
            effects.watermarksChanged = true;
        }
        break;
    default:
        break;
    }
    return effects;
}

void CanvasContext::selectOnly(std::optional<LayerId> id)
{
    std::vector<std::size_t> rows;
    if (id)
        rows = document.rowsOf({*id});
    selectLayerRows(state, document.tpl().layers, rows);
}

void CanvasContext::setRowSelected(LayerId id, bool selected)
{
    const auto row = document.indexOf(id);
    if (!row || state.isMarked(id) == selected)
        return;
    std::vector<std::size_t> rows = document.rowsOf(state.marked());
    if (selected)
        rows.push_back(*row);
    else
        std::erase(rows, *row);
    std::sort(rows.begin(), rows.end());
    applyLayerSelectionChanges(state, document.tpl().layers, rows, {{*row, !selected, selected}});
}

CanvasEffects CanvasContext::settleOnMarked(CardPoint p)
{
    CanvasEffects effects;
    const std::vector<const Layer*> marked = markedLayers();
    state.drag = DragKind::None;
    if (marked.empty()) {
        state.mode = CanvasMode::Idle;
    } else if (marked.size() == 1) {
        state.mode = CanvasMode::LayerSelected;
        selectOnly(marked.front()->id);
    } else {
        state.mode = CanvasMode::MultiSelected;
        cursor = cursorFor(p);
        effects.cursorChanged = true;
    }
    effects.repaint = true;
    return effects;
}

void CanvasContext::saveGeometry()
{
    saved.clear();
    savedWatermark.reset();
    if (const Watermark* watermark = state.current())
        savedWatermark = CardPoint{watermark->x, watermark->y};
    if (state.mode == CanvasMode::MultiSelected) {
        for (const Layer* layer : markedLayers())
            saved.push_back(rectOf(*layer));
    } else if (const Layer* layer = currentLayer()) {
        saved.push_back(rectOf(*layer));
    }
}

Snapper CanvasContext::snapper(const std::vector<LayerId>& dragged, KeyModifiers modifiers) const
{
    return Snapper(card(), document.tpl().layers, dragged, zoom,
                   document.settings().snapping && !modifiers.alt);
}

bool CanvasContext::setGuides(const SnapGuides& shown)
{
    if (guides == shown)
        return false;
    guides = shown;
    return true;
}

namespace {

/// The pointer's corner of a new rectangle snapped (the guides of the axes that snapped) and
/// kept on the card.
CardPoint snappedCorner(const CanvasContext& context, CardPoint p, KeyModifiers modifiers,
                        LayerId drawn, SnapGuides& guides)
{
    const CardSize card = context.card();
    const CardPoint at = clampToCard(p, card);
    const Snap snap = context.snapper({drawn}, modifiers).edges(at.x, at.y);
    CardPoint snapped = at;
    guides = {};
    if (snap.x && 0 <= at.x + snap.x->shift && at.x + snap.x->shift <= card.width) {
        snapped.x += snap.x->shift;
        guides.x = snap.x->line;
    }
    if (snap.y && 0 <= at.y + snap.y->shift && at.y + snap.y->shift <= card.height) {
        snapped.y += snap.y->shift;
        guides.y = snap.y->line;
    }
    return snapped;
}

} // namespace

CanvasEffects DrawTool::press(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    EditorState& state = m_context.state;
    if (state.mode == CanvasMode::PlacingLayer && state.currentLayer()) {
        SnapGuides guides;
        const CardPoint at = snappedCorner(m_context, p, modifiers, *state.currentLayer(), guides);
        effects.repaint = m_context.setGuides(guides);
        m_context.draft = LayerRect{*state.currentLayer(), at.x, at.y, -1, -1};
        m_draftMoved = false;
        state.mode = CanvasMode::DrawingLayer;
        effects.merge(m_context.report());
        effects.repaint = true; // the hint of the placing mode goes
    }
    return effects;
}

CanvasEffects DrawTool::move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown)
{
    CanvasEffects effects;
    EditorState& state = m_context.state;
    std::optional<LayerRect>& draft = m_context.draft;
    if (state.mode == CanvasMode::PlacingLayer && state.currentLayer()) {
        draft = m_context.pointerInCard ? LayerRect{*state.currentLayer(), p.x, p.y, -1, -1}
                                        : LayerRect{*state.currentLayer(), -1, -1, -1, -1};
        effects.merge(m_context.report());
    } else if (state.mode == CanvasMode::DrawingLayer && leftButtonDown && draft) {
        SnapGuides guides;
        const CardPoint corner = snappedCorner(m_context, p, modifiers, draft->id, guides);
        draft = drawnTo(*draft, corner, modifiers.shift);
        // A square's side may leave the snapped line again.
        if (draft->x + draft->width != corner.x)
            guides.x.reset();
        if (draft->y + draft->height != corner.y)
            guides.y.reset();
        m_context.setGuides(guides);
        m_draftMoved = true;
        effects.merge(m_context.report());
        effects.repaint = true;
    }
    return effects;
}

CanvasEffects DrawTool::release(CardPoint)
{
    CanvasEffects effects;
    std::optional<LayerRect>& draft = m_context.draft;
    if (m_context.state.mode != CanvasMode::DrawingLayer || !draft || draft->x == -1)
        return effects;
    const LayerRect r = finishedDraft(*draft, m_draftMoved, m_context.card());
    draft.reset();
    m_context.state.mode = CanvasMode::LayerSelected;
    m_context.document.setLayerGeometry({r});
    effects.merge(m_context.report());
    effects.repaint = true;
    effects.showPropertyWindow = true;
    return effects;
}

CanvasEffects DrawTool::leave()
{
    CanvasEffects effects;
    if (m_context.state.mode == CanvasMode::PlacingLayer && m_context.state.currentLayer()) {
        m_context.draft = LayerRect{*m_context.state.currentLayer(), -1, -1, -1, -1};
        effects.merge(m_context.report());
        effects.repaint = true;
    }
    return effects;
}

CanvasEffects BandTool::move(CardPoint p, KeyModifiers, bool leftButtonDown)
{
    CanvasEffects effects;
    if (!leftButtonDown)
        return effects;
    EditorState& state = m_context.state;
    state.mode = CanvasMode::BandDragging;
    m_context.bandEnd = clampToCard(p, m_context.card());
    effects.repaint = true;
    std::vector<LayerId> marked =
        layersInBand(m_context.document.tpl().layers, m_context.bandStart, m_context.bandEnd);
    std::vector<LayerId> before = state.marked();
    std::sort(before.begin(), before.end());
    std::vector<LayerId> after = marked;
    std::sort(after.begin(), after.end());
    if (before == after)
        return effects;
    state.setMarked(std::move(marked));
    SelectionEffects selection;
    selection.ignored = false;
    selection.repaintCanvas = true;
    if (!state.marked().empty())
        selection.scrollRowIntoView = m_context.document.indexOf(state.marked().back());
    state.announce(selection);
    return effects;
}

CanvasEffects BandTool::release(CardPoint p)
{
    EditorState& state = m_context.state;
    if (state.mode == CanvasMode::BandDragging)
        return m_context.settleOnMarked(p);
    // A click without a move selects nothing.
    state.mode = CanvasMode::Idle;
    state.drag = DragKind::None;
    return {};
}

bool PanTool::spaceDown(bool busy)
{
    if (busy || m_state != PanState::Off)
        return false;
    m_state = PanState::Armed;
    return true;
}

void PanTool::spaceUp()
{
    if (m_state == PanState::Armed)
        m_state = PanState::Off;
}

void PanTool::begin(int screenX, int screenY)
{
    m_state = PanState::Panning;
    m_x = screenX;
    m_y = screenY;
}

std::pair<int, int> PanTool::moveTo(int screenX, int screenY)
{
    const std::pair<int, int> delta{m_x - screenX, m_y - screenY};
    m_x = screenX;
    m_y = screenY;
    return delta;
}

void PanTool::end(bool spaceStillDown)
{
    m_state = spaceStillDown ? PanState::Armed : PanState::Off;
}

} // namespace torvale
