#pragma once

#include "render/sheet_layout.h"

#include <QDialog>
#include <QWidget>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace torvale {

class EditorContext;

/// What the print sheet dialog was given.
struct PrintSheetRequest {
    SheetSettings settings;
    SheetLayout layout; // the layout the dialog showed for the settings
    std::string pdfPath;
    /// "行: 选择行…": the rows are chosen in the row picker; otherwise every row.
    bool chooseRows = false;
};

/// A small drawing of a page: the paper, its margins, the cards' places and the cutting marks.
class SheetPreview : public QWidget {
    Q_OBJECT

public:
    explicit SheetPreview(QWidget* parent);

    /// The page to draw; nothing draws an empty frame.
    void showLayout(const std::optional<SheetLayout>& layout, double margin);
    const std::optional<SheetLayout>& shownLayout() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<SheetLayout> m_layout;
    double m_margin = 0;
};

/// "打印排版": paper, orientation, margins, gap, cutting marks, the rows (全部 or 选择行…) and
/// the PDF file, with how many cards fit a page and a drawing of the first page. "开始" is
/// enabled only when a card fits and a file is named; the values are kept for the next time
/// within the session.
class PrintSheetDialog : public QDialog {
    Q_OBJECT

public:
    explicit PrintSheetDialog(EditorContext& context, QWidget* owner);

    /// Runs modally for cards of cardWidth x cardHeight mm; the file field starts with
    /// suggestedPath when it is empty. The choice, or nothing when cancelled.
    std::optional<PrintSheetRequest> ask(double cardWidth, double cardHeight,
                                         const std::string& suggestedPath);
    /// Sets the card size and the file as ask() does, without running the dialog.
    void prepare(double cardWidth, double cardHeight, const std::string& suggestedPath);

    /// The settings the fields hold.
    SheetSettings settings() const;

    QComboBox* paperBox() const { return m_paper; }
    QDoubleSpinBox* paperWidthBox() const { return m_paperWidth; }
    QDoubleSpinBox* paperHeightBox() const { return m_paperHeight; }
    QComboBox* orientationBox() const { return m_orientation; }
    QComboBox* rowsBox() const { return m_rows; }
    QLineEdit* fileField() const { return m_file; }
    QPushButton* chooseButton() const { return m_choose; }
    QPushButton* okButton() const { return m_ok; }
    QLabel* summaryLabel() const { return m_summary; }
    SheetPreview* preview() const { return m_preview; }

private:
    void refresh();
    void chooseFile();

    EditorContext& m_context;
    double m_cardWidth = 0;
    double m_cardHeight = 0;
    QComboBox* m_paper = nullptr;
    QDoubleSpinBox* m_paperWidth = nullptr;
    QDoubleSpinBox* m_paperHeight = nullptr;
    QComboBox* m_orientation = nullptr;
    QDoubleSpinBox* m_margin = nullptr;
    QDoubleSpinBox* m_gap = nullptr;
    QCheckBox* m_marks = nullptr;
    QCheckBox* m_fit = nullptr;
    QLineEdit* m_file = nullptr;
    QPushButton* m_choose = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_summary = nullptr;
    SheetPreview* m_preview = nullptr;
    QComboBox* m_rows = nullptr;
};

} // namespace torvale
