#pragma once

#include "ui/command_id.h"

#include <QGroupBox>

class QCheckBox;
class QSpinBox;
class QLineEdit;
class QPushButton;

namespace torvale {

class MainWindow;

/// The CSV data source: the file and the trimming switch.
class DataSourcePanel : public QGroupBox {
    Q_OBJECT

public:
    DataSourcePanel(MainWindow& window, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleControl(ControlId id);
    /// Shows the document's values again.
    void refreshFromDocument();

    /// The CSV path field (balloons about the CSV file point at it).
    QLineEdit* csvPathField() const { return m_pathField; }
    QPushButton* chooseButton() const { return m_chooseButton; }
    QCheckBox* trimBox() const { return m_trimBox; }
    QCheckBox* previewBox() const { return m_previewBox; }
    QSpinBox* previewRowBox() const { return m_previewRow; }
    /// The row box goes up to the number of data rows (at least 1).
    void showPreviewRows(std::size_t rows);
    /// Turns the row preview on for a 1-based data row.
    void previewRow(std::size_t row);
    /// Steps the preview's row (Page Up / Page Down on the canvas).
    void stepPreviewRow(int steps);

private:
    void chooseCsv();
    void switchTrim();
    void previewChanged();

    MainWindow& m_window;
    QLineEdit* m_pathField = nullptr;
    QPushButton* m_chooseButton = nullptr;
    QCheckBox* m_trimBox = nullptr;
    QCheckBox* m_previewBox = nullptr;
    QSpinBox* m_previewRow = nullptr;
};

} // namespace torvale
