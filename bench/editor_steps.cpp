// Times of two editor steps on the bundled example, on Qt's offscreen platform:
// - preview: the card of a data row drawn by the card renderer, decoded and shown on the canvas
//   (from the start of the render to the repainted canvas; the 150 ms settling is not counted);
// - undo: one undo step after a layer was moved (restore, panels, list, canvas repaint).
// Run through bench/editor.sh.
#include "app/editor_document.h"
#include "app/image_library.h"
#include "batch/card_preview.h"
#include "common/settings_store.h"
#include "render/fonts.h"
#include "ui/canvas/canvas_view.h"
#include "ui/main/main_window.h"
#include "ui/qt_pixels.h"
#include "ui/dialogs/qt_prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace torvale;

namespace {

void report(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-8s %6zu  %9.2f  %6.2f  %6.2f\n", what, times.size(), times[times.size() / 2],
                times[times.size() * 9 / 10], times.back());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (const auto problem = setUpImageLibrary()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: editor_steps EXAMPLE.dat [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 30;
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath(QStringLiteral("settings.json")).toStdString());
    const FontRegistry fonts = FontRegistry::build(store);
    EditorDocument document(store);
    QtPrompts prompts;
    MainWindow window(document, fonts, prompts);
    window.resize(1400, 900);
    window.show();
    if (!document.open(argv[1]).ok()) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    QApplication::processEvents();
    CanvasView& canvas = *window.canvas();

    std::printf("step     rounds  median ms  p90 ms  max ms\n");
    std::vector<double> preview;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        PreviewRequest request;
        request.tpl = document.tpl();
        request.dpi = document.dpi();
        request.fonts = window.fontSnapshot();
        request.csvPath = document.resolve(document.tpl().csv_file_path);
        request.row = static_cast<std::size_t>(i % 24) + 1;
        timer.start();
        const PreviewResult result = renderPreview(request);
        const QImage card = toQImage(result.card);
        canvas.viewport()->repaint();
        preview.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (card.isNull()) {
            std::fprintf(stderr, "no card: %s\n", result.problem.value_or("").c_str());
            return 1;
        }
    }
    report("preview", preview);

    std::vector<double> undo;
    for (int i = 0; i < rounds; ++i) {
        const Layer& layer = document.tpl().layers.at(1);
        document.setLayerGeometry(
            {{layer.id, layer.x + 1 + i % 3, layer.y, layer.width, layer.height}});
        QApplication::processEvents();
        timer.start();
        window.execute(CommandId::Undo);
        canvas.viewport()->repaint();
        undo.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QApplication::processEvents();
    }
    report("undo", undo);
    return 0;
}
