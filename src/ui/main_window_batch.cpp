#include "ui/batch_controller.h"
#include "ui/main_window.h"

namespace torvale {

void MainWindow::startBatch()
{
    m_batch->start();
}

} // namespace torvale
