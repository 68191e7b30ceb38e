#include "ui/canvas/canvas_view.h"

#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/thumbnail.h"
#include "ui/editor_context.h"
#include "ui/qt_pixels.h"
#include "ui/row_preview.h"
#include "ui/main/status_line.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

namespace torvale {

namespace {

Qt::CursorShape qtCursor(CanvasCursor cursor)
{
    switch (cursor) {
    case CanvasCursor::Cross:
        return Qt::CrossCursor;
    case CanvasCursor::SizeNWSE:
        return Qt::SizeFDiagCursor;
    case CanvasCursor::SizeNESW:
        return Qt::SizeBDiagCursor;
    case CanvasCursor::SizeWE:
        return Qt::SizeHorCursor;
    case CanvasCursor::SizeNS:
        return Qt::SizeVerCursor;
    case CanvasCursor::SizeAll:
        return Qt::SizeAllCursor;
    case CanvasCursor::Hand:
        return Qt::OpenHandCursor;
    case CanvasCursor::Arrow:
        break;
    }
    return Qt::ArrowCursor;
}

} // namespace

CanvasView::CanvasView(EditorContext& context, QWidget* parent)
    : QAbstractScrollArea(parent), m_context(context),
      m_controller(context.document(), context.state())
{
    setObjectName(QStringLiteral("canvas"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QScrollBar::actionTriggered, this, [this] { setFocus(); });
    m_menu = new QMenu(this);
    m_alignMenu = new QMenu(QStringLiteral("对齐"), this);
    subscribe();
}

void CanvasView::subscribe()
{
    m_subscriptions.push_back(m_context.document().subscribe([this](const DocumentEvent& event) {
        switch (event.change) {
        case DocumentChange::Everything:
            refreshBackground();
            refreshThumbnails();
            break;
        case DocumentChange::FileLink:
        // Relative demo pictures are found from the template's folder; fixed texts show the
        // first serial of the output settings.
        case DocumentChange::Output:
            refreshThumbnails({}, false);
            break;
        case DocumentChange::Dpi:
        case DocumentChange::Background:
            refreshBackground();
            break;
        case DocumentChange::LayersAdded:
        case DocumentChange::LayersRemoved:
            refreshThumbnails(event.layers);
            break;
        case DocumentChange::LayerFields:
            layersChanged(event);
            break;
        case DocumentChange::DisplaySwitches:
            viewport()->update();
            break;
        default:
            break;
        }
    }));
    m_subscriptions.push_back(m_context.state().subscribe([this](const SelectionEffects& effects) {
        if (effects.scrollCanvasToLayer || effects.scrollCanvasToWatermark)
            scrollIntoView();
        if (effects.repaintCanvas)
            viewport()->update();
    }));
    // A font mapped or unmapped changes the texts set in it.
    m_subscriptions.push_back(
        m_context.fontsChanged.subscribe([this](const FontChange&) { refreshThumbnails(); }));
    m_subscriptions.push_back(m_context.watermarksChanged.subscribe([this] {
        syncWatermarkImages();
        viewport()->update();
    }));
    m_subscriptions.push_back(m_context.layerRedrawRequested.subscribe(
        [this](const LayerId& id) { refreshThumbnails({id}); }));
    connect(&m_context.preview(), &RowPreview::cardChanged, this, [this] { viewport()->update(); });
}

CanvasView::~CanvasView() = default;

void CanvasView::setZoom(double zoom)
{
    if (!m_controller.setZoom(zoom))
        return;
    m_context.setStatusText(3, QStringLiteral("%1%").arg(static_cast<int>(zoom * 100)));
    m_context.setStatusIcon(3, zoomStatusIcon(zoom < 1 ? -1 : zoom > 1 ? 1 : 0));
    m_caches.clear();
    m_scaledPicture = QPixmap();
    updateScrollBars();
    viewport()->update();
}

void CanvasView::zoomToFit()
{
    // The room the card has once it fits: the scroll bars are gone then.
    const QSize room = maximumViewportSize();
    setZoom(fitZoom(m_controller.cardWidth(), m_controller.cardHeight(), room.width(),
                    room.height(), kMargin));
}

void CanvasView::refreshBackground()
{
    const BackgroundLayer& background = m_context.document().tpl().background;
    // The same bytes (an undo step that kept the background) need no decoding again.
    const PictureBytes* source =
        background.kind == BackgroundKind::Picture ? background.picture.get() : nullptr;
    if (source != m_pictureSource.get() || !source) {
        m_picture = QImage();
        m_scaledPicture = QPixmap();
        m_pictureSource = source ? background.picture : nullptr;
        if (source && !source->bytes.empty())
            m_picture = QImage::fromData(source->bytes.data(), static_cast<int>(source->bytes.size()));
    }
    // The scroll positions stay where they were, as far as the new size allows.
    const int x = horizontalScrollBar()->value();
    const int y = verticalScrollBar()->value();
    updateScrollBars();
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
    viewport()->update();
}

QPoint CanvasView::cardOrigin() const
{
    const double zoom = m_controller.zoom();
    const double width = zoom * m_controller.cardWidth();
    const double height = zoom * m_controller.cardHeight();
    const QSize client = viewport()->size();
    const int x = client.width() - 2 * kMargin >= width
                      ? static_cast<int>((client.width() - width) * 0.5)
                      : kMargin - horizontalScrollBar()->value();
    const int y = client.height() - 2 * kMargin >= height
                      ? static_cast<int>((client.height() - height) * 0.5)
                      : kMargin - verticalScrollBar()->value();
    return {x, y};
}

CardPoint CanvasView::cardPoint(QPoint p) const
{
    const QPoint origin = cardOrigin();
    const double zoom = m_controller.zoom();
    return {static_cast<std::int32_t>((p.x() - origin.x()) / zoom),
            static_cast<std::int32_t>((p.y() - origin.y()) / zoom)};
}

QRect CanvasView::screenRect(const LayerRect& rect) const
{
    const QPoint origin = cardOrigin();
    const double zoom = m_controller.zoom();
    int left = static_cast<int>(zoom * rect.x + origin.x());
    int top = static_cast<int>(zoom * rect.y + origin.y());
    int width = static_cast<int>(zoom * rect.width);
    int height = static_cast<int>(zoom * rect.height);
    if (width < 0) {
        left += width;
        width = -width;
    }
    if (height < 0) {
        top += height;
        height = -height;
    }
    return {left, top, width, height};
}

void CanvasView::updateScrollBars()
{
    const double zoom = m_controller.zoom();
    const auto axis = [](QScrollBar* bar, int client, double zoomed, int& max) {
        if (client - 2 * kMargin >= zoomed) {
            max = 0;
            bar->setRange(0, 0);
            return;
        }
        max = static_cast<int>(zoomed + 2 * kMargin + 1);
        bar->setPageStep(client);
        bar->setSingleStep(max / 100 + 1);
        bar->setRange(0, std::max(0, max - client + 1));
    };
    axis(horizontalScrollBar(), viewport()->width(), zoom * m_controller.cardWidth(),
         m_horizontalMax);
    axis(verticalScrollBar(), viewport()->height(), zoom * m_controller.cardHeight(),
         m_verticalMax);
}

void CanvasView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CanvasView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void CanvasView::scrollIntoView()
{
    const EditorState& state = m_context.state();
    LayerRect target;
    if (const Watermark* watermark = state.current()) {
        target = {0, watermark->x, watermark->y, watermark->width, watermark->height};
    } else {
        const Layer* layer = state.currentKind() == CurrentKind::Layer && state.currentLayer()
                                 ? m_context.document().layer(*state.currentLayer())
                                 : nullptr;
        if (!layer || !layer->hasRect())
            return;
        target = {0, layer->x, layer->y, layer->width, layer->height};
    }
    const double zoom = m_controller.zoom();
    const auto axis = [zoom](QScrollBar* bar, int client, int x, int w) {
        const int p = bar->value() - kMargin;
        const double left = zoom * x;
        const double right = zoom * x + zoom * w;
        if (p > right)
            bar->setValue(static_cast<int>(left + 16));
        else if (left > p + client)
            bar->setValue(static_cast<int>(right - client + 48));
    };
    axis(horizontalScrollBar(), viewport()->width(), target.x, target.width);
    axis(verticalScrollBar(), viewport()->height(), target.y, target.height);
}

void CanvasView::wheelScroll(int notches)
{
    QScrollBar* bar = verticalScrollBar()->maximum() == 0 && horizontalScrollBar()->maximum() > 0
                          ? horizontalScrollBar()
                          : verticalScrollBar();
    for (; notches != 0; notches -= notches > 0 ? 1 : -1)
        bar->setValue(bar->value() + (notches > 0 ? -kWheelStep : kWheelStep));
    viewport()->update();
}

void CanvasView::refreshThumbnails(const std::vector<LayerId>& ids, bool force)
{
    const EditorDocument& document = m_context.document();
    const std::int64_t serialStart = document.tpl().output.serialStart;
    for (const Layer& layer : document.tpl().layers) {
        if (!ids.empty() && std::find(ids.begin(), ids.end(), layer.id) == ids.end())
            continue;
        const std::string source = thumbnailKey(layer, document.tpl().templatePath, serialStart);
        if (const auto found = m_thumbnails.find(layer.id);
            !force && found != m_thumbnails.end() && found->second.source == source)
            continue;
        m_caches.erase(layer.id);
        Thumb& thumb = m_thumbnails[layer.id];
        thumb = Thumb{};
        thumb.source = source;
        // A text or code is laid out in its rectangle: without one there is nothing to show yet.
        if (layer.type != LayerType::Picture && !layer.hasRect())
            continue;
        const Thumbnail made = renderLayerThumbnail(layer, m_context.fonts(),
                                                    document.tpl().templatePath, serialStart);
        if (made.empty())
            continue;
        thumb.image = toQImage(made);
        thumb.key = m_nextThumbKey++;
        if (layer.type == LayerType::Picture)
            thumb.pixels = made;
    }
    // Layers that are gone take their pictures with them.
    std::erase_if(m_thumbnails, [&](const auto& entry) { return !document.layer(entry.first); });
    std::erase_if(m_caches, [&](const auto& entry) { return !document.layer(entry.first); });
    std::erase_if(m_framed, [&](const auto& entry) { return !document.layer(entry.first); });
    viewport()->update();
}

void CanvasView::layersChanged(const DocumentEvent& event)
{
    // Whether a layer's picture must be made again is decided by what it is made from (see
    // thumbnailKey), together once the events of the moment are handled.
    const bool wasScheduled = !m_staleThumbnails.empty();
    for (LayerId id : event.layers) {
        if (std::find(m_staleThumbnails.begin(), m_staleThumbnails.end(), id) ==
            m_staleThumbnails.end())
            m_staleThumbnails.push_back(id);
    }
    if (!wasScheduled && !m_staleThumbnails.empty())
        QTimer::singleShot(0, this, [this] {
            const std::vector<LayerId> ids = std::move(m_staleThumbnails);
            m_staleThumbnails.clear();
            refreshThumbnails(ids, false);
        });
    viewport()->update();
}

void CanvasView::syncWatermarkImages()
{
    const WatermarkList& watermarks = m_context.state().watermarks;
    std::erase_if(m_watermarkPictures,
                  [&](const auto& entry) { return !watermarks.find(entry.first); });
    for (const Watermark& watermark : watermarks.items()) {
        const std::string source = watermark.filePath + '\n' + std::to_string(watermark.width) +
                                   'x' + std::to_string(watermark.height);
        WatermarkImage& shown = m_watermarkPictures[watermark.id];
        if (shown.source == source)
            continue;
        // Through the guarded picture input, as every picture of the program.
        const DecodedPicture picture = readPicture(watermark.filePath);
        shown = {toQImage(exportRgba(picture.wand.get())), source};
    }
}

QImage CanvasView::thumbnail(LayerId id) const
{
    const auto found = m_thumbnails.find(id);
    return found == m_thumbnails.end() ? QImage() : found->second.image;
}

KeyModifiers CanvasView::modifiers(Qt::KeyboardModifiers keys) const
{
    return {(keys & Qt::ControlModifier) != 0, (keys & Qt::ShiftModifier) != 0,
            (keys & Qt::AltModifier) != 0};
}

void CanvasView::showCursor()
{
    const bool over = viewport()->underMouse();
    const bool ctrl = (QApplication::keyboardModifiers() & Qt::ControlModifier) != 0;
    viewport()->setCursor(qtCursor(m_controller.cursorShown(over, ctrl)));
}

void CanvasView::apply(const CanvasEffects& effects)
{
    if (effects.statusPart1)
        m_context.setStatusText(1, QString::fromStdString(*effects.statusPart1));
    if (effects.statusPart2)
        m_context.setStatusText(2, QString::fromStdString(*effects.statusPart2));
    if (effects.draftChanged)
        m_context.draftChanged.notify(m_controller.draftRect());
    if (effects.watermarksChanged)
        m_context.watermarksChanged.notify();
    showCursor();
    if (effects.repaint)
        viewport()->update();
    if (effects.showPropertyWindow)
        emit rectangleFinished();
}

void CanvasView::autoScroll(QPoint p)
{
    const auto axis = [](QScrollBar* bar, int position, int client, int max) {
        const int step = max / 100 + 1;
        if (position >= client)
            bar->setValue(bar->value() + step);
        else if (position < 0 && bar->value() > 0)
            bar->setValue(std::max(0, bar->value() - step));
    };
    axis(horizontalScrollBar(), p.x(), viewport()->width(), m_horizontalMax);
    axis(verticalScrollBar(), p.y(), viewport()->height(), m_verticalMax);
}

void CanvasView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    setFocus();
    if (m_controller.pan() == PanState::Armed) {
        const QPoint global = event->globalPosition().toPoint();
        m_controller.beginPan(global.x(), global.y());
        showCursor();
        return;
    }
    apply(m_controller.press(cardPoint(event->position().toPoint()),
                             modifiers(event->modifiers())));
}

void CanvasView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (m_controller.pan() == PanState::Panning) {
        const QPoint global = event->globalPosition().toPoint();
        const auto [dx, dy] = m_controller.panTo(global.x(), global.y());
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + dx);
        verticalScrollBar()->setValue(verticalScrollBar()->value() + dy);
        m_context.setStatusText(1, QString());
        viewport()->update();
        return;
    }
    const bool leftDown = (event->buttons() & Qt::LeftButton) != 0;
    if (leftDown && m_controller.autoScrolls())
        autoScroll(p);
    apply(m_controller.move(cardPoint(p), modifiers(event->modifiers()), leftDown));
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        openContextMenu(event->position().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_controller.pan() == PanState::Panning) {
        m_controller.endPan(m_spaceDown);
        showCursor();
        return;
    }
    apply(m_controller.release(cardPoint(event->position().toPoint())));
}

