#include "ui/background_panel.h"

#include "ui/main_window.h"

namespace torvale {

BackgroundPanel::BackgroundPanel(MainWindow& window, QWidget* parent) : QGroupBox(parent), m_window(window) {}

void BackgroundPanel::handleCommand(CommandId) {}

void BackgroundPanel::refreshFromDocument() {}

} // namespace torvale
