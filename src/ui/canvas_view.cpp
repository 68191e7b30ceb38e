#include "ui/canvas_view.h"

#include "ui/main_window.h"

#include <QPainter>
#include <QPixmap>

namespace torvale {

namespace {

QColor fromColorRef(std::uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

const QPixmap& transparencyTile()
{
    static const QPixmap tile = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::white);
        QPainter painter(&pixmap);
        const QColor grey(204, 204, 204);
        painter.fillRect(0, 0, 8, 8, grey);
        painter.fillRect(8, 8, 8, 8, grey);
        return pixmap;
    }();
    return tile;
}

} // namespace

CanvasView::CanvasView(MainWindow& window, QWidget* parent) : QWidget(parent), m_window(window)
{
    setObjectName(QStringLiteral("canvas"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
}

void CanvasView::setZoom(double zoom)
{
    if (zoom == m_zoom || zoom <= 0)
        return;
    m_zoom = zoom;
    m_window.setStatusText(3, QStringLiteral("%1%").arg(static_cast<int>(zoom * 100)));
    update();
}

void CanvasView::refreshBackground()
{
    const BackgroundLayer& background = m_window.document().tpl().background;
    m_picture = QImage();
    if (background.kind == BackgroundKind::Picture && background.picture &&
        !background.picture->bytes.empty()) {
        const auto& bytes = background.picture->bytes;
        m_picture = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
    }
    update();
}

QPoint CanvasView::cardOrigin() const
{
    const BackgroundLayer& background = m_window.document().tpl().background;
    const double cardWidth = m_zoom * background.width;
    const double cardHeight = m_zoom * background.height;
    const int x = width() - 2 * kMargin >= cardWidth ? static_cast<int>((width() - cardWidth) * 0.5)
                                                     : kMargin;
    const int y = height() - 2 * kMargin >= cardHeight
                      ? static_cast<int>((height() - cardHeight) * 0.5)
                      : kMargin;
    return {x, y};
}

void CanvasView::paintEvent(QPaintEvent*)
{
    const BackgroundLayer& background = m_window.document().tpl().background;
    const QPoint origin = cardOrigin();
    const QRect card(origin, QSize(static_cast<int>(m_zoom * background.width),
                                   static_cast<int>(m_zoom * background.height)));
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (background.kind == BackgroundKind::Picture) {
        if (m_picture.hasAlphaChannel())
            painter.drawTiledPixmap(card, transparencyTile());
        if (!m_picture.isNull())
            painter.drawImage(card, m_picture);
        return;
    }
    switch (background.colorMode) {
    case BackgroundColorMode::White:
        painter.fillRect(card, Qt::white);
        break;
    case BackgroundColorMode::Transparent:
        painter.drawTiledPixmap(card, transparencyTile());
        break;
    case BackgroundColorMode::Chosen:
        painter.fillRect(card, fromColorRef(background.drawingColor));
        break;
    }
}

} // namespace torvale
