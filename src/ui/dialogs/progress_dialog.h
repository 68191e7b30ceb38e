#pragma once

#include <QDialog>
#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;

namespace torvale {

/// "处理进度": the bar, "停止" and the count text while a batch runs.
class ProgressDialog : public QDialog {
    Q_OBJECT

public:
    explicit ProgressDialog(QWidget* owner);

    /// Prepares the dialog for a batch: button "停止" enabled, bar at 0, text for the total;
    /// the dialog cannot be closed until the batch ends.
    void start(std::atomic<bool>& stopFlag, int total);
    /// "正在处理 1/%d..." and the bar's range.
    void setTotal(int total);
    /// "正在处理 %d/%d..." and the bar at n - 1.
    void setStep(int n);
    /// The batch ended (early when stopped: the stop button is restored); the dialog closes.
    void finish(bool stopped);
    /// The batch never ran: the dialog may be closed.
    void allowClose() { m_allowClose = true; }

    QPushButton* stopButton() const { return m_stop; }
    QLabel* textLabel() const { return m_text; }
    QProgressBar* bar() const { return m_bar; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* m_bar;
    QPushButton* m_stop;
    QLabel* m_text;
    std::atomic<bool>* m_stopFlag = nullptr;
    int m_total = 0;
    bool m_allowClose = false;
};

} // namespace torvale
