#include "ui/main_window.h"

#include <QCloseEvent>
#include <QMenu>

namespace torvale {

void MainWindow::buildMenus() {}

void MainWindow::rebuildRecentMenu() {}

bool MainWindow::handleFileCommand(CommandId) { return false; }

bool MainWindow::confirmDiscard() { return true; }

bool MainWindow::saveTemplate(bool) { return false; }

void MainWindow::openTemplatePath(const std::string&) {}

void MainWindow::offerDesktopShortcut() {}

QMenu* MainWindow::popupMenu(const QString&) const { return nullptr; }

void MainWindow::closeEvent(QCloseEvent* event) { event->accept(); }

} // namespace torvale
