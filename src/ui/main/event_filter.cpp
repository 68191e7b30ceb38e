#include "ui/main/event_filter.h"

#include "app/editor_state.h"

#include "ui/balloon.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"
#include "ui/main/main_window.h"
#include "ui/panels/watermark_panel.h"
#include "ui/windows/layer_windows.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QSlider>
#include <QWheelEvent>
#include <algorithm>
#include <iterator>

namespace torvale {

AppEventFilter::AppEventFilter(MainWindow& window, QObject* parent)
    : QObject(parent), m_window(window)
{
}

int AppEventFilter::wholeNotches(int& accumulated, int delta)
{
    constexpr int kNotch = 120;
    // A turn the other way starts afresh.
    if ((accumulated > 0 && delta < 0) || (accumulated < 0 && delta > 0))
        accumulated = 0;
    accumulated += delta;
    const int notches = accumulated / kNotch;
    accumulated -= notches * kNotch;
    return notches;
}

bool AppEventFilter::isInside(const QWidget* widget, const QWidget* ancestor) const
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == ancestor)
            return true;
    }
    return false;
}

bool AppEventFilter::isLayerList(const QWidget* widget) const
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w->objectName() == QLatin1String("layerList"))
            return true;
        if (w->isWindow())
            break;
    }
    return false;
}

bool AppEventFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        if (watched->isWidgetType() && !m_window.balloons().open().empty())
            m_window.balloons().dismissAll();
        break;
    case QEvent::KeyPress:
        if (!watched->isWidgetType())
            break;
        if (!m_window.balloons().open().empty())
            m_window.balloons().dismissAll();
        return handleKey(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease:
        if (watched->isWidgetType())
            return forwardToCanvas(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
        break;
    case QEvent::Wheel:
        if (watched->isWidgetType())
            return handleWheel(static_cast<QWidget*>(watched), static_cast<QWheelEvent*>(event));
        break;
    default:
        break;
    }
    return false;
}

bool AppEventFilter::handleWheel(QWidget* target, QWheelEvent* event)
{
    // Modal dialogs keep their own wheel handling, as their own loops did.
    if (QApplication::activeModalWidget() || target->window() != &m_window)
        return false;
    const int delta = event->angleDelta().y();
    if (isInside(target, m_window.canvas())) {
        if (!(event->modifiers() & Qt::ControlModifier)) {
            m_window.canvas()->wheelScroll(wholeNotches(m_canvasDelta, delta));
            return true;
        }
        if (event->modifiers() != Qt::ControlModifier || event->buttons() != Qt::NoButton)
            return true;
        // A whole notch away from the user zooms in, a whole notch of any other kind out.
        for (int notches = wholeNotches(m_zoomDelta, delta); notches != 0;
             notches -= notches > 0 ? 1 : -1) {
            const double zoom = m_window.canvas()->zoom();
            const double next = steppedZoom(zoom, notches > 0);
            const auto level = std::find(std::begin(kZoomLevels), std::end(kZoomLevels), next);
            if (next != zoom && level != std::end(kZoomLevels))
                m_window.execute(
                    kZoomCommands.at(static_cast<std::size_t>(level - std::begin(kZoomLevels))));
        }
        return true;
    }
    QScrollArea* column = m_window.settingsColumn();
    if (delta == 0 || !isInside(target, column))
        return false;
    // A control with a visible scroll bar of its own (the layer list) scrolls itself.
    for (QWidget* w = target; w && w != column; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w);
            area && area->verticalScrollBar()->isVisible())
            return false;
    }
    QScrollBar* bar = column->verticalScrollBar();
    const int notches = wholeNotches(m_scrollDelta, delta);
    bar->setValue(bar->value() - notches * kWheelStep);
    return true;
}

