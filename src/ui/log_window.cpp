#include "ui/log_window.h"

namespace torvale {

LogWindow::LogWindow(QWidget* owner) : QWidget(owner, Qt::Tool) {}

void LogWindow::appendLine(const std::string&) {}

void LogWindow::toggle() { setVisible(!isVisible()); }

QString LogWindow::text() const { return {}; }

} // namespace torvale
