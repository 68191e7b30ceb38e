#include "ui/layer_panel.h"

#include "ui/balloon.h"
#include "ui/canvas_view.h"
#include "ui/layer_panel_layout.h"
#include "ui/main_window.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolTip>
#include <algorithm>
#include <set>

namespace torvale {

namespace {

constexpr int kTypeColumn = 5;
constexpr int kRowHeight = 21;
constexpr int kColumnWidths[] = {53, 60, 60, 60, 60, 60};

/// Paints rows by the highlight rule rather than by the list's own selection and focus, and
/// shows a cut-off cell text whole as a tip.
class LayerRowDelegate : public QStyledItemDelegate {
public:
    LayerRowDelegate(const LayerPanel& panel, QObject* parent)
        : QStyledItemDelegate(parent), m_panel(panel)
    {
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data().toString();
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view);
        if (option.fontMetrics.horizontalAdvance(text) > option.rect.width() - 2 * (margin + 1))
            QToolTip::showText(event->globalPos(), text, view, option.rect);
        else
            QToolTip::hideText();
        return true;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        // The highlight stays visible while the focus is elsewhere (on the canvas, say).
        if (m_panel.isRowHighlighted(index.row()))
            option->state |= QStyle::State_Selected | QStyle::State_Active;
        else
            option->state &= ~QStyle::State_Selected;
    }

private:
    const LayerPanel& m_panel;
};

std::optional<CommandId> commandOf(const QAction* action)
{
    bool ok = false;
    const int value = action->data().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return static_cast<CommandId>(value);
}

// Sets the state of every layer-menu item in a menu and its sub-menus; returns true when the
// menu holds a level or overflow item.
bool prepareItems(QMenu& menu, const LayerMenuState& state)
{
    bool holdsChoices = false;
    for (QAction* action : menu.actions()) {
        if (QMenu* sub = action->menu()) {
            if (prepareItems(*sub, state))
                action->setEnabled(state.subMenusEnabled);
            continue;
        }
        const auto id = commandOf(action);
        if (!id)
            continue;
        switch (*id) {
        case CommandId::InsertTextLayer:
        case CommandId::InsertPictureLayer:
        case CommandId::CopyLayers:
        case CommandId::DeleteLayers:
            action->setEnabled(state.selectionItemsEnabled);
            break;
        default:
            if (const auto level = layerLevelOf(*id)) {
                action->setChecked(state.checkedLevel == *level);
                holdsChoices = true;
            } else if (const auto style = overflowStyleOf(*id)) {
                action->setChecked(state.checkedOverflow == *style);
                holdsChoices = true;
            }
            break;
        }
    }
    return holdsChoices;
}

QString typeText(LayerType type)
{
    return type == LayerType::Text ? QStringLiteral("字") : QStringLiteral("图");
}

} // namespace

std::optional<LayerLevel> layerLevelOf(CommandId id)
{
    switch (id) {
    case CommandId::LevelAbove:
        return LayerLevel::AboveBackground;
    case CommandId::LevelBelow:
        return LayerLevel::BelowBackground;
    default:
        return std::nullopt;
    }
}

std::optional<OverflowStyle> overflowStyleOf(CommandId id)
{
    switch (id) {
    case CommandId::OverflowShrink:
        return OverflowStyle::ShrinkToFit;
    case CommandId::OverflowScale:
        return OverflowStyle::ScaleToFit;
    case CommandId::OverflowFill:
        return OverflowStyle::FillScale;
    case CommandId::OverflowCropTopLeft:
        return OverflowStyle::CropTopLeft;
    case CommandId::OverflowCropCentre:
        return OverflowStyle::CropCentre;
    default:
        return std::nullopt;
    }
}

LayerPanel::LayerPanel(MainWindow& window, QWidget* parent) : QGroupBox(parent), m_window(window)
{
    // Fourteen ideographic spaces leave room in the frame for the header row.
    setTitle(QString(14, QChar(0x3000)));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const LayerPanelHeights heights =
        layerPanelHeights(screen ? screen->availableGeometry().height() : 0);
    setFixedSize(400, heights.panel);

    auto* header = new QLabel(QStringLiteral("图层："), this);
    m_showSelectArea = new QCheckBox(QStringLiteral("显示选区"), this);
    m_showPicture = new QCheckBox(QStringLiteral("显示图片"), this);
    m_showSelectArea->setObjectName(QStringLiteral("showSelectArea"));
    m_showPicture->setObjectName(QStringLiteral("showPicture"));
    m_showSelectArea->setChecked(true);
    m_showPicture->setChecked(true);
    int left = 10;
    for (QWidget* widget : {static_cast<QWidget*>(header), static_cast<QWidget*>(m_showSelectArea),
                            static_cast<QWidget*>(m_showPicture)}) {
        const QSize size = widget->sizeHint();
        widget->setGeometry(left, 0, size.width(), 20);
        left += size.width() + 8;
    }
    connect(m_showSelectArea, &QCheckBox::clicked, this,
            [this] { m_window.execute(CommandId::ShowSelectArea); });
    connect(m_showPicture, &QCheckBox::clicked, this,
            [this] { m_window.execute(CommandId::ShowPicture); });

    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("layerList"));
    m_table->setGeometry(10, 24, 380, heights.list);
    m_table->setHorizontalHeaderLabels({QStringLiteral("编号"), QStringLiteral("x"),
                                        QStringLiteral("y"), QStringLiteral("宽"),
                                        QStringLiteral("高"), QStringLiteral("类型")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(true);
    m_table->setWordWrap(false);
    m_table->setItemDelegate(new LayerRowDelegate(*this, m_table));
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setMinimumSectionSize(0);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    QHeaderView* columns = m_table->horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignCenter);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    const int scrollBarHeight = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    for (int column = 0; column < 6; ++column)
        m_table->setColumnWidth(column, layerColumnWidth(kColumnWidths[column], scrollBarHeight));

    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, &LayerPanel::openLayerMenu);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &LayerPanel::openTypeMenu);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LayerPanel::onSelectionChanged);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_table->viewport()->update(); });
}

