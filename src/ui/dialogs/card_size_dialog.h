#pragma once

#include "app/card_sizes.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace torvale {

class Prompts;

/// "按标准尺寸新建": the card sizes people print and "自定义" (width, height and unit, enabled
/// only then), the DPI and the canvas colour (through Prompts::chooseColor), with the pixel size
/// they give. "确定" is enabled while the values make a card.
class CardSizeDialog : public QDialog {
    Q_OBJECT

public:
    CardSizeDialog(Prompts& prompts, QWidget* owner);

    /// Runs modally; the choice, or nothing when cancelled.
    std::optional<CardSizeChoice> ask();
    /// What the fields hold.
    CardSizeChoice choice() const;

    QComboBox* sizeBox() const { return m_size; }
    QLineEdit* widthField() const { return m_width; }
    QLineEdit* heightField() const { return m_height; }
    QComboBox* unitBox() const { return m_unit; }
    QSpinBox* dpiBox() const { return m_dpi; }
    QPushButton* colorButton() const { return m_colorButton; }
    QLabel* pixelsLabel() const { return m_pixels; }
    QPushButton* okButton() const { return m_ok; }

private:
    void sizePicked(int index);
    void chooseColor();
    void refresh();

    Prompts& m_prompts;
    std::uint32_t m_color = 0xFFFFFF;
    QComboBox* m_size = nullptr;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    QComboBox* m_unit = nullptr;
    QSpinBox* m_dpi = nullptr;
    QPushButton* m_colorButton = nullptr;
    QLabel* m_pixels = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace torvale
