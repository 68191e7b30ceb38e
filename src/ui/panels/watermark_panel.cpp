#include "ui/panels/watermark_panel.h"

#include "ui/editor_context.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace torvale {

namespace {

constexpr int kPathColumn = 5;

/// Paints the current watermark's row highlighted even while the focus is elsewhere.
class WatermarkRowDelegate : public QStyledItemDelegate {
public:
    WatermarkRowDelegate(const WatermarkPanel& panel, QObject* parent)
        : QStyledItemDelegate(parent), m_panel(panel)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.row() == m_panel.selectedRow())
            option->state |= QStyle::State_Selected | QStyle::State_Active;
        else
            option->state &= ~QStyle::State_Selected;
    }

private:
    const WatermarkPanel& m_panel;
};

} // namespace

WatermarkPanel::WatermarkPanel(EditorContext& context, QWidget* parent)
    : QGroupBox(QString(12, QChar(0x3000)), parent), m_context(context)
{
    setObjectName(QStringLiteral("watermarkPanel"));
    setFixedSize(400, 160);
    auto* header = new QLabel(QStringLiteral("水印："), this);
    m_showBox = new QCheckBox(QStringLiteral("水印层"), this);
    m_outlineBox = new QCheckBox(QStringLiteral("显示选区"), this);
    m_showBox->setChecked(true);
    m_outlineBox->setChecked(true);
    int left = 10;
    for (QWidget* widget : {static_cast<QWidget*>(header), static_cast<QWidget*>(m_showBox),
                            static_cast<QWidget*>(m_outlineBox)}) {
        const QSize size = widget->sizeHint();
        widget->setGeometry(left, 0, size.width(), 20);
        left += size.width() + 8;
    }
    connect(m_showBox, &QCheckBox::clicked, this, [this] { showSwitched(); });
    connect(m_outlineBox, &QCheckBox::clicked, this, [this](bool on) {
        m_context.state().watermarkOutlines = on;
        m_context.watermarksChanged.notify();
        m_context.focusCanvas();
    });

    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("watermarkList"));
    m_table->setGeometry(10, 24, 380, 126);
    m_table->setHorizontalHeaderLabels({QStringLiteral("编号"), QStringLiteral("x"),
                                        QStringLiteral("y"), QStringLiteral("宽"),
                                        QStringLiteral("高"), QStringLiteral("图片路径")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setItemDelegate(new WatermarkRowDelegate(*this, m_table));
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(21);
    for (int column = 0; column < 5; ++column)
        m_table->setColumnWidth(column, 44);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, &WatermarkPanel::openMenu);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { onSelectionChanged(); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
        m_context.execute(column == kPathColumn ? CommandId::ChangeWatermarkPicture
                                               : CommandId::EditWatermark);
    });

    m_menu = new QMenu(this);
    const struct {
        const char* text;
        CommandId id;
    } items[] = {{"新建", CommandId::NewWatermark},       {"插入", CommandId::InsertWatermark},
                 {nullptr, CommandId::NewWatermark},      {"编辑", CommandId::EditWatermark},
                 {"更换图片", CommandId::ChangeWatermarkPicture},
                 {nullptr, CommandId::NewWatermark},      {"删除", CommandId::DeleteWatermark}};
    for (const auto& item : items) {
        if (!item.text) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(QString::fromUtf8(item.text));
        action->setData(static_cast<int>(item.id));
        connect(action, &QAction::triggered, this, [this, id = item.id] { m_context.execute(id); });
    }
    m_subscriptions.push_back(context.watermarksChanged.subscribe([this] { refreshRows(); }));
    m_subscriptions.push_back(
        context.state().subscribe([this](const SelectionEffects&) { mirrorSelection(); }));
}

int WatermarkPanel::selectedRow() const
{
    const EditorState& state = m_context.state();
    if (const Watermark* current = state.current()) {
        if (const auto index = state.watermarks.indexOf(current->id))
            return static_cast<int>(*index);
    }
    return -1;
}

void WatermarkPanel::refreshRows()
{
    const auto& items = m_context.state().watermarks.items();
    m_updating = true;
    m_table->setRowCount(static_cast<int>(items.size()));
    for (int row = 0; row < static_cast<int>(items.size()); ++row) {
        const Watermark& w = items[static_cast<std::size_t>(row)];
        const QString texts[] = {QString::number(w.number), QString::number(w.x),
                                 QString::number(w.y),      QString::number(w.width),
                                 QString::number(w.height), QString::fromStdString(w.filePath)};
        for (int column = 0; column < 6; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                item->setTextAlignment(column == kPathColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                             : Qt::AlignCenter);
                m_table->setItem(row, column, item);
            }
            if (item->text() != texts[column])
                item->setText(texts[column]);
        }
    }
    m_updating = false;
    mirrorSelection();
}

void WatermarkPanel::mirrorSelection()
{
    m_updating = true;
    const int row = selectedRow();
    if (row < 0) {
        m_table->clearSelection();
    } else {
        m_table->selectRow(row);
        m_table->scrollTo(m_table->model()->index(row, 0));
    }
    m_updating = false;
    m_table->viewport()->update();
}

