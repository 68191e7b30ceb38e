#include "ui/canvas_view.h"

#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/text_render.h"
#include "ui/data_source_panel.h"
#include "ui/layer_panel.h"
#include "ui/main_window.h"
#include "ui/qt_pixels.h"
#include "ui/row_preview.h"
#include "ui/watermark_panel.h"

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

QColor fromColorRef(std::uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

/// 512 x 512 of 8 x 8 squares, white in the top left corner.
const QPixmap& transparencyTile()
{
    static const QPixmap tile = [] {
        QImage image(CanvasView::kTileSize, CanvasView::kTileSize, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = ((x / 8 + y / 8) % 2 == 0) ? qRgb(255, 255, 255) : qRgb(204, 204, 204);
        }
        return QPixmap::fromImage(image);
    }();
    return tile;
}

/// A rectangle's outline as the classic Rectangle(l, t, r, b) call draws it: r and b outside.
void drawBox(QPainter& painter, int l, int t, int r, int b)
{
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    painter.drawRect(l, t, r - l - 1, b - t - 1);
}

QPen dottedPen(const QColor& color)
{
    QPen pen(color, 1);
    pen.setCosmetic(true);
    pen.setDashPattern({1, 1});
    return pen;
}

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

CanvasView::CanvasView(MainWindow& window, QWidget* parent)
    : QAbstractScrollArea(parent), m_window(window),
      m_controller(window.document(), window.state())
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
    const struct {
        const char* text;
        CommandId id;
    } edges[] = {{"顶边", CommandId::AlignTop},
                 {"底边", CommandId::AlignBottom},
                 {"左边", CommandId::AlignLeft},
                 {"右边", CommandId::AlignRight}};
    for (const auto& edge : edges) {
        QAction* action = m_alignMenu->addAction(QString::fromUtf8(edge.text));
        action->setData(static_cast<int>(edge.id));
        connect(action, &QAction::triggered, this,
                [this, id = edge.id] { m_window.execute(id); });
    }
}

CanvasView::~CanvasView() = default;

void CanvasView::setZoom(double zoom)
{
    if (!m_controller.setZoom(zoom))
        return;
    m_window.setStatusText(3, QStringLiteral("%1%").arg(static_cast<int>(zoom * 100)));
    m_window.setStatusIcon(3, zoomStatusIcon(zoom < 1 ? -1 : zoom > 1 ? 1 : 0));
    m_caches.clear();
    m_scaledPicture = QPixmap();
    updateScrollBars();
    viewport()->update();
}

