#pragma once

#include <QWidget>
#include <string>

namespace torvale {

/// The information log window ("信息 - F2"): time-stamped lines, white on black.
class LogWindow : public QWidget {
    Q_OBJECT

public:
    explicit LogWindow(QWidget* owner);

    /// Appends "%H:%M:%S message" and a line break, and shows the window.
    void appendLine(const std::string& message);
    /// Shows or hides the window (F2).
    void toggle();
    /// The whole text shown.
    QString text() const;
};

} // namespace torvale
