#include "app/editor_state.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace torvale {

double steppedZoom(double zoom, bool larger)
{
    if (larger) {
        const auto next = std::upper_bound(std::begin(kZoomLevels), std::end(kZoomLevels), zoom);
        return next != std::end(kZoomLevels) ? *next : zoom;
    }
    const auto next = std::lower_bound(std::begin(kZoomLevels), std::end(kZoomLevels), zoom);
    return next != std::begin(kZoomLevels) ? *(next - 1) : zoom;
}

double fitZoom(std::int32_t cardWidth, std::int32_t cardHeight, int viewWidth, int viewHeight,
               int margin)
{
    constexpr double kLargest = kZoomLevels[std::size(kZoomLevels) - 1];
    if (cardWidth <= 0 || cardHeight <= 0)
        return 1;
    const double across = (viewWidth - 2.0 * margin) / cardWidth;
    const double down = (viewHeight - 2.0 * margin) / cardHeight;
    // Rounded down, so the zoomed card never passes the room by a rounding.
    const double zoom = std::floor(std::min(across, down) * 1000) / 1000;
    return std::clamp(zoom, 0.01, kLargest);
}

PropertyWindow propertyWindowOf(LayerType type)
{
    switch (type) {
    case LayerType::Text:
        return PropertyWindow::Text;
    case LayerType::Picture:
        return PropertyWindow::Picture;
    case LayerType::Code:
        return PropertyWindow::Code;
    case LayerType::Shape:
        return PropertyWindow::Shape;
    }
    return PropertyWindow::Hidden;
}

std::string sizeStatusText(std::int32_t width, std::int32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " 像素";
}

Subscription EditorState::subscribe(Listener listener)
{
    return m_changed.subscribe(std::move(listener));
}

void EditorState::announce(const SelectionEffects& effects) const
{
    if (effects.ignored)
        return;
    m_changed.notify(effects);
}

namespace {

SelectionEffects resetSelection(EditorState& state)
{
    state.reset();
    state.setMarked({});
    SelectionEffects effects;
    effects.ignored = false;
    effects.propertyWindow = PropertyWindow::Hidden;
    effects.statusPart2 = std::string();
    effects.repaintCanvas = true;
    return effects;
}

} // namespace

SelectionEffects applyLayerSelectionChange(EditorState& state, const std::vector<Layer>& layers,
                                           const std::vector<std::size_t>& selectedRows,
                                           const RowSelectionChange& change)
{
    SelectionEffects effects;
    // While a band is dragged the canvas sets the selection itself.
    if (change.wasSelected == change.isSelected ||
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
        const Layer& layer = layers[index];
        state.setCurrentLayer(layer.id);
        effects.scrollRowIntoView = index;
        if (layer.hasRect()) {
            state.mode = CanvasMode::LayerSelected;
            if (change.isSelected && change.row == index)
                effects.scrollCanvasToLayer = layer.id;
            effects.statusPart2 = sizeStatusText(layer.width, layer.height);
        } else {
            state.mode = CanvasMode::PlacingLayer;
        }
        effects.propertyWindow = propertyWindowOf(layer.type);
        return effects;
    }

    if (selectedRows.empty()) {
        effects = resetSelection(state);
    } else {
        effects.propertyWindow = PropertyWindow::Hidden;
        effects.statusPart2 = std::string();
        state.mode = CanvasMode::MultiSelected;
        state.clearCurrent();
        if (change.row < layers.size())
            state.mark(layers[change.row].id, change.isSelected);
    }
    effects.dismissBalloons = true;
    return effects;
}

SelectionEffects applyLayerSelectionChanges(EditorState& state, const std::vector<Layer>& layers,
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
    state.announce(all);
    return all;
}

SelectionEffects selectLayerRows(EditorState& state, const std::vector<Layer>& layers,
                                 std::vector<std::size_t> rows)
{
    std::erase_if(rows, [&](std::size_t row) { return row >= layers.size(); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // The rows that lose their selection, then every row selected, in list order as the list
    // reports them.
    std::vector<std::size_t> changed = rows;
    for (std::size_t row = 0; row < layers.size(); ++row) {
        if (state.isMarked(layers[row].id) &&
            !std::binary_search(rows.begin(), rows.end(), row))
            changed.push_back(row);
    }
    std::sort(changed.begin(), changed.end());
    std::vector<RowSelectionChange> changes;
    for (std::size_t row : changed) {
        const bool selected = std::binary_search(rows.begin(), rows.end(), row);
        changes.push_back({row, !selected, selected});
    }
    if (changes.empty())
        return {};
    return applyLayerSelectionChanges(state, layers, rows, changes);
}

SelectionEffects selectWatermark(EditorState& state, std::optional<std::uint32_t> id)
{
    SelectionEffects effects = resetSelection(state);
    const Watermark* watermark = id ? state.watermarks.find(*id) : nullptr;
    if (watermark) {
        state.setCurrentWatermark(watermark->id);
        state.mode = CanvasMode::WatermarkSelected;
        effects.scrollCanvasToWatermark = true;
        effects.statusPart2 = sizeStatusText(watermark->width, watermark->height);
    }
    state.announce(effects);
    return effects;
}

SelectionEffects clearLayerSelection(EditorState& state)
{
    const SelectionEffects effects = resetSelection(state);
    state.announce(effects);
    return effects;
}

LayerMenuState layerMenuState(const EditorState& state, const std::vector<Layer>& layers)
{
    LayerMenuState menu;
    std::vector<const Layer*> marked;
    for (const Layer& layer : layers) {
        if (state.isMarked(layer.id))
            marked.push_back(&layer);
    }
    if (marked.empty())
        return menu;
    menu.selectionItemsEnabled = true;
    menu.levelMenuEnabled = std::any_of(marked.begin(), marked.end(), [](const Layer* layer) {
        return followsLayerLevel(layer->type);
    });
    menu.subMenusEnabled = std::any_of(marked.begin(), marked.end(), [](const Layer* layer) {
        return layer->type == LayerType::Picture;
    });
    if (!menu.levelMenuEnabled)
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
        return row < layers.size() && state.isMarked(layers[row].id);
    return state.currentKind() == CurrentKind::Layer && currentRow == row;
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

Subscription followDocument(EditorState& state, EditorDocument& document)
{
    return document.subscribe([&state, &document](const DocumentEvent& event) {
        const auto& layers = document.tpl().layers;
        if (event.change == DocumentChange::Everything) {
            clearLayerSelection(state);
            return;
        }
        if (event.change != DocumentChange::LayersRemoved)
            return;
        if (!state.forgetMissing([&](LayerId id) { return document.layer(id) != nullptr; }))
            return;
        const std::vector<LayerId> marked = state.marked();
        clearLayerSelection(state);
        selectLayerRows(state, layers, document.rowsOf(marked));
    });
}

} // namespace torvale
