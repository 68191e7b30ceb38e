#pragma once

#include "app/editor_document.h"
#include "app/editor_state.h"
#include "model/template.h"
#include "ui/command_id.h"

#include <QGroupBox>
#include <optional>
#include <vector>

class QCheckBox;
class QItemSelection;
class QMenu;
class QTableWidget;

namespace torvale {

class EditorContext;

/// The layer level a "层次" command sets; nothing for other commands.
std::optional<LayerLevel> layerLevelOf(CommandId id);
/// The overflow style an "溢出样式" command sets; nothing for other commands.
std::optional<OverflowStyle> overflowStyleOf(CommandId id);

/// The layer panel of the settings column: the layer list, whose selection decides the current
/// layer and the marked layers, and the two display switches of the canvas.
class LayerPanel : public QGroupBox {
    Q_OBJECT

public:
    LayerPanel(EditorContext& context, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleControl(ControlId id);
    /// Rebuilds the rows and the switches from the document.
    void refreshFromDocument();
    /// Shows the display switches of the document.
    void showSwitches();
    /// Rewrites the rows a change of the layers names (added, removed or changed fields).
    void showLayerChange(const DocumentEvent& event);
    /// Shows the rectangle of a layer being placed or drawn in its row: while placing, x and y
    /// when the pointer is over the card; while drawing, the rectangle turned the right way.
    void showDraft(const std::optional<LayerRect>& draft);
    /// Makes the list's selection and focus row follow the editor's selection.
    void mirrorSelection(const SelectionEffects& effects);
    /// Gives the panel the layer menu and the layer type menu it opens.
    void setMenus(QMenu* layerMenu, QMenu* layerTypeMenu);

    QTableWidget* table() const { return m_table; }
    QCheckBox* showSelectAreaBox() const { return m_showSelectArea; }
    QCheckBox* showPictureBox() const { return m_showPicture; }
    QMenu* layerMenu() const { return m_layerMenu; }
    QMenu* layerTypeMenu() const { return m_layerTypeMenu; }

    /// Selects, focuses and scrolls to a row as a click on it does; when it is the current row
    /// already, the selection is cleared first so that the change is always reported.
    void selectRow(int row);
    /// The row the insert commands act on, else -1.
    int currentRow() const;
    /// The selected rows in ascending order.
    std::vector<std::size_t> selectedRows() const;
    /// True when a row is painted highlighted.
    bool isRowHighlighted(int row) const;

    /// Prepares the enabled state and check marks of a menu holding layer menu items.
    void prepareLayerMenu(QMenu& menu) const;

private:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void openLayerMenu(const QPoint& position);
    void openTypeMenu(int row, int column);
    /// Writes the cells of the given columns of one row from its layer.
    void writeRow(int row, LayerFieldSet fields);
    void writeRowsFrom(int first);

    EditorContext& m_context;
    std::vector<Subscription> m_subscriptions;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_showSelectArea = nullptr;
    QCheckBox* m_showPicture = nullptr;
    QMenu* m_layerMenu = nullptr;
    QMenu* m_layerTypeMenu = nullptr;
    /// Set while the panel itself changes the rows or the selection: the list's reports of
    /// those changes are not the user's.
    bool m_updating = false;
};

} // namespace torvale
