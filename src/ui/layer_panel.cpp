#include "ui/layer_panel.h"

#include "ui/main_window.h"

namespace torvale {

LayerPanel::LayerPanel(MainWindow& window, QWidget* parent) : QGroupBox(parent), m_window(window) {}

void LayerPanel::handleCommand(CommandId) {}

void LayerPanel::refreshFromDocument() {}

} // namespace torvale
