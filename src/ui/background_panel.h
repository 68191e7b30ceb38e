#pragma once

#include "ui/command_id.h"

#include <QGroupBox>

namespace torvale {

class MainWindow;

class BackgroundPanel : public QGroupBox {
    Q_OBJECT

public:
    BackgroundPanel(MainWindow& window, QWidget* parent);

    /// Carries out a command of one of the panel's controls.
    void handleCommand(CommandId id);
    /// Shows the document's values again.
    void refreshFromDocument();

private:
    MainWindow& m_window;
};

} // namespace torvale
