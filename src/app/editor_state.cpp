#include "app/editor_state.h"

#include <algorithm>
#include <iterator>

namespace torvale {

double steppedZoom(double zoom, bool larger)
{
    constexpr int count = static_cast<int>(std::size(kZoomLevels));
    for (int i = 0; i < count; ++i) {
        if (kZoomLevels[i] != zoom)
            continue;
        if (larger)
            return i + 1 < count ? kZoomLevels[i + 1] : zoom;
        return i > 0 ? kZoomLevels[i - 1] : zoom;
    }
    return zoom;
}

namespace {

std::string sizeText(const Layer& layer)
{
    return std::to_string(layer.width) + " x " + std::to_string(layer.height) + " 像素";
}

} // namespace

SelectionEffects applyLayerSelectionChange(EditorState& state, std::vector<Layer>& layers,
                                           const std::vector<std::size_t>& selectedRows,
                                           const RowSelectionChange& change)
{
    SelectionEffects effects;
    // While a band is dragged the canvas sets the selection itself.
    if (state.deletingLayers || change.wasSelected == change.isSelected ||
        state.mode == CanvasMode::BandDragging)
        return effects;
    if (std::any_of(selectedRows.begin(), selectedRows.end(),
                    [&](std::size_t row) { return row >= layers.size(); }))
        return effects;
    effects.ignored = false;
    effects.repaintCanvas = true;
    state.drag = DragKind::None;

    // There is no other list whose selection competes with this one yet, so the layer list is
    // always the list that last received a selection.
    if (selectedRows.size() == 1) {
        const std::size_t index = selectedRows.front();
        for (std::size_t i = 0; i < layers.size(); ++i)
            layers[i].marked = i == index;
        const Layer& layer = layers[index];
        state.currentKind = CurrentKind::Layer;
        state.currentLayer = index;
        effects.scrollRowIntoView = index;
        if (layer.hasRect()) {
            state.mode = CanvasMode::LayerSelected;
            if (change.isSelected && change.row == index)
                effects.scrollCanvasToLayer = index;
            effects.statusPart2 = sizeText(layer);
        } else {
            state.mode = CanvasMode::PlacingLayer;
        }
        effects.propertyWindow =
            layer.type == LayerType::Text ? PropertyWindow::Text : PropertyWindow::Picture;
        return effects;
    }

    if (selectedRows.empty()) {
        effects = clearLayerSelection(state, layers);
    } else {
        effects.propertyWindow = PropertyWindow::Hidden;
        effects.statusPart2 = std::string();
        state.mode = CanvasMode::MultiSelected;
        state.currentKind = CurrentKind::None;
        state.currentLayer.reset();
        if (change.row < layers.size())
            layers[change.row].marked = change.isSelected;
    }
    effects.dismissBalloons = true;
    return effects;
}

SelectionEffects applyLayerSelectionChanges(EditorState& state, std::vector<Layer>& layers,
                                            const std::vector<std::size_t>& selectedRows,
                                            const std::vector<RowSelectionChange>& changes)
{
    SelectionEffects all;
    for (const RowSelectionChange& change : changes) {
        const SelectionEffects one = applyLayerSelectionChange(state, layers, selectedRows, change);
        if (one.ignored)
            continue;
        all.ignored = false;
        all.repaintCanvas = true;
        all.dismissBalloons = all.dismissBalloons || one.dismissBalloons;
        if (one.propertyWindow != PropertyWindow::Unchanged)
            all.propertyWindow = one.propertyWindow;
        if (one.statusPart2)
            all.statusPart2 = one.statusPart2;
        if (one.scrollRowIntoView)
            all.scrollRowIntoView = one.scrollRowIntoView;
        if (one.scrollCanvasToLayer)
            all.scrollCanvasToLayer = one.scrollCanvasToLayer;
    }
    return all;
}

SelectionEffects clearLayerSelection(EditorState& state, std::vector<Layer>& layers)
{
    state.reset();
    for (Layer& layer : layers)
        layer.marked = false;
    SelectionEffects effects;
    effects.ignored = false;
    effects.propertyWindow = PropertyWindow::Hidden;
    effects.statusPart2 = std::string();
    effects.repaintCanvas = true;
    return effects;
}

LayerMenuState layerMenuState(const std::vector<Layer>& layers,
                              const std::vector<std::size_t>& selectedRows)
{
    LayerMenuState menu;
    std::vector<const Layer*> selected;
    for (std::size_t row : selectedRows) {
        if (row < layers.size())
            selected.push_back(&layers[row]);
    }
    if (selected.empty())
        return menu;
    menu.selectionItemsEnabled = true;
    if (std::none_of(selected.begin(), selected.end(),
                     [](const Layer* layer) { return layer->type == LayerType::Picture; }))
        return menu;
    menu.subMenusEnabled = true;
    if (selected.size() == 1) {
        menu.checkedLevel = selected.front()->layer_level;
        menu.checkedOverflow = selected.front()->overflow_style;
        return menu;
    }
    std::vector<const Layer*> marked;
    for (const Layer& layer : layers) {
        if (layer.marked)
            marked.push_back(&layer);
    }
    if (marked.empty())
        return menu;
    const Layer& first = *marked.front();
    if (std::all_of(marked.begin(), marked.end(),
                    [&](const Layer* l) { return l->layer_level == first.layer_level; }))
        menu.checkedLevel = first.layer_level;
    if (std::all_of(marked.begin(), marked.end(),
                    [&](const Layer* l) { return l->overflow_style == first.overflow_style; }))
        menu.checkedOverflow = first.overflow_style;
    return menu;
}

bool isLayerRowHighlighted(const EditorState& state, const std::vector<Layer>& layers,
                           std::size_t row, std::optional<std::size_t> currentRow)
{
    if (state.mode == CanvasMode::BandDragging || state.mode == CanvasMode::MultiSelected)
        return row < layers.size() && layers[row].marked;
    return state.currentKind == CurrentKind::Layer && currentRow == row;
}

std::optional<std::size_t> currentListRow(std::optional<std::size_t> focusedRow,
                                          const std::vector<std::size_t>& selectedRows)
{
    if (selectedRows.empty())
        return std::nullopt;
    if (focusedRow &&
        std::find(selectedRows.begin(), selectedRows.end(), *focusedRow) != selectedRows.end())
        return focusedRow;
    return *std::min_element(selectedRows.begin(), selectedRows.end());
}

void setShowPicture(Template& tpl, bool on)
{
    tpl.pictures_show_picture = on;
    if (!on)
        tpl.pictures_show_select_area = true;
}

} // namespace torvale
