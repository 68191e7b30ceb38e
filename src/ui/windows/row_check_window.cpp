#include "ui/windows/row_check_window.h"

#include "common/text.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace torvale {

namespace {

constexpr int kRowRole = Qt::UserRole;

} // namespace

RowCheckWindow::RowCheckWindow(QWidget* owner, std::function<void(std::size_t)> chooseRow)
    : QDialog(owner), m_chooseRow(std::move(chooseRow)), m_summary(new QLabel(this)),
      m_list(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("rowCheckWindow"));
    setWindowTitle(QStringLiteral("检查数据"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(640, 360);
    m_summary->setObjectName(QStringLiteral("rowCheckSummary"));
    m_list->setObjectName(QStringLiteral("rowCheckList"));
    m_list->setHeaderLabels({QStringLiteral("行"), QStringLiteral("列"), QStringLiteral("问题")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 90);
    m_list->setColumnWidth(1, 110);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list);
    auto* hint = new QLabel(QStringLiteral("双击一个问题，在画布上预览那一行的卡片。"), this);
    layout->addWidget(hint);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        // The header has no card to preview.
        const qulonglong row = item ? item->data(0, kRowRole).toULongLong() : 0;
        if (row > 0 && m_chooseRow)
            m_chooseRow(row);
    });
}

void RowCheckWindow::showResult(const RowCheckResult& result)
{
    m_summary->setText(QString::fromStdString(rowCheckSummary(result)));

    m_list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(result.problems.size()));
    for (const RowProblem& problem : result.problems) {
        // A problem of the whole row (skipped, a quote never closed) is about the file: it
        // names the file's line too, as the batch's log does.
        QString row = problem.row == 0 ? QStringLiteral("表头") : QString::number(problem.row);
        if (problem.column.empty())
            row += QStringLiteral("（文件第 %1 行）").arg(problem.line);
        auto* item = new QTreeWidgetItem(
            {row, QString::fromStdString(replaceTerminalControls(problem.column, false)),
             QString::fromStdString(problem.message)});
        item->setData(0, kRowRole, QVariant::fromValue<qulonglong>(problem.row));
        item->setToolTip(2, item->text(2));
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    if (!items.isEmpty())
        m_list->setCurrentItem(items.front());
}

} // namespace torvale
