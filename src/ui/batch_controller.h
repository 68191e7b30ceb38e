#pragma once

namespace torvale {

class MainWindow;

/// Runs a batch from the window on a worker thread with the progress dialog.
class BatchController {
public:
    explicit BatchController(MainWindow& window) : m_window(window) {}

private:
    MainWindow& m_window;
};

} // namespace torvale