QWidget* AppEventFilter::keyWidget(QWidget* target) const
{
    if (QApplication::activeModalWidget() || target->window() != &m_window)
        return nullptr;
    // A key goes to the focus widget first; its parents see it again only when it was not
    // taken, and then it must not be handled twice.
    QWidget* focus = QApplication::focusWidget();
    if (focus && target != focus)
        return nullptr;
    return focus ? focus : target;
}

bool AppEventFilter::forwardToCanvas(QWidget* target, QKeyEvent* event)
{
    QWidget* widget = keyWidget(target);
    if (!widget)
        return false;
    const int key = event->key();
    const bool arrowOrCtrl = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
                             key == Qt::Key_Down || key == Qt::Key_Control;
    // The canvas is edited with the arrows and Ctrl from the window, its buttons and lists, and
    // panned with Space from the window, lists, drop-down lists and sliders: those controls
    // must not move their own selection or open their lists with these keys.
    const bool forwarded =
        (arrowOrCtrl && (widget == &m_window || qobject_cast<QAbstractButton*>(widget) ||
                         qobject_cast<QAbstractItemView*>(widget))) ||
        (key == Qt::Key_Space &&
         (widget == &m_window || qobject_cast<QAbstractItemView*>(widget) ||
          qobject_cast<QSlider*>(widget) ||
          (qobject_cast<QComboBox*>(widget) && !static_cast<QComboBox*>(widget)->isEditable())));
    if (!forwarded)
        return false;
    QKeyEvent copy(event->type(), key, event->modifiers(), event->text(), event->isAutoRepeat());
    QApplication::sendEvent(m_window.canvas(), &copy);
    return true;
}

bool AppEventFilter::inLayerWindow(const QWidget* widget) const
{
    const auto windows = m_window.layerWindows();
    return std::any_of(windows.begin(), windows.end(),
                       [this, widget](const QWidget* window) { return isInside(widget, window); });
}

bool AppEventFilter::escape()
{
    EditorState& state = m_window.state();
    if (state.escapeCancelsNewLayer()) {
        m_window.execute(CommandId::DeleteLayers);
        state.drag = DragKind::None;
        return true;
    }
    // During a drag Esc puts back what the press found.
    CanvasView& canvas = *m_window.canvas();
    const CanvasEffects effects = canvas.controller().escape();
    canvas.apply(effects);
    return effects.consumed;
}

bool AppEventFilter::handleKey(QWidget* target, QKeyEvent* event)
{
    // Esc acts on the canvas from the layer property windows too (unless a list is open).
    if (event->key() == Qt::Key_Escape && target == QApplication::focusWidget() &&
        !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
        inLayerWindow(target))
        return escape();
    QWidget* widget = keyWidget(target);
    if (!widget)
        return false;
    EditorState& state = m_window.state();

    // The Delete key of the keypad is Delete too.
    if (event->key() == Qt::Key_Delete &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        const bool deleteFocus =
            isLayerList(widget) || qobject_cast<QPushButton*>(widget) ||
            qobject_cast<QSlider*>(widget) ||
            (qobject_cast<QComboBox*>(widget) && !static_cast<QComboBox*>(widget)->isEditable()) ||
            widget == m_window.canvas() || widget == &m_window;
        // In the watermark list Delete deletes the selected watermark.
        if (isInside(widget, m_window.watermarkPanel()->table())) {
            if (state.current())
                m_window.execute(CommandId::DeleteWatermark);
            return true;
        }
        if (!deleteFocus)
            return false;
        if (state.deleteKeyDeletesLayers())
            m_window.execute(CommandId::DeleteLayers);
        else if (state.deleteKeyDeletesWatermark())
            m_window.execute(CommandId::DeleteWatermark);
        return true;
    }
    if (forwardToCanvas(target, event))
        return true;
    if (event->key() == Qt::Key_Escape)
        return escape();
    if (event->key() == Qt::Key_A && event->modifiers() == Qt::ControlModifier &&
        (widget == m_window.canvas() || isLayerList(widget))) {
        m_window.execute(CommandId::SelectAllLayers);
        return true;
    }
    return false;
}

} // namespace torvale
