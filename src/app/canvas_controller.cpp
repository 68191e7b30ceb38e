#include "app/canvas_controller.h"

#include <string>
#include <utility>

namespace torvale {

CanvasController::CanvasController(EditorDocument& document, EditorState& state)
    : m_context(document, state)
{
}

const CanvasTool& CanvasController::tool() const
{
    switch (m_context.state.mode) {
    case CanvasMode::PlacingLayer:
    case CanvasMode::DrawingLayer:
        return m_draw;
    case CanvasMode::BandArmed:
    case CanvasMode::BandDragging:
        return m_band;
    case CanvasMode::Idle:
    case CanvasMode::LayerSelected:
    case CanvasMode::WatermarkSelected:
    case CanvasMode::MultiSelected:
        break;
    }
    return m_select;
}

CanvasTool& CanvasController::tool()
{
    return const_cast<CanvasTool&>(std::as_const(*this).tool());
}

bool CanvasController::setZoom(double zoom)
{
    if (zoom == m_context.zoom || !(zoom > 0))
        return false;
    m_context.zoom = zoom;
    return true;
}

std::string CanvasController::hint() const
{
    if (m_context.state.mode == CanvasMode::PlacingLayer && m_context.state.currentLayer())
        return "在画布上拖动以绘制图层，Esc 取消";
    return {};
}

std::int32_t CanvasController::cardWidth() const
{
    return m_context.card().width;
}

std::int32_t CanvasController::cardHeight() const
{
    return m_context.card().height;
}

std::optional<LayerId> CanvasController::pickAt(CardPoint p) const
{
    return topmostLayerAt(m_context.document.tpl().layers, p);
}

std::optional<std::uint32_t> CanvasController::pickWatermarkAt(CardPoint p) const
{
    if (!m_context.state.watermarksShown)
        return std::nullopt;
    return topmostWatermarkAt(m_context.state.watermarks.items(), p);
}

DragKind CanvasController::hitTestCurrent(CardPoint p) const
{
    return m_context.hitTestCurrent(p);
}

CanvasCursor CanvasController::cursorFor(CardPoint p) const
{
    return m_context.cursorFor(p);
}

CanvasCursor CanvasController::cursorShown(bool pointerOverCanvas, bool ctrlHeld) const
{
    if (m_pan.state() == PanState::Panning ||
        (m_pan.state() == PanState::Armed && pointerOverCanvas))
        return CanvasCursor::Hand;
    return tool().cursor(ctrlHeld);
}

std::optional<LayerRect> CanvasController::draftRect() const
{
    return m_context.draftRect();
}

LayerRect CanvasController::shownRect(const Layer& layer) const
{
    if (const auto draft = draftRect(); draft && draft->id == layer.id)
        return *draft;
    return rectOf(layer);
}

void CanvasController::dropGuides(CanvasEffects& effects)
{
    if (m_context.setGuides({}))
        effects.repaint = true;
}

CanvasEffects CanvasController::press(CardPoint p, KeyModifiers modifiers)
{
    CanvasEffects effects;
    dropGuides(effects);
    effects.merge(tool().press(p, modifiers));
    // Whatever the tool grabbed, the drag it started is one undo step and Esc puts back the
    // geometry found now.
    EditorState& state = m_context.state;
    if (state.drag == DragKind::MoveLayer || state.drag == DragKind::MoveGroup ||
        state.drag == DragKind::MoveWatermark) {
        m_context.cursor = CanvasCursor::SizeAll;
        effects.cursorChanged = true;
    }
    m_context.dragStep.reset();
    if (state.mode == CanvasMode::DrawingLayer)
        m_context.dragStep.emplace(
            m_context.document.continueStep("绘制图层", EditorDocument::kNewLayerStepKey));
    else if (state.drag == DragKind::MoveLayer || state.drag == DragKind::MoveGroup)
        m_context.dragStep.emplace(m_context.document.beginStep("移动图层"));
    else if (state.drag != DragKind::None && state.drag != DragKind::MoveWatermark)
        m_context.dragStep.emplace(m_context.document.beginStep("调整图层大小"));
    m_context.saveGeometry();
    return effects;
}

CanvasEffects CanvasController::move(CardPoint p, KeyModifiers modifiers, bool leftButtonDown)
{
    CanvasEffects effects;
    const bool inCard = 0 <= p.x && p.x <= cardWidth() && 0 <= p.y && p.y <= cardHeight();
    m_context.pointerInCard = inCard;
    effects.statusPart1 = inCard ? std::to_string(p.x) + ", " + std::to_string(p.y) : std::string();
    effects.merge(tool().move(p, modifiers, leftButtonDown));
    return effects;
}

CanvasEffects CanvasController::release(CardPoint p)
{
    CanvasEffects effects = tool().release(p);
    dropGuides(effects);
    m_context.dragStep.reset();
    m_context.saveGeometry();
    return effects;
}

CanvasEffects CanvasController::leave()
{
    return tool().leave();
}

bool CanvasController::autoScrolls() const
{
    const CanvasMode mode = m_context.state.mode;
    return mode == CanvasMode::DrawingLayer || mode == CanvasMode::BandDragging ||
           m_context.state.drag != DragKind::None;
}

CanvasEffects CanvasController::arrowKey(int dx, int dy, KeyModifiers modifiers)
{
    return tool().arrowKey(dx, dy, modifiers);
}

CanvasEffects CanvasController::escape()
{
    CanvasEffects effects = tool().escape();
    if (effects.consumed)
        dropGuides(effects);
    return effects;
}

CanvasEffects CanvasController::ctrlKey(bool down, std::optional<CardPoint> pointer)
{
    return tool().ctrlKey(down, pointer);
}

bool CanvasController::spaceDown(bool leftButtonDown)
{
    return m_pan.spaceDown(autoScrolls() || leftButtonDown);
}

void CanvasController::spaceUp()
{
    m_pan.spaceUp();
}

void CanvasController::beginPan(int screenX, int screenY)
{
    m_pan.begin(screenX, screenY);
}

std::pair<int, int> CanvasController::panTo(int screenX, int screenY)
{
    return m_pan.moveTo(screenX, screenY);
}

void CanvasController::endPan(bool spaceStillDown)
{
    m_pan.end(spaceStillDown);
}

bool CanvasController::doubleClickReplacesWatermark(CardPoint p) const
{
    const EditorState& state = m_context.state;
    const Watermark* watermark = state.current();
    return state.mode == CanvasMode::WatermarkSelected && watermark && state.watermarksShown &&
           inClosedRect(rectOf(*watermark), p);
}

} // namespace torvale
