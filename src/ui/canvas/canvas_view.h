#pragma once

#include "app/canvas_controller.h"
#include "render/magick.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPixmap>
#include <memory>
#include <unordered_map>

class QMenu;

namespace torvale {

class EditorContext;

/// The design canvas: the card at the current zoom with its background, the layers' demo
/// pictures fitted by their overflow style, the outlines, the current layer's handles and the
/// band; scroll bars when the card does not fit. Pointer and key events go to the
/// CanvasController, whose effects it carries out. It follows the document, the selection,
/// the fonts, the watermarks and the row preview itself.
class CanvasView : public QAbstractScrollArea {
    Q_OBJECT

public:
    /// Space left of and above the card when it does not fit.
    static constexpr int kMargin = CanvasController::kMargin;
    /// Screen pixels a wheel notch scrolls.
    static constexpr int kWheelStep = 50;
    /// Side of the transparency checkerboard's tile, drawn at screen scale.
    static constexpr int kTileSize = 512;

    CanvasView(EditorContext& context, QWidget* parent);
    ~CanvasView() override;

    CanvasController& controller() { return m_controller; }
    double zoom() const { return m_controller.zoom(); }
    /// Sets the zoom factor (nothing when equal): status part 3 and its icon, the scroll bars,
    /// a repaint.
    void setZoom(double zoom);
    /// The largest zoom at which the whole card fits the canvas without scroll bars.
    void zoomToFit();
    /// Takes the background from the document again, keeping the scroll positions.
    void refreshBackground();
    /// The decoded background picture (null for a custom canvas or bytes that do not decode).
    const QImage& backgroundPicture() const { return m_picture; }
    /// Where card pixel (0, 0) is on the viewport.
    QPoint cardOrigin() const;
    /// The card point of a viewport point (truncated toward zero).
    CardPoint cardPoint(QPoint viewportPoint) const;
    /// The viewport rectangle of a card rectangle (normalised).
    QRect screenRect(const LayerRect& rect) const;
    /// Scrolls so that the current layer is in view.
    void scrollIntoView();
    /// One wheel notch without Ctrl: scrolls the vertical bar, or the horizontal one when only
    /// it is shown.
    void wheelScroll(int notches);
    /// Makes the demo pictures of the layers named again (all when empty); unless forced, a
    /// picture made from the same fields is kept (undo and redo).
    void refreshThumbnails(const std::vector<LayerId>& ids = {}, bool force = true);
    /// Follows a change of layer fields: demo pictures made from fields that changed are made
    /// again (together, once the events of the moment are handled), the view repaints.
    void layersChanged(const DocumentEvent& event);
    /// The demo picture of a layer (null when it has none).
    QImage thumbnail(LayerId id) const;
    /// Applies the effects of a controller call.
    void apply(const CanvasEffects& effects);
    /// Carries out a context menu at a viewport point.
    void openContextMenu(QPoint viewportPoint);

signals:
    /// A new layer's rectangle was drawn: its property window is shown.
    void rectangleFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct DisplayCache {
        QPixmap pixmap;
        QRect source; // what was drawn: the key the cache is valid for
        qint64 picture = 0;
    };
    struct Thumb {
        QImage image;
        RgbaPixels pixels; // a picture layer's picture, for the frame the cards draw
        qint64 key = 0;
        std::string source; // what it was made from: the fields that change it
    };

    struct WatermarkImage {
        QImage image; // null: only the outline is drawn
        std::string source; // the file and size it was read for
    };

    void subscribe();
    /// Reads the pictures of new or replaced watermarks, forgets those of removed ones.
    void syncWatermarkImages();
    void updateScrollBars();
    void showCursor();
    void autoScroll(QPoint viewportPoint);
    KeyModifiers modifiers(Qt::KeyboardModifiers keys) const;
    void paintLayers(QPainter& painter, bool belowBackground);
    void paintPictureLayer(QPainter& painter, const Layer& layer, const Thumb& thumb);
    void paintOutlines(QPainter& painter);
    void paintWatermarks(QPainter& painter);
    /// The controller's hint in a box at the top of the view.
    void paintHint(QPainter& painter);
    void paintGuides(QPainter& painter);
    const QPixmap& scaledBackground(QSize size);

    EditorContext& m_context;
    CanvasController m_controller;
    QImage m_picture;
    std::shared_ptr<const PictureBytes> m_pictureSource; // what m_picture was decoded from
    QPixmap m_scaledPicture;
    std::unordered_map<LayerId, Thumb> m_thumbnails;
    std::unordered_map<LayerId, DisplayCache> m_caches;
    // The pictures of framed layers, fitted and framed as on a card.
    struct FramedPicture {
        QImage image;
        std::string key; // what it was made from
    };
    std::unordered_map<LayerId, FramedPicture> m_framed;
    std::vector<LayerId> m_staleThumbnails;
    std::unordered_map<std::uint32_t, WatermarkImage> m_watermarkPictures;
    std::vector<Subscription> m_subscriptions;
    qint64 m_nextThumbKey = 1;
    int m_horizontalMax = 0; // the range maxima as the scroll-bar rules count them
    int m_verticalMax = 0;
    bool m_spaceDown = false;
    QMenu* m_menu = nullptr;
    QMenu* m_alignMenu = nullptr;
};

} // namespace torvale
