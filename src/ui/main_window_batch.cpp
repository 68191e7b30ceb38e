#include "ui/main_window.h"

namespace torvale {

void MainWindow::startBatch() {}

} // namespace torvale
