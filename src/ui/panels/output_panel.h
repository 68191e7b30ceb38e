#pragma once

#include "common/signal.h"
#include "ui/command_id.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace torvale {

class EditorContext;

/// How cards are saved: format, colour space, quality, transparency, PNG-8 palette, output
/// folder, the file-name columns and the serial number of the first data row.
class OutputPanel : public QGroupBox {
    Q_OBJECT

public:
    OutputPanel(EditorContext& context, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleControl(ControlId id);
    /// Shows the document's values again.
    void refreshFromDocument();
    /// Refills the two file-name boxes from the CSV columns, each keeping its choice by text.
    void fillFileNameBoxes();

    QComboBox* formatBox() const { return m_formatBox; }
    QComboBox* colorspaceBox() const { return m_colorspaceBox; }
    QSlider* qualitySlider() const { return m_qualitySlider; }
    QLabel* qualityLabel() const { return m_qualityValue; }
    QCheckBox* transparentBox() const { return m_transparentBox; }
    QCheckBox* png8Box() const { return m_png8Box; }
    QComboBox* paletteBox() const { return m_paletteBox; }
    QLineEdit* folderField() const { return m_folderField; }
    QPushButton* chooseFolderButton() const { return m_chooseFolderButton; }
    QComboBox* fileNameBox(int which) const { return which == 0 ? m_fileNameBox1 : m_fileNameBox2; }
    QSpinBox* serialStartBox() const { return m_serialStartBox; }

private:
    void formatChanged();
    void showControlsForFormat();
    void qualityChanged(int value);
    void chooseFolder();
    void fileNameChanged(int which);
    void serialStartChanged(int value);

    EditorContext& m_context;
    Subscription m_subscription;
    QComboBox* m_formatBox = nullptr;
    QLabel* m_colorspaceLabel = nullptr;
    QComboBox* m_colorspaceBox = nullptr;
    QLabel* m_qualityCaption = nullptr;
    QSlider* m_qualitySlider = nullptr;
    QLabel* m_qualityValue = nullptr;
    QCheckBox* m_transparentBox = nullptr;
    QCheckBox* m_png8Box = nullptr;
    QLabel* m_paletteLabel = nullptr;
    QComboBox* m_paletteBox = nullptr;
    QLineEdit* m_folderField = nullptr;
    QPushButton* m_chooseFolderButton = nullptr;
    QComboBox* m_fileNameBox1 = nullptr;
    QComboBox* m_fileNameBox2 = nullptr;
    QSpinBox* m_serialStartBox = nullptr;
};

} // namespace torvale