void LayerPanel::setMenus(QMenu* layerMenu, QMenu* layerTypeMenu)
{
    m_layerMenu = layerMenu;
    m_layerTypeMenu = layerTypeMenu;
}

void LayerPanel::handleCommand(CommandId id)
{
    Template& tpl = m_window.document().tpl();
    switch (id) {
    case CommandId::ShowSelectArea:
        tpl.pictures_show_select_area = m_showSelectArea->isChecked();
        break;
    case CommandId::ShowPicture:
        setShowPicture(tpl, m_showPicture->isChecked());
        m_showSelectArea->setChecked(tpl.pictures_show_select_area);
        m_showSelectArea->setEnabled(isShowSelectAreaEditable(tpl));
        break;
    default:
        return;
    }
    m_window.document().notify(DocumentChange::DisplaySwitches);
    m_window.canvas()->setFocus();
}

void LayerPanel::refreshFromDocument()
{
    Template& tpl = m_window.document().tpl();
    m_showSelectArea->setChecked(tpl.pictures_show_select_area);
    m_showPicture->setChecked(tpl.pictures_show_picture);
    m_showSelectArea->setEnabled(isShowSelectAreaEditable(tpl));

    EditorState& state = m_window.state();
    state.deletingLayers = true; // the rows go away under the selection: nothing to follow
    m_table->clearSelection();
    m_table->setRowCount(static_cast<int>(tpl.layers.size()));
    writeRowsFrom(0);
    state.deletingLayers = false;

    applyEffects(clearLayerSelection(state, tpl.layers));
}

int LayerPanel::currentRow() const
{
    const QModelIndex focused = m_table->currentIndex();
    const auto row =
        currentListRow(focused.isValid() ? std::optional<std::size_t>(focused.row()) : std::nullopt,
                       selectedRows());
    return row ? static_cast<int>(*row) : -1;
}

std::vector<std::size_t> LayerPanel::selectedRows() const
{
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void LayerPanel::selectRow(int row)
{
    if (row < 0 || row >= m_table->rowCount())
        return;
    if (row == currentRow())
        m_table->clearSelection();
    const QModelIndex index = m_table->model()->index(row, 0);
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select |
                                                          QItemSelectionModel::Rows);
    m_table->scrollTo(index);
}

void LayerPanel::selectAll()
{
    m_table->selectAll();
}

void LayerPanel::selectOnly(int first, int last)
{
    m_table->clearSelection();
    const QItemSelection rows(m_table->model()->index(first, 0),
                              m_table->model()->index(last, m_table->columnCount() - 1));
    m_table->selectionModel()->select(rows, QItemSelectionModel::Select);
}

bool LayerPanel::isRowHighlighted(int row) const
{
    const int current = currentRow();
    return row >= 0 &&
           isLayerRowHighlighted(m_window.state(), m_window.document().tpl().layers,
                                 static_cast<std::size_t>(row),
                                 current < 0 ? std::nullopt : std::optional<std::size_t>(current));
}

void LayerPanel::updateRow(int row)
{
    const auto& layers = m_window.document().tpl().layers;
    if (row < 0 || static_cast<std::size_t>(row) >= layers.size() || row >= m_table->rowCount())
        return;
    const Layer& layer = layers[static_cast<std::size_t>(row)];
    const auto geometry = [&](std::int32_t value) {
        return layer.hasRect() ? QString::number(value) : QString();
    };
    const QString texts[] = {
        QString::number(layer.number), geometry(layer.x),      geometry(layer.y),
        geometry(layer.width),         geometry(layer.height), typeText(layer.type)};
    for (int column = 0; column < 6; ++column) {
        QTableWidgetItem* item = m_table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_table->setItem(row, column, item);
        }
        item->setText(texts[column]);
    }
}

void LayerPanel::writeRowsFrom(int first)
{
    for (int row = first; row < m_table->rowCount(); ++row)
        updateRow(row);
}

