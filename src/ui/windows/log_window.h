#pragma once

#include <QWidget>
#include <string>

class QPlainTextEdit;

namespace torvale {

/// The information log window ("信息 - F2"): time-stamped lines, white on black, owned by the
/// main window and created hidden.
class LogWindow : public QWidget {
    Q_OBJECT

public:
    /// The text is kept below this many characters: the older half goes first.
    static constexpr int kTextLimit = 30000;

    explicit LogWindow(QWidget* owner);

    /// Appends "%H:%M:%S message" and a line break (the message's own trailing line breaks are
    /// dropped), scrolls to the end and shows the window when it is hidden.
    void appendLine(const std::string& message);
    /// Shows or hides the window (F2).
    void toggle();
    /// The whole text shown.
    QString text() const;

protected:
    /// Closing the window clears its text and hides it.
    void closeEvent(QCloseEvent* event) override;

private:
    QPlainTextEdit* m_edit = nullptr;
};

} // namespace torvale
