#include "ui/dialogs/row_picker_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace torvale {

namespace {

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Column widths are measured on this many rows, not on every row of a long list.
constexpr int kMeasuredRows = 200;

} // namespace

RowPickerModel::RowPickerModel(const RowChoices& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows), m_ticked(rows.size(), 0)
{
    setFilter(QString());
}

int RowPickerModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_visible.size());
}

int RowPickerModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.columns.size() + 1);
}

QVariant RowPickerModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_visible.size())
        return {};
    const std::size_t row = m_visible[static_cast<std::size_t>(index.row())];
    if (index.column() == 0) {
        if (role == Qt::CheckStateRole)
            return m_ticked[row] ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::DisplayRole)
            return QString::number(m_rows.numbers[row]);
        return {};
    }
    // A cell with line breaks is shown on one line.
    if (role == Qt::DisplayRole)
        return qs(m_rows.cell(row, static_cast<std::size_t>(index.column() - 1))).simplified();
    return {};
}

bool RowPickerModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole ||
        static_cast<std::size_t>(index.row()) >= m_visible.size())
        return false;
    const std::size_t row = m_visible[static_cast<std::size_t>(index.row())];
    const char ticked = value.value<Qt::CheckState>() == Qt::Checked ? 1 : 0;
    if (m_ticked[row] != ticked) {
        m_ticked[row] = ticked;
        if (ticked)
            ++m_tickedCount;
        else
            --m_tickedCount;
        emit dataChanged(index, index, {Qt::CheckStateRole});
        emit ticksChanged();
    }
    return true;
}

Qt::ItemFlags RowPickerModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant RowPickerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("行号");
    if (static_cast<std::size_t>(section) <= m_rows.columns.size())
        return qs(m_rows.columns[static_cast<std::size_t>(section - 1)]);
    return {};
}

void RowPickerModel::setFilter(const QString& text)
{
    const std::string filter = text.trimmed().toStdString();
    beginResetModel();
    m_visible.clear();
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (rowContains(m_rows, row, filter))
            m_visible.push_back(row);
    }
    endResetModel();
}

void RowPickerModel::tickShown(bool ticked)
{
    for (const std::size_t row : m_visible)
        m_ticked[row] = ticked ? 1 : 0;
    m_tickedCount = static_cast<std::size_t>(std::count(m_ticked.begin(), m_ticked.end(), 1));
    if (!m_visible.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(m_visible.size()) - 1, 0),
                         {Qt::CheckStateRole});
    emit ticksChanged();
}

void RowPickerModel::tickExactly(const std::vector<std::size_t>& numbers)
{
    std::fill(m_ticked.begin(), m_ticked.end(), 0);
    m_tickedCount = 0;
    for (const std::size_t number : numbers) {
        const auto found = std::lower_bound(m_rows.numbers.begin(), m_rows.numbers.end(), number);
        if (found == m_rows.numbers.end() || *found != number)
            continue;
        char& tick = m_ticked[static_cast<std::size_t>(found - m_rows.numbers.begin())];
        m_tickedCount += tick ? 0 : 1;
        tick = 1;
    }
    if (!m_visible.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(m_visible.size()) - 1, 0),
                         {Qt::CheckStateRole});
    emit ticksChanged();
}

std::vector<std::size_t> RowPickerModel::ticked() const
{
    std::vector<std::size_t> numbers;
    numbers.reserve(m_tickedCount);
    for (std::size_t row = 0; row < m_ticked.size(); ++row) {
        if (m_ticked[row])
            numbers.push_back(m_rows.numbers[row]);
    }
    return numbers;
}

std::size_t RowPickerModel::tickedHidden() const
{
    std::size_t shown = 0;
    for (const std::size_t row : m_visible)
        shown += m_ticked[row] ? 1 : 0;
    return m_tickedCount - shown;
}

RowPickerDialog::RowPickerDialog(const RowPickerRequest& request, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::WindowMaximizeButtonHint),
      m_request(request), m_model(new RowPickerModel(request.rows, this))
{
    setWindowTitle(QStringLiteral("选择行"));

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("rowFilter"));
    m_filter->setPlaceholderText(QStringLiteral("只显示含有这段文字的行"));
    m_filter->setClearButtonEnabled(true);
    m_shown = new QLabel(this);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("筛选："), this));
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_shown);

    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Every row the same height: the view then never measures the rows of a long list.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    m_table->horizontalHeader()->setResizeContentsPrecision(kMeasuredRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();

    m_all = new QPushButton(QStringLiteral("全选"), this);
    m_none = new QPushButton(QStringLiteral("全不选"), this);
    m_problems = new QPushButton(QStringLiteral("上次有问题的行"), this);
    m_problems->setEnabled(!request.problemRows.empty());
    m_count = new QLabel(this);
    auto* tickRow = new QHBoxLayout;
    tickRow->addWidget(m_all);
    tickRow->addWidget(m_none);
    tickRow->addWidget(m_problems);
    tickRow->addStretch(1);
    tickRow->addWidget(m_count);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(m_table, 1);
    layout->addLayout(tickRow);
    layout->addWidget(buttons);
    resize(640, 480);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->setFilter(text);
        refresh();
    });
    connect(m_all, &QPushButton::clicked, this, [this] { m_model->tickShown(true); });
    connect(m_none, &QPushButton::clicked, this, [this] { m_model->tickShown(false); });
    connect(m_problems, &QPushButton::clicked, this,
            [this] { m_model->tickExactly(m_request.problemRows); });
    connect(m_model, &RowPickerModel::ticksChanged, this, &RowPickerDialog::refresh);
    refresh();
}

void RowPickerDialog::refresh()
{
    const auto shown = static_cast<qulonglong>(m_model->rowCount());
    const auto total = static_cast<qulonglong>(m_model->totalRows());
    m_shown->setText(shown == total ? QStringLiteral("共 %1 行").arg(total)
                                    : QStringLiteral("显示 %1 / %2 行").arg(shown).arg(total));
    QString count =
        QStringLiteral("已选 %1 行").arg(static_cast<qulonglong>(m_model->tickedCount()));
    if (const std::size_t hidden = m_model->tickedHidden(); hidden > 0)
        count += QStringLiteral("（其中 %1 行未显示）").arg(static_cast<qulonglong>(hidden));
    m_count->setText(count);
    m_ok->setEnabled(m_model->tickedCount() > 0);
    const bool any = shown > 0;
    m_all->setEnabled(any);
    m_none->setEnabled(any);
}

void RowPickerDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter after typing a filter goes on to the rows it shows; it does not start the batch.
    if (m_filter->hasFocus() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        m_table->setFocus();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::optional<std::vector<std::size_t>> RowPickerDialog::ask()
{
    if (exec() != QDialog::Accepted || m_model->tickedCount() == 0)
        return std::nullopt;
    return m_model->ticked();
}

} // namespace torvale
