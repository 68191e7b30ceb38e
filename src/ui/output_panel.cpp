#include "ui/output_panel.h"

#include "ui/main_window.h"

namespace torvale {

OutputPanel::OutputPanel(MainWindow& window, QWidget* parent) : QGroupBox(parent), m_window(window) {}

void OutputPanel::handleCommand(CommandId) {}

void OutputPanel::refreshFromDocument() {}

} // namespace torvale
