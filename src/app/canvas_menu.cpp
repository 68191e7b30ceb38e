#include "app/canvas_controller.h"

#include "app/layer_arrange.h"

#include <algorithm>
#include <string>

namespace torvale {

CanvasEffects CanvasController::arrange(Arrangement arrangement)
{
    CanvasEffects effects;
    std::vector<LayerRect> rects;
    for (const Layer* layer : m_context.markedLayers()) {
        if (layer->hasRect())
            rects.push_back(rectOf(*layer));
    }
    if (rects.empty() || !arrangementApplies(arrangement, rects.size()))
        return effects;
    const Layer* clicked = m_menuReference ? m_context.document.layer(*m_menuReference) : nullptr;
    LayerRect reference = rects.front();
    if (clicked && clicked->hasRect()) {
        reference = rectOf(*clicked);
    } else if (arrangement != Arrangement::SameWidth && arrangement != Arrangement::SameHeight) {
        // Without a clicked layer the layers line up on the box around them all.
        std::int64_t left = reference.x, top = reference.y;
        std::int64_t right = left + reference.width, bottom = top + reference.height;
        for (const LayerRect& r : rects) {
            left = std::min<std::int64_t>(left, r.x);
            top = std::min<std::int64_t>(top, r.y);
            right = std::max<std::int64_t>(right, std::int64_t{r.x} + r.width);
            bottom = std::max<std::int64_t>(bottom, std::int64_t{r.y} + r.height);
        }
        reference = {0, static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                     static_cast<std::int32_t>(right - left),
                     static_cast<std::int32_t>(bottom - top)};
    }
    const char* name = "对齐图层";
    if (arrangement == Arrangement::SpreadX || arrangement == Arrangement::SpreadY)
        name = "等距分布图层";
    else if (arrangement == Arrangement::SameWidth || arrangement == Arrangement::SameHeight)
        name = "统一图层尺寸";
    {
        const EditStep step = m_context.document.beginStep(name);
        m_context.document.setLayerGeometry(
            arrangeRects(std::move(rects), arrangement, reference, m_context.card()));
    }
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

ContextMenuEntry CanvasController::alignMenu(std::size_t markedCount)
{
    using Kind = ContextMenuEntry::Kind;
    ContextMenuEntry menu{Kind::AlignMenu, std::nullopt, "对齐", false};
    for (const ArrangeEntry& entry : kArrangeEntries) {
        // The edges, then the later entries after a line.
        if (entry.id == CommandId::AlignCentreX)
            menu.items.push_back({Kind::Separator, std::nullopt, {}, false});
        ContextMenuEntry item{Kind::Item, entry.id, entry.text, false};
        item.enabled = arrangementApplies(entry.arrangement, markedCount);
        menu.items.push_back(std::move(item));
    }
    return menu;
}

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
        menu.push_back({Kind::Item, CommandId::NewShapeLayer, "新建\t形", false});
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back({Kind::Item, CommandId::Refresh, "刷新", false});
        return menu;
    }
    const std::vector<const Layer*> marked = m_context.markedLayers();
    // One selected layer can still be centred on the card.
    if (m_context.state.mode == CanvasMode::LayerSelected && markedHit) {
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back(alignMenu(1));
        return menu;
    }
    if (m_context.state.mode != CanvasMode::MultiSelected || !markedHit)
        return menu;
    if (hits == 1) {
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back(alignMenu(marked.size()));
    } else {
        m_menuReference.reset();
    }
    const auto anyMarked = [&marked](auto test) {
        return std::any_of(marked.begin(), marked.end(), test);
    };
    if (anyMarked([](const Layer* layer) { return followsLayerLevel(layer->type); })) {
        menu.push_back({Kind::Separator, std::nullopt, {}, false});
        menu.push_back({Kind::LevelMenu, std::nullopt, "层次", false});
    }
    if (anyMarked([](const Layer* layer) { return layer->type == LayerType::Picture; }))
        menu.push_back({Kind::OverflowMenu, std::nullopt, "溢出样式", false});
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
