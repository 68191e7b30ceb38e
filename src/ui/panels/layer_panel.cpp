#include "ui/panels/layer_panel.h"

#include "app/canvas_controller.h"
#include "app/layer_commands.h"
#include "app/layer_properties.h"
#include "ui/balloon.h"
#include "ui/editor_context.h"
#include "ui/panels/layer_panel_layout.h"

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

// What a menu holds besides commands.
enum class MenuChoices { None, Level, Overflow };

// Sets the state of every layer-menu item in a menu and its sub-menus; returns whether the
// menu holds level or overflow items.
MenuChoices prepareItems(QMenu& menu, const LayerMenuState& state)
{
    MenuChoices holdsChoices = MenuChoices::None;
    for (QAction* action : menu.actions()) {
        if (QMenu* sub = action->menu()) {
            const MenuChoices choices = prepareItems(*sub, state);
            if (choices != MenuChoices::None)
                action->setEnabled(choices == MenuChoices::Level ? state.levelMenuEnabled
                                                                 : state.subMenusEnabled);
            continue;
        }
        const auto id = commandOf(action);
        if (!id)
            continue;
        switch (*id) {
        case CommandId::InsertTextLayer:
        case CommandId::InsertPictureLayer:
        case CommandId::InsertCodeLayer:
        case CommandId::InsertShapeLayer:
        case CommandId::CopyLayers:
        case CommandId::DeleteLayers:
            action->setEnabled(state.selectionItemsEnabled);
            break;
        default:
            if (const auto level = layerLevelOf(*id)) {
                action->setChecked(state.checkedLevel == *level);
                holdsChoices = MenuChoices::Level;
            } else if (const auto style = overflowStyleOf(*id)) {
                action->setChecked(state.checkedOverflow == *style);
                holdsChoices = MenuChoices::Overflow;
            }
            break;
        }
    }
    return holdsChoices;
}

// The list has no column of its own for the bound column or the rule: a fixed layer, which
// has no column, and a layer shown only on some cards say so beside its type.
QString typeText(const Layer& layer)
{
    QString type = QString::fromUtf8(layerTypeName(layer.type));
    if (layer.isFixed)
        type += QStringLiteral("(固定)");
    if (!layer.showIfColumn.empty())
        type += QStringLiteral("(条件)");
    return type;
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
    case CommandId::OverflowCover:
        return OverflowStyle::Cover;
    default:
        return std::nullopt;
    }
}

LayerPanel::LayerPanel(EditorContext& context, QWidget* parent) : QGroupBox(parent), m_context(context)
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
            [this] { handleControl(ControlId::ShowSelectArea); });
    connect(m_showPicture, &QCheckBox::clicked, this,
            [this] { handleControl(ControlId::ShowPicture); });

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
            [this](const QModelIndex& current) {
                const auto ids = m_context.document().idsAt({static_cast<std::size_t>(
                    current.isValid() ? current.row() : m_table->rowCount())});
                m_context.state().setFocusedLayer(
                    ids.empty() ? std::nullopt : std::optional<LayerId>(ids.front()));
                m_table->viewport()->update();
            });

    m_subscriptions.push_back(context.document().subscribe([this](const DocumentEvent& event) {
        switch (event.change) {
        case DocumentChange::Everything:
            refreshFromDocument();
            break;
        case DocumentChange::LayersAdded:
        case DocumentChange::LayersRemoved:
        case DocumentChange::LayerFields:
            showLayerChange(event);
            break;
        case DocumentChange::DisplaySwitches:
            showSwitches();
            break;
        default:
            break;
        }
    }));
    m_subscriptions.push_back(context.state().subscribe(
        [this](const SelectionEffects& effects) { mirrorSelection(effects); }));
    m_subscriptions.push_back(context.draftChanged.subscribe(
        [this](const std::optional<LayerRect>& draft) { showDraft(draft); }));
}

