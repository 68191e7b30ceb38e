#include "ui/canvas/canvas_view.h"

#include "app/panel_rules.h"
#include "render/card_pixels.h"
#include "render/picture_fit.h"
#include "ui/editor_context.h"
#include "ui/qt_pixels.h"
#include "ui/row_preview.h"

#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

// The canvas's painting, in passes: background, layers below it, the background again, layers
// above, watermarks, outlines, the current layer's handles and the band, the snap guides.

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

} // namespace

const QPixmap& CanvasView::scaledBackground(QSize size)
{
    if (m_scaledPicture.size() != size && !m_picture.isNull() && !size.isEmpty())
        m_scaledPicture = QPixmap::fromImage(
            m_picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    return m_scaledPicture;
}

void CanvasView::paintEvent(QPaintEvent*)
{
    const Template& tpl = m_context.document().tpl();
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
    const QImage& preview = m_context.preview().card();
    if (!preview.isNull()) {
        if (preview.hasAlphaChannel())
            painter.drawTiledPixmap(card, transparencyTile());
        painter.drawImage(card, preview);
        paintWatermarks(painter);
        paintOutlines(painter);
        paintGuides(painter);
        paintHint(painter);
        return;
    }
    // A card too large to be drawn shows only its outline over a hatch, whatever its background.
    const bool drawable = isDrawableCanvas(background);
    if (!drawable)
        painter.fillRect(card, QBrush(QColor(204, 204, 204), Qt::BDiagPattern));
    const QRect inView = card.intersected(viewport()->rect());
    if (background.hasAlpha && drawable && !inView.isEmpty()) {
        // The checkerboard is drawn at screen scale whatever the zoom, cut at the card's edge;
        // only the tiles in view, however large the card.
        const double width = zoom * m_controller.cardWidth();
        const double height = zoom * m_controller.cardHeight();
        const int lastI = (inView.right() - origin.x()) / kTileSize;
        const int lastJ = (inView.bottom() - origin.y()) / kTileSize;
        for (int i = (inView.left() - origin.x()) / kTileSize; i <= lastI; ++i) {
            for (int j = (inView.top() - origin.y()) / kTileSize; j <= lastJ; ++j) {
                const int w = std::min(kTileSize, static_cast<int>(width - kTileSize * i));
                const int h = std::min(kTileSize, static_cast<int>(height - kTileSize * j));
                painter.drawPixmap(origin.x() + kTileSize * i, origin.y() + kTileSize * j,
                                   transparencyTile(), 0, 0, w, h);
            }
        }
    }
    if (tpl.pictures_show_picture)
        paintLayers(painter, true);
    if (drawable && background.kind == BackgroundKind::Picture) {
        // Made smaller once per zoom; enlarged, only the part in view is drawn each time.
        if (!m_picture.isNull() && zoom <= 1)
            painter.drawPixmap(origin, scaledBackground(card.size()));
        else if (!m_picture.isNull())
            painter.drawImage(card, m_picture);
    } else if (drawable && !background.hasAlpha) {
        painter.fillRect(card, fromColorRef(background.drawingColor));
    }
    if (tpl.pictures_show_picture)
        paintLayers(painter, false);
    paintWatermarks(painter);
    paintOutlines(painter);
    paintGuides(painter);
    paintHint(painter);
}

void CanvasView::paintGuides(QPainter& painter)
{
    const SnapGuides& guides = m_controller.guides();
    if (guides.empty())
        return;
    const double zoom = m_controller.zoom();
    const QPoint origin = cardOrigin();
    const QRect all = viewport()->rect();
    // One screen pixel at every zoom, across the whole view.
    QPen pen(QColor(255, 0, 255), 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    if (guides.x) {
        const int x = static_cast<int>(std::floor(zoom * *guides.x + origin.x()));
        painter.drawLine(x, all.top(), x, all.bottom());
    }
    if (guides.y) {
        const int y = static_cast<int>(std::floor(zoom * *guides.y + origin.y()));
        painter.drawLine(all.left(), y, all.right(), y);
    }
}

void CanvasView::paintHint(QPainter& painter)
{
    const QString text = QString::fromStdString(m_controller.hint());
    if (text.isEmpty())
        return;
    const QFontMetrics metrics(painter.font());
    const QSize size(metrics.horizontalAdvance(text) + 24, metrics.height() + 12);
    const QRect box(QPoint((viewport()->width() - size.width()) / 2, 8), size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40, 210));
    painter.drawRoundedRect(box, 6, 6);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

void CanvasView::paintWatermarks(QPainter& painter)
{
    const EditorState& state = m_context.state();
    if (!state.watermarksShown)
        return;
    const double zoom = m_controller.zoom();
    const QPoint origin = cardOrigin();
    for (const Watermark& watermark : state.watermarks.items()) {
        const auto found = m_watermarkPictures.find(watermark.id);
        if (found == m_watermarkPictures.end() || found->second.image.isNull())
            continue;
        painter.drawImage(QRectF(zoom * watermark.x + origin.x(), zoom * watermark.y + origin.y(),
                                 zoom * watermark.width, zoom * watermark.height),
                          found->second.image);
    }
}

void CanvasView::paintLayers(QPainter& painter, bool belowBackground)
{
    const double zoom = m_controller.zoom();
    for (const Layer& layer : m_context.document().tpl().layers) {
        const auto found = m_thumbnails.find(layer.id);
        if (found == m_thumbnails.end() || found->second.image.isNull())
            continue;
        const LayerRect shown = m_controller.shownRect(layer);
        if (shown.x == -1 || shown.width == -1)
            continue;
        const bool below =
            followsLayerLevel(layer.type) && layer.layer_level == LayerLevel::BelowBackground;
        if (below != belowBackground)
            continue;
        // A shape's image is made at the layer's size, or smaller for a huge layer: it covers
        // the rectangle the layer is shown at.
        if (layer.type == LayerType::Shape) {
            painter.drawImage(screenRect(shown), found->second.image);
            continue;
        }
        // Text and code images are made at the layer's size; only pictures are fitted here.
        if (layer.type != LayerType::Picture) {
            const QRect s = screenRect(shown);
            const QImage& image = found->second.image;
            painter.drawImage(QRect(s.left(), s.top(), static_cast<int>(zoom * image.width()),
                                    static_cast<int>(zoom * image.height())),
                              image);
            continue;
        }
        // A rotated layer's picture is painted upright in the layer turned upright at the same
        // corner, and turned from there into the layer's rectangle.
        const std::int32_t rotation = layerRotation(layer);
        if (rotation == 0) {
            paintPictureLayer(painter, layer, found->second);
            continue;
        }
        const QRect s = screenRect(shown);
        const QPointF corner(s.topLeft());
        painter.save();
        painter.translate(
            corner + QPointF(rotation == 270 ? 0 : s.width(), rotation == 90 ? 0 : s.height()));
        painter.rotate(rotation);
        painter.translate(-corner);
        paintPictureLayer(painter, layer, found->second);
        painter.restore();
    }
}

void CanvasView::paintPictureLayer(QPainter& painter, const Layer& layer, const Thumb& thumb)
{
    const QImage& image = thumb.image;
    // The picture is fitted as on a card, into the rectangle the layer is shown at (turned
    // upright: the painter turns it).
    Layer shown = layer;
    const LayerRect at = m_controller.shownRect(layer);
    const bool quarter = layerRotation(layer) % 180 != 0;
    shown.x = at.x;
    shown.y = at.y;
    shown.width = quarter ? at.height : at.width;
    shown.height = quarter ? at.width : at.height;
    shown.rotation = 0;
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
    const QRect capture = painter.transform().mapRect(target);
    if (target.isEmpty())
        return;
    // A framed picture is shown as the cards draw it: fitted and framed at the card's scale by
    // the same function, made again only when what it is made from changes.
    if (hasPictureFrame(layer)) {
        m_caches.erase(layer.id);
        std::string key = std::to_string(thumb.key) + ',' + layer.borderColor;
        for (const std::int32_t value :
             {shown.width, shown.height, static_cast<std::int32_t>(shown.overflow_style),
              shown.pHAlign, shown.pVAlign, shown.cornerRadius, shown.borderWidth})
            key += ',' + std::to_string(value);
        FramedPicture& framed = m_framed[layer.id];
        if (framed.key != key) {
            RgbaPixels fitted;
            RgbaPixels scaled;
            framed.key = key;
            framed.image = layerPicture(thumb.pixels, 0, 0, shown, fitted, scaled)
                               ? toQImage(fitted)
                               : QImage();
        }
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRectF(target), framed.image);
        painter.restore();
        return;
    }
    m_framed.erase(layer.id);

    // The cache holds the drawn pixels; it is valid while the drawing is the same one.
    const EditorState& state = m_context.state();
    const bool isCurrent = state.currentLayer() == layer.id && state.currentKind() == CurrentKind::Layer;
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
    const Template& tpl = m_context.document().tpl();
    const EditorState& state = m_context.state();
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
    // The watermarks' outlines: the others before the marked layers and the handles, the
    // current one after them.
    const Watermark* currentWatermark = state.watermarksShown ? state.current() : nullptr;
    if (state.watermarksShown && state.watermarkOutlines) {
        for (const Watermark& watermark : state.watermarks.items()) {
            if (watermark.x != -1 && &watermark != currentWatermark)
                frame(edgesOf({0, watermark.x, watermark.y, watermark.width, watermark.height}));
        }
    }
    painter.setPen(selection);
    if (state.mode == CanvasMode::BandDragging || state.mode == CanvasMode::MultiSelected) {
        for (const Layer& layer : tpl.layers) {
            const LayerRect r = m_controller.shownRect(layer);
            if (state.isMarked(layer.id) && hasShownRect(r))
                frame(edgesOf(r));
        }
    }
    if (state.currentKind() == CurrentKind::Layer && state.currentLayer()) {
        if (const Layer* layer = m_context.document().layer(*state.currentLayer())) {
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
    if (currentWatermark && currentWatermark->x != -1) {
        painter.setPen(selection);
        const Watermark& w = *currentWatermark;
        frame(edgesOf({0, w.x, w.y, w.width, w.height}));
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