void CanvasView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is not a press; layers have no double-click action,
    // the current watermark gets a new picture.
    if (event->button() == Qt::LeftButton &&
        m_controller.doubleClickReplacesWatermark(cardPoint(event->position().toPoint())))
        m_context.execute(CommandId::ChangeWatermarkPicture);
}

void CanvasView::keyPressEvent(QKeyEvent* event)
{
    const KeyModifiers keys = modifiers(event->modifiers());
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) {
            m_spaceDown = true;
            if (m_controller.spaceDown((QApplication::mouseButtons() & Qt::LeftButton) != 0))
                showCursor();
        }
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int dx = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
        const int dy = event->key() == Qt::Key_Up ? -1 : event->key() == Qt::Key_Down ? 1 : 0;
        apply(m_controller.arrowKey(dx, dy, keys));
        return;
    }
    case Qt::Key_Control: {
        const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        apply(m_controller.ctrlKey(true, cardPoint(p)));
        return;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        m_context.preview().step(event->key() == Qt::Key_PageDown ? 1 : -1);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void CanvasView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    if (event->key() == Qt::Key_Space) {
        m_spaceDown = false;
        m_controller.spaceUp();
        showCursor();
    } else if (event->key() == Qt::Key_Control) {
        const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        apply(m_controller.ctrlKey(false, cardPoint(p)));
    }
}