void LayerPanel::setMenus(QMenu* layerMenu, QMenu* layerTypeMenu)
{
    m_layerMenu = layerMenu;
    m_layerTypeMenu = layerTypeMenu;
}

void LayerPanel::handleControl(ControlId id)
{
    EditorDocument& document = m_context.document();
    switch (id) {
    case ControlId::ShowSelectArea:
        document.setShowSelectArea(m_showSelectArea->isChecked());
        break;
    case ControlId::ShowPicture:
        document.setShowPicture(m_showPicture->isChecked());
        break;
    default:
        return;
    }
    m_context.focusCanvas();
}

void LayerPanel::showSwitches()
{
    const Template& tpl = m_context.document().tpl();
    m_showSelectArea->setChecked(tpl.pictures_show_select_area);
    m_showPicture->setChecked(tpl.pictures_show_picture);
    m_showSelectArea->setEnabled(isShowSelectAreaEditable(tpl));
}

void LayerPanel::refreshFromDocument()
{
    showSwitches();
    m_updating = true; // the rows go away under the selection: nothing to follow
    m_table->clearSelection();
    m_table->setRowCount(static_cast<int>(m_context.document().tpl().layers.size()));
    writeRowsFrom(0);
    m_updating = false;
}

void LayerPanel::showLayerChange(const DocumentEvent& event)
{
    const EditorDocument& document = m_context.document();
    m_updating = true;
    switch (event.change) {
    case DocumentChange::LayersAdded:
    case DocumentChange::LayersRemoved:
        // The rows from the first one changed on show other layers now (numbers included).
        m_table->setRowCount(static_cast<int>(document.tpl().layers.size()));
        writeRowsFrom(static_cast<int>(event.firstRow));
        break;
    case DocumentChange::LayerFields:
        for (std::size_t row : document.rowsOf(event.layers))
            writeRow(static_cast<int>(row), event.fields);
        break;
    default:
        break;
    }
    m_updating = false;
    m_table->viewport()->update();
}

void LayerPanel::showDraft(const std::optional<LayerRect>& draft)
{
    if (!draft)
        return;
    const EditorDocument& document = m_context.document();
    const auto row = document.indexOf(draft->id);
    if (!row || static_cast<int>(*row) >= m_table->rowCount())
        return;
    const auto texts = draftFieldTexts(*draft);
    for (int column = 1; column <= 4; ++column) {
        if (QTableWidgetItem* item = m_table->item(static_cast<int>(*row), column))
            item->setText(QString::fromStdString(texts[static_cast<std::size_t>(column) - 1]));
    }
}

int LayerPanel::currentRow() const
{
    const auto row = currentListRow(m_context.document(), m_context.state());
    return row ? static_cast<int>(*row) : -1;
}

