#pragma once

#include "common/signal.h"
#include "ui/command_id.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QLineEdit;
class QPushButton;

namespace torvale {

class EditorContext;

/// The CSV data source: the file (a CSV file or a workbook, with its sheet chosen in a list when
/// it has several), the trimming switch and the row preview's switch and row.
class DataSourcePanel : public QGroupBox {
    Q_OBJECT

public:
    DataSourcePanel(EditorContext& context, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleControl(ControlId id);
    /// Shows the document's values again.
    void refreshFromDocument();

    /// The CSV path field (balloons about the CSV file point at it).
    QLineEdit* csvPathField() const { return m_pathField; }
    QPushButton* chooseButton() const { return m_chooseButton; }
    /// The sheets of the chosen workbook; shown only when it has more than one.
    QComboBox* sheetBox() const { return m_sheetBox; }
    QCheckBox* trimBox() const { return m_trimBox; }
    QCheckBox* previewBox() const { return m_previewBox; }
    QSpinBox* previewRowBox() const { return m_previewRow; }
    /// Turns the row preview on for a 1-based data row.
    void previewRow(std::size_t row);

private:
    void chooseCsv();
    void switchTrim();
    /// Reads the sheet names of the chosen workbook into the sheet list.
    void showSheets();
    void chooseSheet(int index);
    void previewChanged();
    /// The row box goes up to the number of data rows (at least 1).
    void showPreviewRows(std::size_t rows);
    void showPreviewRow(int row);

    EditorContext& m_context;
    Subscription m_subscription;
    QLineEdit* m_pathField = nullptr;
    QComboBox* m_sheetBox = nullptr;
    QPushButton* m_chooseButton = nullptr;
    QCheckBox* m_trimBox = nullptr;
    QCheckBox* m_previewBox = nullptr;
    QSpinBox* m_previewRow = nullptr;
};

} // namespace torvale
