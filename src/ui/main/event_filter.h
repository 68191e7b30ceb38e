#pragma once

#include <QObject>

class QKeyEvent;
class QWheelEvent;
class QWidget;

namespace torvale {

class MainWindow;

/// The editor's input routing as one application-wide event filter: any mouse or
/// key press closes the balloons; the wheel scrolls the settings column or, with Ctrl over the
/// canvas, steps the zoom; Delete, Escape and Ctrl+A act on the layers; Space is kept from
/// combo boxes, lists and sliders.
class AppEventFilter : public QObject {
    Q_OBJECT

public:
    /// Pixels the settings column scrolls per wheel notch.
    static constexpr int kWheelStep = 50;

    explicit AppEventFilter(MainWindow& window, QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handleWheel(QWidget* target, QWheelEvent* event);
    bool handleKey(QWidget* target, QKeyEvent* event);
    /// Sends arrows, Ctrl and Space from the controls around the canvas to the canvas.
    bool forwardToCanvas(QWidget* target, QKeyEvent* event);
    /// The widget a key event for target is handled as (the focus widget), or null when the
    /// filter leaves it alone.
    QWidget* keyWidget(QWidget* target) const;
    bool isInside(const QWidget* widget, const QWidget* ancestor) const;
    bool isLayerList(const QWidget* widget) const;
    bool inLayerWindow(const QWidget* widget) const;
    /// Esc: takes back a layer being placed or drawn, or puts back what a drag moved; true
    /// when it was used.
    bool escape();
    /// Adds a wheel delta to an accumulator and returns the whole notches it makes: +1 for each
    /// +120, -1 for each -120. High-resolution wheels and touchpads send parts of a notch.
    static int wholeNotches(int& accumulated, int delta);

    MainWindow& m_window;
    int m_zoomDelta = 0;   // parts of a notch over the canvas with Ctrl
    int m_scrollDelta = 0; // parts of a notch over the settings column
    int m_canvasDelta = 0; // parts of a notch over the canvas without Ctrl
};

} // namespace torvale
