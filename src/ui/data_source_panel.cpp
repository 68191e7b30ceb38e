#include "ui/data_source_panel.h"

#include "ui/main_window.h"

namespace torvale {

DataSourcePanel::DataSourcePanel(MainWindow& window, QWidget* parent) : QGroupBox(parent), m_window(window) {}

void DataSourcePanel::handleCommand(CommandId) {}

void DataSourcePanel::refreshFromDocument() {}

} // namespace torvale
