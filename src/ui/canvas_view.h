#pragma once

#include <QImage>
#include <QWidget>

namespace torvale {

class MainWindow;

/// The design canvas area. For now it shows the background at the current zoom: the picture
/// of a picture background, or the colour of a custom canvas (a checkerboard for transparent),
/// centred when it fits, else 32 pixels from the top left corner.
class CanvasView : public QWidget {
    Q_OBJECT

public:
    /// Space left of and above the card when it does not fit.
    static constexpr int kMargin = 32;

    CanvasView(MainWindow& window, QWidget* parent);

    double zoom() const { return m_zoom; }
    /// Sets the zoom factor (nothing when equal): writes "%d%%" into status-bar part 3 and
    /// repaints.
    void setZoom(double zoom);
    /// Takes the background from the document again.
    void refreshBackground();
    /// The decoded background picture (null for a custom canvas or bytes that do not decode).
    const QImage& backgroundPicture() const { return m_picture; }
    /// Where the card's top left corner is painted, in widget pixels.
    QPoint cardOrigin() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainWindow& m_window;
    double m_zoom = 1.0;
    QImage m_picture;
};

} // namespace torvale