std::vector<std::size_t> LayerPanel::selectedRows() const
{
    return m_context.document().rowsOf(m_context.state().marked());
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

void LayerPanel::mirrorSelection(const SelectionEffects& effects)
{
    const EditorDocument& document = m_context.document();
    const EditorState& state = m_context.state();
    const std::vector<std::size_t> rows = selectedRows();
    m_updating = true;
    std::vector<std::size_t> shown;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        shown.push_back(static_cast<std::size_t>(index.row()));
    std::sort(shown.begin(), shown.end());
    if (shown != rows) {
        QItemSelection selection;
        for (std::size_t row : rows)
            selection.select(m_table->model()->index(static_cast<int>(row), 0),
                             m_table->model()->index(static_cast<int>(row), kTypeColumn));
        m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    // The current layer's row is the focus row, as after a click on it.
    if (state.currentKind() == CurrentKind::Layer && state.currentLayer()) {
        if (const auto row = document.indexOf(*state.currentLayer());
            row && static_cast<int>(*row) != m_table->currentIndex().row())
            m_table->selectionModel()->setCurrentIndex(
                m_table->model()->index(static_cast<int>(*row), 0), QItemSelectionModel::NoUpdate);
    }
    m_updating = false;
    if (effects.scrollRowIntoView)
        m_table->scrollTo(m_table->model()->index(static_cast<int>(*effects.scrollRowIntoView), 0));
    m_table->viewport()->update();
}

bool LayerPanel::isRowHighlighted(int row) const
{
    const int current = currentRow();
    return row >= 0 &&
           isLayerRowHighlighted(m_context.state(), m_context.document().tpl().layers,
                                 static_cast<std::size_t>(row),
                                 current < 0 ? std::nullopt : std::optional<std::size_t>(current));
}

void LayerPanel::writeRow(int row, LayerFieldSet fields)
{
    const auto& layers = m_context.document().tpl().layers;
    if (row < 0 || static_cast<std::size_t>(row) >= layers.size() || row >= m_table->rowCount())
        return;
    const Layer& layer = layers[static_cast<std::size_t>(row)];
    const auto geometry = [&](std::int32_t value) {
        return layer.hasRect() ? QString::number(value) : QString();
    };
    const QString texts[] = {
        QString::number(layer.number), geometry(layer.x),      geometry(layer.y),
        geometry(layer.width),         geometry(layer.height), typeText(layer)};
    for (int column = 0; column < 6; ++column) {
        const bool named =
            column == 0 ||
            (column == kTypeColumn ? (fields & (FieldType | FieldBinding | FieldShowIf)) != 0
                                   : (fields & FieldGeometry) != 0);
        QTableWidgetItem* item = m_table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_table->setItem(row, column, item);
        } else if (!named) {
            continue;
        }
        item->setText(texts[column]);
    }
}

void LayerPanel::writeRowsFrom(int first)
{
    for (int row = first; row < m_table->rowCount(); ++row)
        writeRow(row, FieldGeometry | FieldType);
}

void LayerPanel::onSelectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected)
{
    if (m_updating)
        return;
    std::set<int> rows;
    for (const QModelIndex& index : selected.indexes())
        rows.insert(index.row());
    for (const QModelIndex& index : deselected.indexes())
        rows.insert(index.row());
    std::vector<std::size_t> selectedNow;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        selectedNow.push_back(static_cast<std::size_t>(index.row()));
    std::sort(selectedNow.begin(), selectedNow.end());
    std::vector<RowSelectionChange> changes;
    for (int row : rows) {
        if (row < 0 || row >= m_table->rowCount())
            continue;
        const bool wasSelected = !selected.contains(m_table->model()->index(row, 0));
        changes.push_back({static_cast<std::size_t>(row), wasSelected,
                           m_table->selectionModel()->isRowSelected(row)});
    }
    const SelectionEffects effects = applyLayerSelectionChanges(
        m_context.state(), m_context.document().tpl().layers, selectedNow, changes);
    if (effects.ignored)
        m_table->viewport()->update();
}

void LayerPanel::prepareLayerMenu(QMenu& menu) const
{
    prepareItems(menu, layerMenuState(m_context.state(), m_context.document().tpl().layers));
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
    const EditorState& state = m_context.state();
    if (column != kTypeColumn || !m_layerTypeMenu || state.currentKind() != CurrentKind::Layer ||
        !state.currentLayer())
        return;
    const Layer* layer = m_context.document().layer(*state.currentLayer());
    if (!layer)
        return;
    const LayerType type = layer->type;
    // A code layer keeps its type: its members mean nothing to a text or picture layer.
    if (!isTypeSwitchable(type))
        return;
    for (QAction* action : m_layerTypeMenu->actions()) {
        const auto id = commandOf(action);
        action->setChecked(id == (type == LayerType::Text ? CommandId::LayerTypeText
                                                          : CommandId::LayerTypePicture));
    }
    const QRect cell = m_table->visualRect(m_table->model()->index(row, column));
    m_layerTypeMenu->popup(m_table->viewport()->mapToGlobal(cell.bottomLeft() + QPoint(0, 1)));
}

} // namespace torvale