void WatermarkPanel::onSelectionChanged()
{
    if (m_updating)
        return;
    EditorState& state = m_context.state();
    if (state.mode == CanvasMode::BandDragging)
        return;
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.size() > 1)
        return;
    const auto& items = state.watermarks.items();
    std::optional<std::uint32_t> id;
    if (rows.size() == 1 && rows.front().row() < static_cast<int>(items.size()))
        id = items[static_cast<std::size_t>(rows.front().row())].id;
    selectWatermark(state, id);
}

void WatermarkPanel::openMenu(const QPoint& position)
{
    const bool selected = !m_context.state().watermarks.empty() && selectedRow() >= 0;
    for (QAction* action : m_menu->actions()) {
        const int id = action->data().toInt();
        if (id >= static_cast<int>(CommandId::InsertWatermark) &&
            id <= static_cast<int>(CommandId::DeleteWatermark))
            action->setEnabled(selected);
    }
    m_menu->popup(m_table->viewport()->mapToGlobal(position));
}

void WatermarkPanel::showSwitched()
{
    EditorState& state = m_context.state();
    const bool on = m_showBox->isChecked();
    state.watermarksShown = on;
    m_outlineBox->setEnabled(on);
    m_table->setEnabled(on);
    if (!on && state.currentKind() == CurrentKind::Watermark)
        selectWatermark(state, std::nullopt);
    m_context.watermarksChanged.notify();
}

WatermarkPositionDialog::WatermarkPositionDialog(EditorContext& context, QWidget* owner)
    : QDialog(owner), m_context(context)
{
    setObjectName(QStringLiteral("watermarkPositionDialog"));
    setFixedSize(309, 111);
    const auto field = [this](const char* label, int labelX, int editX) {
        auto* text = new QLabel(QString::fromUtf8(label), this);
        text->setGeometry(labelX, 25, 43, 21);
        auto* edit = new QLineEdit(this);
        edit->setGeometry(editX, 21, 44, 22);
        edit->setMaxLength(5);
        edit->setValidator(new QIntValidator(0, 99999, edit));
        // The up arrow lowers the value, the down arrow raises it, as do the arrow keys.
        for (const bool up : {true, false}) {
            auto* button = new QToolButton(this);
            button->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
            button->setGeometry(editX + 44, up ? 21 : 32, 16, 11);
            connect(button, &QToolButton::clicked, this, [this, edit, up] { step(edit, up); });
        }
        edit->installEventFilter(this);
        return edit;
    };
    m_x = field("x坐标：", 29, 73);
    m_y = field("y坐标：", 176, 221);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setGeometry(70, 66, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setGeometry(161, 66, 75, 25);
    connect(ok, &QPushButton::clicked, this, &WatermarkPositionDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void WatermarkPositionDialog::step(QLineEdit* edit, bool up)
{
    const BackgroundLayer& background = m_context.document().tpl().background;
    const int limit = (edit == m_x ? background.width : background.height) - 1;
    const int value = edit->text().toInt() + (up ? -1 : 1);
    edit->setText(QString::number(std::clamp(value, 0, std::max(0, std::min(limit, 32767)))));
}

bool WatermarkPositionDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_x || watched == m_y)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(static_cast<QLineEdit*>(watched), key == Qt::Key_Up);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool WatermarkPositionDialog::event(QEvent* event)
{
    // Coming back to the dialog puts the focus into x again, unless it comes back from one of
    // its own messages (which say where the focus goes).
    if (event->type() == QEvent::WindowActivate && !m_asking)
        m_x->setFocus();
    return QDialog::event(event);
}

std::optional<std::pair<int, int>> WatermarkPositionDialog::run(const Watermark& watermark)
{
    setWindowTitle(QStringLiteral("水印层#%1").arg(watermark.number));
    m_width = watermark.width;
    m_height = watermark.height;
    m_x->setText(watermark.x == -1 ? QString() : QString::number(watermark.x));
    m_y->setText(watermark.y == -1 ? QString() : QString::number(watermark.y));
    if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : nullptr)
        move(screen->availableGeometry().center() - rect().center());
    m_x->setFocus();
    m_x->selectAll();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return m_result;
}

void WatermarkPositionDialog::confirm()
{
    const BackgroundLayer& background = m_context.document().tpl().background;
    const WatermarkPositionCheck check =
        checkWatermarkPosition(m_x->text().toStdString(), m_y->text().toStdString(), m_width,
                               m_height, background.width, background.height);
    if (check.message) {
        m_asking = true;
        m_context.prompts().messageOver(this, "提示", PromptIcon::Warning, *check.message,
                                       PromptButtons::Ok);
        // The dialog's activation after the message is handled first.
        QTimer::singleShot(0, this, [this] { m_asking = false; });
        if (check.focus == WatermarkPositionCheck::Focus::X)
            m_x->setFocus();
        else if (check.focus == WatermarkPositionCheck::Focus::Y)
            m_y->setFocus();
        return;
    }
    m_result = {check.x, check.y};
    accept();
}

} // namespace torvale