void CanvasView::refreshBackground()
{
    const BackgroundLayer& background = m_window.document().tpl().background;
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
    const EditorState& state = m_window.state();
    LayerRect target;
    if (const Watermark* watermark = state.current()) {
        target = {0, watermark->x, watermark->y, watermark->width, watermark->height};
    } else {
        const Layer* layer = state.currentKind == CurrentKind::Layer && state.currentLayer
                                 ? m_window.document().layer(*state.currentLayer)
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
    const EditorDocument& document = m_window.document();
    for (const Layer& layer : document.tpl().layers) {
        if (!ids.empty() && std::find(ids.begin(), ids.end(), layer.id) == ids.end())
            continue;
        const std::string source = thumbnailKey(layer, document.tpl().templatePath);
        if (const auto found = m_thumbnails.find(layer.id);
            !force && found != m_thumbnails.end() && found->second.source == source)
            continue;
        m_caches.erase(layer.id);
        Thumb& thumb = m_thumbnails[layer.id];
        thumb = Thumb{};
        thumb.source = source;
        // A text is laid out in its rectangle: without one there is nothing to show yet.
        if (layer.type == LayerType::Text && !layer.hasRect())
            continue;
        const Thumbnail made =
            renderLayerThumbnail(layer, *m_window.fontSnapshot(), document.tpl().templatePath);
        if (made.empty())
            continue;
        thumb.image = toQImage(made);
        thumb.key = m_nextThumbKey++;
    }
    // Layers that are gone take their pictures with them.
    std::erase_if(m_thumbnails, [&](const auto& entry) { return !document.layer(entry.first); });
    std::erase_if(m_caches, [&](const auto& entry) { return !document.layer(entry.first); });
    viewport()->update();
}

void CanvasView::layersChanged(const DocumentEvent& event)
{
    constexpr LayerFieldSet kContent = FieldType | FieldDemo | FieldFont | FieldColor |
                                       FieldAlignment;
    const bool wasScheduled = !m_staleThumbnails.empty();
    for (LayerId id : event.layers) {
        const Layer* layer = m_window.document().layer(id);
        if (!layer)
            continue;
        bool stale = (event.fields & kContent) != 0;
        // A text is laid out in its rectangle: a new size lays it out again.
        if (!stale && (event.fields & FieldGeometry) && layer->type == LayerType::Text) {
            const QImage image = thumbnail(id);
            stale = image.isNull() || image.size() != QSize(layer->width, layer->height);
        }
        if (stale && std::find(m_staleThumbnails.begin(), m_staleThumbnails.end(), id) ==
                         m_staleThumbnails.end())
            m_staleThumbnails.push_back(id);
    }
    if (!wasScheduled && !m_staleThumbnails.empty())
        QTimer::singleShot(0, this, [this] {
            const std::vector<LayerId> ids = std::move(m_staleThumbnails);
            m_staleThumbnails.clear();
            refreshThumbnails(ids);
        });
    viewport()->update();
}

void CanvasView::loadWatermarkPicture(std::uint32_t id)
{
    const Watermark* watermark = m_window.state().watermarks.find(id);
    m_watermarkPictures.erase(id);
    if (watermark) {
        // Through the guarded picture input, as every picture of the program.
        const DecodedPicture picture = readPicture(watermark->filePath);
        m_watermarkPictures[id] = toQImage(exportRgba(picture.wand.get()));
    }
    viewport()->update();
}

void CanvasView::dropWatermarkPicture(std::uint32_t id)
{
    m_watermarkPictures.erase(id);
}

QImage CanvasView::thumbnail(LayerId id) const
{
    const auto found = m_thumbnails.find(id);
    return found == m_thumbnails.end() ? QImage() : found->second.image;
}

KeyModifiers CanvasView::modifiers(Qt::KeyboardModifiers keys) const
{
    return {(keys & Qt::ControlModifier) != 0, (keys & Qt::ShiftModifier) != 0};
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
        m_window.setStatusText(1, QString::fromStdString(*effects.statusPart1));
    if (effects.statusPart2)
        m_window.setStatusText(2, QString::fromStdString(*effects.statusPart2));
    if (effects.draftChanged)
        m_window.layerPanel()->showDraft(m_controller.draftRect());
    if (effects.watermarksChanged)
        m_window.watermarkPanel()->refreshRows();
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
        m_window.setStatusText(1, QString());
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
        m_window.execute(CommandId::ChangeWatermarkPicture);
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
        m_window.dataSourcePanel()->stepPreviewRow(event->key() == Qt::Key_PageDown ? 1 : -1);
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
            action->setData(entry.id);
            action->setCheckable(entry.checked);
            action->setChecked(entry.checked);
            if (entry.id != 0)
                connect(action, &QAction::triggered, this,
                        [this, id = entry.id] { m_window.execute(static_cast<CommandId>(id)); });
            break;
        }
        case Kind::AlignMenu:
            m_menu->addMenu(m_alignMenu);
            break;
        case Kind::LevelMenu:
        case Kind::OverflowMenu: {
            QMenu* sub =
                entry.kind == Kind::LevelMenu ? m_window.levelMenu() : m_window.overflowMenu();
            m_window.layerPanel()->prepareLayerMenu(*sub);
            m_menu->addMenu(sub)->setEnabled(true);
            break;
        }
        }
    }
    m_menu->popup(viewport()->mapToGlobal(viewportPoint));
}

