#include "ui/main/batch_controller.h"
#include "ui/panels/data_source_panel.h"
#include "ui/main/main_window.h"
#include "ui/windows/row_check_window.h"

namespace torvale {

void MainWindow::startBatch()
{
    m_batch->start();
}

void MainWindow::showRowCheck()
{
    if (!m_rowCheckWindow)
        m_rowCheckWindow = new RowCheckWindow(
            this, [this](std::size_t row) { m_dataSourcePanel->previewRow(row); });
    m_rowCheckWindow->showResult(m_batch->lastRowCheck());
    m_rowCheckWindow->show();
    m_rowCheckWindow->raise();
    m_rowCheckWindow->activateWindow();
}

} // namespace torvale