bool CanvasView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        apply(m_controller.leave());
    if (event->type() == QEvent::Wheel)
        return false; // the application's wheel rules handle it
    return QAbstractScrollArea::viewportEvent(event);
}

void CanvasView::openContextMenu(QPoint viewportPoint)
{
    using Kind = ContextMenuEntry::Kind;
    // Submenus belong to the main window or to the canvas: detach them, destroy the rest.
    for (QAction* action : m_menu->actions()) {
        m_menu->removeAction(action);
        if (!action->menu())
            delete action;
    }
    for (const ContextMenuEntry& entry : m_controller.contextMenu(cardPoint(viewportPoint))) {
        switch (entry.kind) {
        case Kind::Separator:
            m_menu->addSeparator();
            break;
        case Kind::Item: {
            QAction* action = m_menu->addAction(QString::fromStdString(entry.text));
            action->setData(entry.command ? static_cast<int>(*entry.command) : 0);
            action->setCheckable(entry.checked);
            action->setChecked(entry.checked);
            if (entry.command)
                connect(action, &QAction::triggered, this,
                        [this, id = *entry.command] { m_context.execute(id); });
            break;
        }
        case Kind::AlignMenu:
            m_alignMenu->clear();
            for (const ContextMenuEntry& item : entry.items) {
                if (item.kind == Kind::Separator || !item.command) {
                    m_alignMenu->addSeparator();
                    continue;
                }
                QAction* action = m_alignMenu->addAction(QString::fromStdString(item.text));
                action->setData(static_cast<int>(*item.command));
                action->setEnabled(item.enabled);
                connect(action, &QAction::triggered, this,
                        [this, id = *item.command] { m_context.execute(id); });
            }
            m_menu->addMenu(m_alignMenu);
            break;
        case Kind::LevelMenu:
        case Kind::OverflowMenu: {
            if (QMenu* sub = m_context.layerSubMenu(entry.kind == Kind::LevelMenu))
                m_menu->addMenu(sub)->setEnabled(true);
            break;
        }
        }
    }
    m_menu->popup(viewport()->mapToGlobal(viewportPoint));
}

} // namespace torvale
