// Repaint time of the design canvas while one layer is dragged: a 4000 x 3000 picture
// background with 20 layers (10 photos, 10 texts), at 25% and at 100%. Each step moves the
// layer by a few card pixels through the canvas's own pointer handling and repaints at once;
// the time of the repaint is recorded. Run through bench/canvas.sh.
#include "app/editor_document.h"
#include "app/image_library.h"
#include "common/settings_store.h"
#include "render/fonts.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"
#include "ui/main/main_window.h"
#include "ui/dialogs/qt_prompts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace torvale;

namespace {

QImage gradient(int width, int height, QColor from, QColor to)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient fill(0, 0, width, height);
    fill.setColorAt(0, from);
    fill.setColorAt(1, to);
    painter.fillRect(image.rect(), fill);
    painter.setPen(Qt::white);
    for (int x = 0; x < width; x += 97)
        painter.drawLine(x, 0, width - x, height);
    return image;
}

void send(QWidget* viewport, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, {});
    QApplication::sendEvent(viewport, &event);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (const auto problem = setUpImageLibrary()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }
    const int steps = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    QTemporaryDir dir;
    const QString background = dir.filePath(QStringLiteral("background.png"));
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    gradient(4000, 3000, QColor(20, 90, 170), QColor(240, 200, 60)).save(background);
    gradient(600, 800, QColor(200, 220, 240), QColor(60, 60, 80)).save(photo, "JPG", 90);

    const SettingsStore store(dir.filePath(QStringLiteral("settings.json")).toStdString());
    const FontRegistry fonts = FontRegistry::build(store);
    EditorDocument document(store);
    document.setBackgroundPicture(background.toStdString());
    for (int i = 0; i < 20; ++i) {
        const bool text = i % 2 == 1;
        const LayerId id = document.addLayer(text ? LayerType::Text : LayerType::Picture);
        document.setLayerGeometry({{id, 150 + (i % 5) * 750, 150 + (i / 5) * 700, 600, 500}});
        Layer values = *document.layer(id);
        values.text = "王小明 Torvale " + std::to_string(i);
        values.filePath = photo.toStdString();
        values.fontSize = 60;
        document.setLayerFields({id}, FieldDemo | FieldFont, values);
        if (!text)
            document.setLayerOverflow({id}, i % 4 == 0 ? OverflowStyle::ShrinkToFit
                                                       : OverflowStyle::CropCentre);
    }

    QtPrompts prompts;
    MainWindow window(document, fonts, prompts);
    window.resize(1400, 900);
    window.show();
    QApplication::processEvents();
    CanvasView& canvas = *window.canvas();
    QWidget* viewport = canvas.viewport();

    std::printf("zoom  repaints  median ms  p90 ms  max ms\n");
    for (const double zoom : {0.25, 1.0}) {
        canvas.setZoom(zoom);
        window.layerPanel()->selectRow(0);
        QApplication::processEvents();
        const Layer& layer = document.tpl().layers.front();
        const QPoint origin = canvas.cardOrigin();
        QPoint at(origin.x() + static_cast<int>(zoom * (layer.x + 100)),
                  origin.y() + static_cast<int>(zoom * (layer.y + 100)));
        send(viewport, QEvent::MouseButtonPress, at, Qt::LeftButton);
        std::vector<double> times;
        QElapsedTimer timer;
        for (int i = 0; i < steps; ++i) {
            at += QPoint(i % 40 < 20 ? 3 : -3, i % 20 < 10 ? 2 : -2);
            send(viewport, QEvent::MouseMove, at, Qt::LeftButton);
            timer.start();
            viewport->repaint();
            times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        send(viewport, QEvent::MouseButtonRelease, at, Qt::NoButton);
        std::sort(times.begin(), times.end());
        std::printf("%4.0f%%  %8zu  %9.2f  %6.2f  %6.2f\n", zoom * 100, times.size(),
                    times[times.size() / 2], times[times.size() * 9 / 10], times.back());
    }
    return 0;
}
