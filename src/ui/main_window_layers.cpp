#include "ui/main_window.h"

namespace torvale {

bool MainWindow::handleLayerCommand(CommandId) { return false; }

} // namespace torvale
