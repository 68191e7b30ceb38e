#pragma once

#include <QWidget>

namespace torvale {

class MainWindow;

/// The design canvas area. For now it shows the background at the current zoom.
class CanvasView : public QWidget {
    Q_OBJECT

public:
    CanvasView(MainWindow& window, QWidget* parent);

    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    /// Takes the background from the document again.
    void refreshBackground();

private:
    MainWindow& m_window;
    double m_zoom = 1.0;
};

} // namespace torvale
