#pragma once

#include "app/editor_document.h"
#include "app/editor_state.h"

#include <optional>

namespace torvale {

/// The row the layer menu's insert commands act on: the list's focus row when it is marked,
/// else the first marked row.
std::optional<std::size_t> currentListRow(const EditorDocument& document, const EditorState& state);

/// Whether the layer type menu may switch a layer of this type: text and picture layers only.
bool isTypeSwitchable(LayerType type);

/// New layer of a type at the end, selected (35300, 35301, 35312, 35314).
void newLayer(EditorDocument& document, EditorState& state, LayerType type);
/// New layer of a type at the current row, selected (35302, 35303, 35313, 35315).
void insertLayer(EditorDocument& document, EditorState& state, LayerType type);
/// Copies of the marked layers at the end, selected (35304).
void copyMarkedLayers(EditorDocument& document, EditorState& state);
/// Deletes the marked layers and selects the layer that took the place of the first (35305).
void deleteMarkedLayers(EditorDocument& document, EditorState& state);
/// Changes the type of the current layer between text and picture; the property window of the
/// new type is shown (35418, 35419). A code layer is never switched, nor anything made one.
void setCurrentLayerType(EditorDocument& document, EditorState& state, LayerType type);

} // namespace torvale
