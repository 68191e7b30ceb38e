#include "app/canvas_controller.h"

#include <algorithm>
#include <string>

namespace torvale {

CanvasEffects CanvasController::align(AlignEdge edge)
{
    CanvasEffects effects;
    const std::vector<const Layer*> marked = m_context.markedLayers();
    if (marked.empty())
        return effects;
    const Layer* reference = m_menuReference ? m_context.document.layer(*m_menuReference) : nullptr;
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
    m_context.document.setLayerGeometry(rects);
    effects.merge(m_context.report());
    effects.repaint = true;
    return effects;
}

namespace {

// The command that picks the nth layer or watermark: a range has room for 99, and an entry
// past them is no command, never the first pick of the next range.
std::optional<CommandId> pick(const CommandRange& range, std::int32_t number)
{
    if (number < 1 || static_cast<std::size_t>(number) > range.size())
        return std::nullopt;
    return range.at(static_cast<std::size_t>(number) - 1);
}

} // namespace

std::vector<ContextMenuEntry> CanvasController::contextMenu(CardPoint p)
{
    using Kind = ContextMenuEntry::Kind;
    std::vector<ContextMenuEntry> menu;
    m_menuReference.reset();
    int hits = 0;
    bool markedHit = false;
    if (m_context.pointerInCard) {
        for (const Layer& layer : m_context.document.tpl().layers) {
            if (!inPickArea(layer, p))
                continue;
            ++hits;
            m_menuReference = layer.id;
            menu.push_back({Kind::Item, pick(kPickLayerCommands, layer.number),
                            "图层 " + std::to_string(layer.number),
                            m_context.state.currentKind() == CurrentKind::Layer &&
                                m_context.state.currentLayer() == layer.id});
            markedHit = markedHit || m_context.state.isMarked(layer.id);
        }
        bool first = true;
        for (const Watermark& watermark : m_context.state.watermarks.items()) {
            if (!m_context.state.watermarksShown || !inPickArea(rectOf(watermark), p))
                continue;
            if (first && !menu.empty())
                menu.push_back({Kind::Separator, std::nullopt, {}, false});
            first = false;
            menu.push_back(
                {Kind::Item, pick(kPickWatermarkCommands, watermark.number),
                 "水印 " + std::to_string(watermark.number),
                 m_context.state.current() && m_context.state.current()->id == watermark.id});
        }
    }
    if (menu.empty()) {
        menu.push_back({Kind::Item, CommandId::NewTextLayer, "新建\t字", false});
        menu.push_back({Kind::Item, CommandId::NewPictureLayer, "新建\t图", false});
        menu.push_back({Kind::Item, CommandId::NewCodeLayer, "新建\t码", false});
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back({Kind::Item, CommandId::Refresh, "刷新", false});
        return menu;
    }
    if (m_context.state.mode != CanvasMode::MultiSelected || !markedHit)
        return menu;
    if (hits == 1) {
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back({Kind::AlignMenu, std::nullopt, "对齐", false});
    } else {
        m_menuReference.reset();
    }
    const std::vector<const Layer*> marked = m_context.markedLayers();
    if (std::any_of(marked.begin(), marked.end(),
                    [](const Layer* layer) { return layer->type == LayerType::Picture; })) {
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back({Kind::LevelMenu, std::nullopt, "层次", false});
        menu.push_back({Kind::OverflowMenu, std::nullopt, "溢出样式", false});
    }
    return menu;
}

void CanvasController::pickWatermarkNumber(int number)
{
    const auto& items = m_context.state.watermarks.items();
    if (number >= 1 && static_cast<std::size_t>(number) <= items.size())
        selectWatermark(m_context.state, items[static_cast<std::size_t>(number) - 1].id);
}

void CanvasController::pickLayerNumber(int number)
{
    const auto& layers = m_context.document.tpl().layers;
    if (number < 1 || static_cast<std::size_t>(number) > layers.size())
        return;
    selectLayerRows(m_context.state, layers, {static_cast<std::size_t>(number - 1)});
}

} // namespace torvale