void LayerPanel::onSelectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected)
{
    std::set<int> rows;
    for (const QModelIndex& index : selected.indexes())
        rows.insert(index.row());
    for (const QModelIndex& index : deselected.indexes())
        rows.insert(index.row());
    std::vector<RowSelectionChange> changes;
    for (int row : rows) {
        if (row < 0 || row >= m_table->rowCount())
            continue;
        const bool wasSelected = !selected.contains(m_table->model()->index(row, 0));
        changes.push_back({static_cast<std::size_t>(row), wasSelected,
                           m_table->selectionModel()->isRowSelected(row)});
    }
    applyEffects(applyLayerSelectionChanges(m_window.state(), m_window.document().tpl().layers,
                                            selectedRows(), changes));
}

void LayerPanel::applyEffects(const SelectionEffects& effects)
{
    m_table->viewport()->update();
    if (effects.ignored)
        return;
    if (effects.statusPart2)
        m_window.setStatusText(2, QString::fromStdString(*effects.statusPart2));
    if (effects.dismissBalloons)
        m_window.balloons().dismissAll();
    if (effects.scrollRowIntoView)
        m_table->scrollTo(m_table->model()->index(static_cast<int>(*effects.scrollRowIntoView), 0));
    if (effects.repaintCanvas)
        m_window.canvas()->update();
    emit selectionEffectsReady(effects);
}

void LayerPanel::prepareLayerMenu(QMenu& menu) const
{
    prepareItems(menu, layerMenuState(m_window.document().tpl().layers, selectedRows()));
}

void LayerPanel::openLayerMenu(const QPoint& position)
{
    if (!m_layerMenu)
        return;
    prepareLayerMenu(*m_layerMenu);
    m_layerMenu->popup(m_table->viewport()->mapToGlobal(position));
}

void LayerPanel::openTypeMenu(int row, int column)
{
    const EditorState& state = m_window.state();
    if (column != kTypeColumn || !m_layerTypeMenu || state.currentKind != CurrentKind::Layer ||
        !state.currentLayer)
        return;
    const LayerType type = m_window.document().tpl().layers.at(*state.currentLayer).type;
    for (QAction* action : m_layerTypeMenu->actions()) {
        const auto id = commandOf(action);
        action->setChecked(id == (type == LayerType::Text ? CommandId::LayerTypeText
                                                          : CommandId::LayerTypePicture));
    }
    const QRect cell = m_table->visualRect(m_table->model()->index(row, column));
    m_layerTypeMenu->popup(m_table->viewport()->mapToGlobal(cell.bottomLeft() + QPoint(0, 1)));
}

void LayerPanel::newLayer(LayerType type)
{
    const int row = static_cast<int>(m_window.document().addLayer(type));
    m_table->insertRow(row);
    updateRow(row);
    m_table->clearSelection();
    selectRow(row);
}

void LayerPanel::insertLayer(LayerType type)
{
    const int row = currentRow();
    if (row < 0)
        return;
    m_window.document().insertLayer(type, static_cast<std::size_t>(row));
    m_table->insertRow(row);
    writeRowsFrom(row);
    m_table->clearSelection();
    selectRow(row);
}

void LayerPanel::copyMarkedLayers()
{
    auto& layers = m_window.document().tpl().layers;
    const std::size_t first = m_window.document().copyMarkedLayers();
    if (first < layers.size()) {
        m_table->setRowCount(static_cast<int>(layers.size()));
        writeRowsFrom(static_cast<int>(first));
        m_table->clearSelection();
        for (std::size_t i = first; i < layers.size(); ++i)
            layers[i].marked = true;
        selectOnly(static_cast<int>(first), m_table->rowCount() - 1);
    }
    m_window.canvas()->update();
}

void LayerPanel::deleteSelectedLayers()
{
    const std::vector<std::size_t> rows = selectedRows();
    if (rows.empty())
        return;
    EditorState& state = m_window.state();
    state.deletingLayers = true;
    // The current object must not point at a removed layer while the rows go.
    state.reset();
    const std::size_t lowest = m_window.document().deleteLayers(rows);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        m_table->removeRow(static_cast<int>(*it));
    writeRowsFrom(static_cast<int>(lowest));
    state.deletingLayers = false;

    const int count = m_table->rowCount();
    if (count > 0) {
        selectRow(std::min(static_cast<int>(lowest), count - 1));
        return;
    }
    applyEffects(clearLayerSelection(state, m_window.document().tpl().layers));
}

void LayerPanel::setCurrentLayerType(LayerType type)
{
    const EditorState& state = m_window.state();
    auto& layers = m_window.document().tpl().layers;
    if (state.currentKind != CurrentKind::Layer || !state.currentLayer ||
        *state.currentLayer >= layers.size() || layers[*state.currentLayer].type == type)
        return;
    const std::size_t index = *state.currentLayer;
    m_window.document().setLayerType(index, type);
    updateRow(static_cast<int>(index));
    SelectionEffects effects;
    effects.ignored = false;
    effects.propertyWindow =
        type == LayerType::Text ? PropertyWindow::Text : PropertyWindow::Picture;
    applyEffects(effects);
}

} // namespace torvale
