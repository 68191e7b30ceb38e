#pragma once

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

class MainWindow;

/// The layer level a "层次" command sets; nothing for other commands.
std::optional<LayerLevel> layerLevelOf(CommandId id);
/// The overflow style an "溢出样式" command sets; nothing for other commands.
std::optional<OverflowStyle> overflowStyleOf(CommandId id);

/// The layer panel of the settings column: the layer list, whose selection decides the current
/// layer and the marked layers, and the two display switches of the canvas.
class LayerPanel : public QGroupBox {
    Q_OBJECT

public:
    LayerPanel(MainWindow& window, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleCommand(CommandId id);
    /// Rebuilds the rows and the switches from the document; nothing is selected afterwards.
    void refreshFromDocument();
    /// Gives the panel the layer menu and the layer type menu it opens.
    void setMenus(QMenu* layerMenu, QMenu* layerTypeMenu);

    QTableWidget* table() const { return m_table; }
    QCheckBox* showSelectAreaBox() const { return m_showSelectArea; }
    QCheckBox* showPictureBox() const { return m_showPicture; }
    QMenu* layerMenu() const { return m_layerMenu; }
    QMenu* layerTypeMenu() const { return m_layerTypeMenu; }

    /// Selects, focuses and scrolls to a row; when it is the current row already, the
    /// selection is cleared first so that the change is always reported.
    void selectRow(int row);
    /// Selects every row.
    void selectAll();
    /// The selected row that has the focus, else the first selected row, else -1.
    int currentRow() const;
    /// The selected rows in ascending order.
    std::vector<std::size_t> selectedRows() const;
    /// Rewrites the texts of one row from its layer (after a geometry or type change).
    void updateRow(int row);
    /// True when a row is painted highlighted.
    bool isRowHighlighted(int row) const;

    /// Prepares the enabled state and check marks of a menu holding layer menu items.
    void prepareLayerMenu(QMenu& menu) const;

    /// New layer of a type at the end, selected (35300, 35301).
    void newLayer(LayerType type);
    /// New layer of a type at the current row, selected (35302, 35303).
    void insertLayer(LayerType type);
    /// Copies of the marked layers at the end, selected (35304).
    void copyMarkedLayers();
    /// Deletes the selected layers and selects the next one (35305).
    void deleteSelectedLayers();
    /// Changes the type of the current layer (35418, 35419).
    void setCurrentLayerType(LayerType type);

signals:
    /// The selection or the current layer's type changed: the window shows or hides the
    /// property windows and scrolls the canvas as the effects say.
    void selectionEffectsReady(const torvale::SelectionEffects& effects);

private:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void applyEffects(const SelectionEffects& effects);
    void openLayerMenu(const QPoint& position);
    void openTypeMenu(int row, int column);
    void writeRowsFrom(int first);
    void selectOnly(int first, int last);

    MainWindow& m_window;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_showSelectArea = nullptr;
    QCheckBox* m_showPicture = nullptr;
    QMenu* m_layerMenu = nullptr;
    QMenu* m_layerTypeMenu = nullptr;
};

} // namespace torvale
