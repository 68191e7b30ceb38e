#include "app/layer_commands.h"

#include <algorithm>

namespace torvale {

std::optional<std::size_t> currentListRow(const EditorDocument& document, const EditorState& state)
{
    const std::optional<std::size_t> focused =
        state.focusedLayer() ? document.indexOf(*state.focusedLayer()) : std::nullopt;
    return currentListRow(focused, document.rowsOf(state.marked()));
}

bool isTypeSwitchable(LayerType type)
{
    return type == LayerType::Text || type == LayerType::Picture;
}

void newLayer(EditorDocument& document, EditorState& state, LayerType type)
{
    // One undo step with the drawing of its rectangle, none with an edit before it.
    document.endMerging();
    const EditStep step = document.beginStep("添加图层", EditorDocument::kNewLayerStepKey);
    const LayerId id = document.addLayer(type);
    selectLayerRows(state, document.tpl().layers, document.rowsOf({id}));
}

void insertLayer(EditorDocument& document, EditorState& state, LayerType type)
{
    const auto row = currentListRow(document, state);
    if (!row)
        return;
    document.endMerging();
    const EditStep step = document.beginStep("添加图层", EditorDocument::kNewLayerStepKey);
    const LayerId id = document.insertLayer(type, *row);
    selectLayerRows(state, document.tpl().layers, document.rowsOf({id}));
}

void copyMarkedLayers(EditorDocument& document, EditorState& state)
{
    const std::vector<LayerId> copies = document.copyLayers(state.marked());
    if (copies.empty())
        return;
    selectLayerRows(state, document.tpl().layers, document.rowsOf(copies));
}

void deleteMarkedLayers(EditorDocument& document, EditorState& state)
{
    const std::vector<std::size_t> rows = document.rowsOf(state.marked());
    if (rows.empty())
        return;
    const std::vector<LayerId> ids = state.marked();
    // The selection must not name a removed layer while the rows go.
    state.reset();
    state.clearSelection();
    document.deleteLayers(ids);

    const auto& layers = document.tpl().layers;
    if (layers.empty()) {
        clearLayerSelection(state);
        return;
    }
    selectLayerRows(state, layers, {std::min(rows.front(), layers.size() - 1)});
}

void setCurrentLayerType(EditorDocument& document, EditorState& state, LayerType type)
{
    if (state.currentKind() != CurrentKind::Layer || !state.currentLayer())
        return;
    const Layer* layer = document.layer(*state.currentLayer());
    if (!layer || layer->type == type || !isTypeSwitchable(layer->type) || !isTypeSwitchable(type))
        return;
    document.setLayerType(*state.currentLayer(), type);
    SelectionEffects effects;
    effects.ignored = false;
    effects.propertyWindow = propertyWindowOf(type);
    state.announce(effects);
}

} // namespace torvale
