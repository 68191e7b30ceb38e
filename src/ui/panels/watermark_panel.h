#pragma once

#include "app/editor_state.h"

#include <QDialog>
#include <QGroupBox>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QLineEdit;
class QTableWidget;

namespace torvale {

class EditorContext;

/// The watermark panel: the list of watermarks ("编号", "x", "y", "宽", "高", "图片路径") with
/// its context menu, "水印层" (show and pick watermarks) and "显示选区" (outlines of the
/// others). The list's selection mirrors the editor's current watermark.
class WatermarkPanel : public QGroupBox {
    Q_OBJECT

public:
    WatermarkPanel(EditorContext& context, QWidget* parent);

    /// Rewrites every row from the watermarks.
    void refreshRows();
    /// Makes the list's selection follow the current watermark.
    void mirrorSelection();
    /// The row of the current watermark, else the selected row; -1 without one.
    int selectedRow() const;

    QTableWidget* table() const { return m_table; }
    QCheckBox* showBox() const { return m_showBox; }
    QMenu* menu() const { return m_menu; }

private:
    void onSelectionChanged();
    void openMenu(const QPoint& position);
    void showSwitched();

    EditorContext& m_context;
    std::vector<Subscription> m_subscriptions;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_showBox = nullptr;
    QCheckBox* m_outlineBox = nullptr;
    QMenu* m_menu = nullptr;
    bool m_updating = false;
};

/// The position dialog of a watermark, "水印层#%d": x and y with up-down buttons whose up
/// arrow lowers the value, checked against the background when "确定" is pressed.
class WatermarkPositionDialog : public QDialog {
    Q_OBJECT

public:
    explicit WatermarkPositionDialog(EditorContext& context, QWidget* owner);

    /// Opens for a watermark; the accepted position, or nothing when cancelled.
    std::optional<std::pair<int, int>> run(const Watermark& watermark);

    QLineEdit* xField() const { return m_x; }
    QLineEdit* yField() const { return m_y; }
    /// "确定": the checks in order; a problem is shown and the dialog stays open.
    void confirm();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    /// One step of a position field: up lowers the value, down raises it, within the card.
    void step(QLineEdit* edit, bool up);

    EditorContext& m_context;
    bool m_asking = false; // one of the dialog's messages is open
    QLineEdit* m_x = nullptr;
    QLineEdit* m_y = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::pair<int, int> m_result;
};

} // namespace torvale
