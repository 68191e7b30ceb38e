#include "ui/canvas_view.h"

#include "ui/main_window.h"

namespace torvale {

CanvasView::CanvasView(MainWindow& window, QWidget* parent) : QWidget(parent), m_window(window) {}

void CanvasView::setZoom(double zoom) { m_zoom = zoom; }

void CanvasView::refreshBackground() { update(); }

} // namespace torvale
