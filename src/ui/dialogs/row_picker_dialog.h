#pragma once

#include "ui/prompts.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <cstddef>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace torvale {

/// The rows of a row picker as a table: "行号" with a check box, then the columns shown. A
/// filter hides rows; ticks stay with their rows whether shown or not.
class RowPickerModel : public QAbstractTableModel {
    Q_OBJECT

public:
    RowPickerModel(const RowChoices& rows, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// Shows only the rows with a cell containing text (after trimming; "" shows all).
    void setFilter(const QString& text);
    /// Ticks or unticks every row shown.
    void tickShown(bool ticked);
    /// Ticks the rows of these numbers and unticks every other.
    void tickExactly(const std::vector<std::size_t>& numbers);
    /// The numbers of the ticked rows, ascending.
    std::vector<std::size_t> ticked() const;
    std::size_t tickedCount() const { return m_tickedCount; }
    /// Ticked rows the filter hides.
    std::size_t tickedHidden() const;
    std::size_t totalRows() const { return m_rows.size(); }

signals:
    /// A tick changed.
    void ticksChanged();

private:
    const RowChoices& m_rows;
    std::vector<char> m_ticked;         // per row of m_rows
    std::vector<std::size_t> m_visible; // indexes into m_rows, ascending
    std::size_t m_tickedCount = 0;
};

/// "选择行": the data rows with a check box each, a filter, "全选" and "全不选" (of the rows
/// shown), "上次有问题的行", and the count of rows ticked. "确定" needs at least one ticked row.
class RowPickerDialog : public QDialog {
    Q_OBJECT

public:
    /// request must outlive the dialog.
    RowPickerDialog(const RowPickerRequest& request, QWidget* owner);

    /// Runs modally: the numbers of the ticked rows, ascending, or nothing when cancelled.
    std::optional<std::vector<std::size_t>> ask();

    RowPickerModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QLineEdit* filterField() const { return m_filter; }
    QPushButton* selectAllButton() const { return m_all; }
    QPushButton* selectNoneButton() const { return m_none; }
    QPushButton* problemRowsButton() const { return m_problems; }
    QPushButton* okButton() const { return m_ok; }
    QLabel* countLabel() const { return m_count; }
    QLabel* shownLabel() const { return m_shown; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();

    const RowPickerRequest& m_request;
    RowPickerModel* m_model;
    QTableView* m_table;
    QLineEdit* m_filter;
    QLabel* m_shown;
    QPushButton* m_all;
    QPushButton* m_none;
    QPushButton* m_problems;
    QPushButton* m_ok;
    QLabel* m_count;
};

} // namespace torvale