const QPixmap& CanvasView::scaledBackground(QSize size)
{
    if (m_scaledPicture.size() != size && !m_picture.isNull() && !size.isEmpty())
        m_scaledPicture = QPixmap::fromImage(
            m_picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    return m_scaledPicture;
}

void CanvasView::paintEvent(QPaintEvent*)
{
    const Template& tpl = m_window.document().tpl();
    const BackgroundLayer& background = tpl.background;
    const double zoom = m_controller.zoom();
    const QPoint origin = cardOrigin();
    const QPoint far(static_cast<int>(zoom * m_controller.cardWidth() + origin.x()),
                     static_cast<int>(zoom * m_controller.cardHeight() + origin.y()));
    const QRect card(origin, QPoint(far.x() - 1, far.y() - 1));

    QPainter painter(viewport());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(viewport()->rect(), Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    drawBox(painter, origin.x() - 1, origin.y() - 1, far.x() + 1, far.y() + 1);

    // The card of a data row stands in for the background and the layers' demo pictures.
    const QImage& preview = m_window.preview().card();
    if (!preview.isNull()) {
        if (preview.hasAlphaChannel())
            painter.drawTiledPixmap(card, transparencyTile());
        painter.drawImage(card, preview);
        paintWatermarks(painter);
        paintOutlines(painter);
        return;
    }
    if (background.hasAlpha) {
        // The checkerboard is drawn at screen scale whatever the zoom, cut at the card's edge.
        const double width = zoom * m_controller.cardWidth();
        const double height = zoom * m_controller.cardHeight();
        for (int i = 0; i < static_cast<int>(std::ceil(width / kTileSize)); ++i) {
            for (int j = 0; j < static_cast<int>(std::ceil(height / kTileSize)); ++j) {
                const int w = std::min(kTileSize, static_cast<int>(width - kTileSize * i));
                const int h = std::min(kTileSize, static_cast<int>(height - kTileSize * j));
                painter.drawPixmap(origin.x() + kTileSize * i, origin.y() + kTileSize * j,
                                   transparencyTile(), 0, 0, w, h);
            }
        }
    }
    if (tpl.pictures_show_picture)
        paintLayers(painter, true);
    if (background.kind == BackgroundKind::Picture) {
        // Made smaller once per zoom; enlarged, only the part in view is drawn each time.
        if (!m_picture.isNull() && zoom <= 1)
            painter.drawPixmap(origin, scaledBackground(card.size()));
        else if (!m_picture.isNull())
            painter.drawImage(card, m_picture);
    } else if (!background.hasAlpha) {
        painter.fillRect(card, fromColorRef(background.drawingColor));
    }
    if (tpl.pictures_show_picture)
        paintLayers(painter, false);
    paintWatermarks(painter);
    paintOutlines(painter);
}

void CanvasView::paintWatermarks(QPainter& painter)
{
    const EditorState& state = m_window.state();
    if (!state.watermarksShown)
        return;
    const double zoom = m_controller.zoom();
    const QPoint origin = cardOrigin();
    for (const Watermark& watermark : state.watermarks.items()) {
        const auto found = m_watermarkPictures.find(watermark.id);
        if (found == m_watermarkPictures.end() || found->second.isNull())
            continue;
        painter.drawImage(QRectF(zoom * watermark.x + origin.x(), zoom * watermark.y + origin.y(),
                                 zoom * watermark.width, zoom * watermark.height),
                          found->second);
    }
}

void CanvasView::paintLayers(QPainter& painter, bool belowBackground)
{
    const double zoom = m_controller.zoom();
    for (const Layer& layer : m_window.document().tpl().layers) {
        const auto found = m_thumbnails.find(layer.id);
        if (found == m_thumbnails.end() || found->second.image.isNull())
            continue;
        const LayerRect shown = m_controller.shownRect(layer);
        if (shown.x == -1 || shown.width == -1)
            continue;
        const bool below = layer.type == LayerType::Picture &&
                           layer.layer_level == LayerLevel::BelowBackground;
        if (below != belowBackground)
            continue;
        if (layer.type == LayerType::Text) {
            const QRect s = screenRect(shown);
            const QImage& image = found->second.image;
            painter.drawImage(QRect(s.left(), s.top(), static_cast<int>(zoom * image.width()),
                                    static_cast<int>(zoom * image.height())),
                              image);
            continue;
        }
        paintPictureLayer(painter, layer, found->second);
    }
}

void CanvasView::paintPictureLayer(QPainter& painter, const Layer& layer, const Thumb& thumb)
{
    const QImage& image = thumb.image;
    // The picture is fitted as on a card, into the rectangle the layer is shown at.
    Layer shown = layer;
    const LayerRect at = m_controller.shownRect(layer);
    shown.x = at.x;
    shown.y = at.y;
    shown.width = at.width;
    shown.height = at.height;
    const std::optional<PictureFit> fit = fitPictureRect(shown, image.width(), image.height());
    if (!fit)
        return;
    const QRect s = screenRect(at);
    const int left = s.left();
    const int top = s.top();
    const QRectF source(static_cast<double>(fit->sourceX), static_cast<double>(fit->sourceY),
                        static_cast<double>(fit->sourceWidth),
                        static_cast<double>(fit->sourceHeight));
    const QRect target = screenRect({layer.id, static_cast<std::int32_t>(fit->x),
                                     static_cast<std::int32_t>(fit->y),
                                     static_cast<std::int32_t>(fit->width),
                                     static_cast<std::int32_t>(fit->height)});
    const QRect& capture = target;
    if (target.isEmpty())
        return;

    // The cache holds the drawn pixels; it is valid while the drawing is the same one.
    const EditorState& state = m_window.state();
    const bool isCurrent = state.currentLayer == layer.id && state.currentKind == CurrentKind::Layer;
    const bool moving = state.mode == CanvasMode::LayerSelected && state.drag == DragKind::MoveLayer;
    const QRect key(target.topLeft() - QPoint(left, top), target.size());
    auto cached = m_caches.find(layer.id);
    if (cached != m_caches.end() && cached->second.picture == thumb.key &&
        cached->second.source == key && (!isCurrent || moving)) {
        painter.drawPixmap(target.topLeft(), cached->second.pixmap);
        return;
    }
    painter.drawImage(QRectF(target), image, source);
    if (cached != m_caches.end())
        m_caches.erase(cached);
    // Pictures that can be transparent would capture what lies beneath them.
    if ((isCurrent && !moving) || image.hasAlphaChannel() ||
        !viewport()->rect().contains(capture))
        return;
    QPixmap pixmap(target.size());
    QPainter cachePainter(&pixmap);
    cachePainter.drawImage(QRectF(QPointF(0, 0), QSizeF(target.size())), image, source);
    cachePainter.end();
    m_caches[layer.id] = DisplayCache{pixmap, key, thumb.key};
}

void CanvasView::paintOutlines(QPainter& painter)
{
    const Template& tpl = m_window.document().tpl();
    const EditorState& state = m_window.state();
    const double zoom = m_controller.zoom();
    const QPoint origin = cardOrigin();
    const QPen outline = dottedPen(Qt::black);
    const QPen selection = dottedPen(QColor(51, 153, 255));
    painter.setBrush(Qt::NoBrush);
    struct Edges {
        int l, t, r, b;
    };
    const auto edgesOf = [&](const LayerRect& r) {
        const int left = static_cast<int>(zoom * r.x + origin.x());
        const int top = static_cast<int>(zoom * r.y + origin.y());
        int right = static_cast<int>(zoom * r.width + left);
        int bottom = static_cast<int>(zoom * r.height + top);
        Edges e{left, top, right, bottom};
        if (e.r < e.l)
            std::swap(e.l, e.r);
        if (e.b < e.t)
            std::swap(e.t, e.b);
        return e;
    };
    const auto frame = [&](const Edges& e) { drawBox(painter, e.l - 1, e.t - 1, e.r + 1, e.b + 1); };
    const auto hasShownRect = [](const LayerRect& r) { return r.x != -1 && r.width != -1; };

    painter.setPen(outline);
    for (const Layer& layer : tpl.layers) {
        const LayerRect r = m_controller.shownRect(layer);
        if (!hasShownRect(r) || state.isMarked(layer.id))
            continue;
        if (!tpl.pictures_show_select_area && !thumbnail(layer.id).isNull())
            continue;
        frame(edgesOf(r));
    }
    painter.setPen(selection);
    if (state.mode == CanvasMode::BandDragging || state.mode == CanvasMode::MultiSelected) {
        for (const Layer& layer : tpl.layers) {
            const LayerRect r = m_controller.shownRect(layer);
            if (state.isMarked(layer.id) && hasShownRect(r))
                frame(edgesOf(r));
        }
    }
    if (state.currentKind == CurrentKind::Layer && state.currentLayer) {
        if (const Layer* layer = m_window.document().layer(*state.currentLayer)) {
            const LayerRect r = m_controller.shownRect(*layer);
            if (hasShownRect(r)) {
                const Edges e = edgesOf(r);
                painter.setPen(selection);
                frame(e);
                painter.setPen(QPen(Qt::black, 1));
                painter.setBrush(Qt::white);
                const int mx = (e.r - e.l + 2) / 2 + e.l - 1;
                const int my = e.t + (e.b - e.t + 2) / 2 - 1;
                const QPoint handles[] = {{e.l - 3, e.t - 3}, {e.l - 3, my - 2}, {e.l - 3, e.b - 2},
                                          {e.r - 2, e.t - 3}, {e.r - 2, my - 2}, {e.r - 2, e.b - 2},
                                          {mx - 2, e.t - 3},  {mx - 2, e.b - 2}};
                for (const QPoint& h : handles)
                    drawBox(painter, h.x(), h.y(), h.x() + 5, h.y() + 5);
                painter.setBrush(Qt::NoBrush);
            }
        }
    }
    if (state.watermarksShown) {
        const Watermark* current = state.current();
        for (const Watermark& watermark : state.watermarks.items()) {
            const bool isCurrent = current && current->id == watermark.id;
            if (watermark.x == -1 || (!isCurrent && !state.watermarkOutlines))
                continue;
            painter.setPen(isCurrent ? selection : outline);
            frame(edgesOf({0, watermark.x, watermark.y, watermark.width, watermark.height}));
        }
    }
    if (state.mode == CanvasMode::BandDragging) {
        const auto [from, to] = m_controller.band();
        painter.setPen(outline);
        drawBox(painter, static_cast<int>(origin.x() + zoom * from.x),
                  static_cast<int>(origin.y() + zoom * from.y),
                  static_cast<int>(origin.x() + zoom * to.x),
                  static_cast<int>(origin.y() + zoom * to.y));
    }
}

} // namespace torvale
