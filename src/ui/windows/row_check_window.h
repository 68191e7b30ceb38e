#pragma once

#include "batch/row_check.h"

#include <QDialog>
#include <functional>

class QLabel;
class QTreeWidget;

namespace torvale {

/// "检查数据": the problems of every data row (行, 列, 问题) under a summary line. A double
/// click on a problem hands its row to the row chooser (the editor previews that row).
class RowCheckWindow : public QDialog {
    Q_OBJECT

public:
    RowCheckWindow(QWidget* owner, std::function<void(std::size_t row)> chooseRow);

    /// Shows a check's result, replacing the one shown before.
    void showResult(const RowCheckResult& result);

    QTreeWidget* list() const { return m_list; }
    QLabel* summary() const { return m_summary; }

private:
    std::function<void(std::size_t)> m_chooseRow;
    QLabel* m_summary;
    QTreeWidget* m_list;
};

} // namespace torvale
