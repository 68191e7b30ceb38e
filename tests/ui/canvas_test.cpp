#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"
#include "ui/panels/output_panel.h"
#include "ui/ui_fixture.h"

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

namespace torvale::test {
namespace {

class CanvasTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        installEventFilter();
    }

    CanvasView& canvas() { return *window->canvas(); }
    const Layer& layer(std::size_t row) { return document->tpl().layers.at(row); }
    LayerRect rect(std::size_t row)
    {
        const Layer& l = layer(row);
        return {l.id, l.x, l.y, l.width, l.height};
    }

    QPoint at(CardPoint p)
    {
        const QPoint origin = canvas().cardOrigin();
        const double zoom = canvas().zoom();
        return {origin.x() + static_cast<int>(zoom * p.x), origin.y() + static_cast<int>(zoom * p.y)};
    }
    void mouse(QEvent::Type type, CardPoint p, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers keys = {})
    {
        QWidget* viewport = canvas().viewport();
        const QPointF position = at(p);
        QMouseEvent event(type, position, viewport->mapToGlobal(position), button, buttons, keys);
        QApplication::sendEvent(viewport, &event);
    }
    void press(CardPoint p) { mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    void dragTo(CardPoint p) { mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    void release(CardPoint p) { mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, {}); }
    void drag(CardPoint from, CardPoint to)
    {
        press(from);
        dragTo(to);
        release(to);
    }

    QStringList row(int index)
    {
        QStringList texts;
        for (int column = 1; column <= 5; ++column)
            texts << window->layerPanel()->table()->item(index, column)->text();
        return texts;
    }

    /// Layers of the given rectangles on a 1000 x 800 canvas.
    void makeLayers(std::initializer_list<LayerRect> rects)
    {
        document->setBackgroundSize("1000", "800");
        for (const LayerRect& r : rects) {
            window->execute(CommandId::NewPictureLayer);
            placeLayer(document->tpl().layers.size() - 1, r.x, r.y, r.width, r.height);
        }
    }
};

TEST_F(CanvasTest, DrawingANewTextLayerGivesItsRectangleToTheListAndTheFile)
{
    window->execute(CommandId::NewTextLayer);
    ASSERT_EQ(window->state().mode, CanvasMode::PlacingLayer);
    mouse(QEvent::MouseMove, {120, 60}, Qt::NoButton, {});
    EXPECT_EQ(row(0), (QStringList{"120", "60", "", "", "字"}));
    press({120, 60});
    dragTo({330, 140});
    EXPECT_EQ(row(0), (QStringList{"120", "60", "210", "80", "字"}));
    EXPECT_EQ(window->statusText(2), "210 x 80 像素");
    release({330, 140});
    EXPECT_EQ(window->state().mode, CanvasMode::LayerSelected);
    EXPECT_EQ(rect(0), (LayerRect{layer(0).id, 120, 60, 210, 80}));
    EXPECT_EQ(row(0), (QStringList{"120", "60", "210", "80", "字"}));
    // The text is laid out in the new rectangle once the events are handled.
    QApplication::processEvents();
    EXPECT_EQ(canvas().thumbnail(layer(0).id).size(), QSize(210, 80));

    const std::string path = dir.file("drawn.dat");
    ASSERT_TRUE(document->save(path).ok());
    SettingsStore otherStore(dir.file("other.json"));
    EditorDocument reread(otherStore);
    ASSERT_TRUE(reread.open(path).ok());
    const Layer& saved = reread.tpl().layers.at(0);
    EXPECT_EQ((LayerRect{0, saved.x, saved.y, saved.width, saved.height}),
              (LayerRect{0, 120, 60, 210, 80}));
}

TEST_F(CanvasTest, ACodeLayerShowsItsDemoCodeInItsRectangle)
{
    window->execute(CommandId::NewCodeLayer);
    drag({100, 100}, {260, 260});
    QApplication::processEvents();
    ASSERT_EQ(canvas().thumbnail(layer(0).id).size(), QSize(160, 160));
    const QImage shown = canvas().viewport()->grab().toImage();
    const auto darkIn = [&](QRect area) {
        int dark = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                dark += qGray(shown.pixel(x, y)) < 64;
        }
        return dark;
    };
    // Dark modules inside the layer's rectangle, none beside it.
    EXPECT_GT(darkIn(QRect(at({110, 110}), at({250, 250}))), 1000);
    EXPECT_EQ(darkIn(QRect(at({300, 110}), at({400, 250}))), 0);
}

TEST_F(CanvasTest, AShapeShowsAsTheCardDrawsItAndFollowsItsLevel)
{
    window->execute(CommandId::NewShapeLayer);
    drag({100, 100}, {260, 200});
    editLayer(0, FieldShape, [](Layer& l) { l.shapeKind = ShapeKind::Ellipse; });
    canvas().setZoom(1.0);
    const auto shown = [this](CardPoint p) {
        QApplication::processEvents();
        return canvas().viewport()->grab().toImage().pixelColor(at(p));
    };
    const QColor fill(0x3C, 0x78, 0xD8);
    EXPECT_EQ(shown({180, 150}), fill);
    EXPECT_EQ(shown({106, 106}), QColor(Qt::white)); // the ellipse's box corner
    // Below the white background it is hidden.
    editLayer(0, FieldLevel, [](Layer& l) { l.layer_level = LayerLevel::BelowBackground; });
    EXPECT_EQ(shown({180, 150}), QColor(Qt::white));
}

TEST_F(CanvasTest, AFramedPictureShowsAsTheCardDrawsIt)
{
    const std::string path = dir.file("photo.png");
    {
        const MagickWandPtr wand = newCanvas(200, 160, "#3080C0");
        ASSERT_NE(MagickWriteImage(wand.get(), path.c_str()), MagickFalse);
    }
    makeLayers({{0, 100, 100, 100, 80}});
    editLayer(0, FieldBinding | FieldDemo | FieldOverflow | FieldFrame, [&](Layer& l) {
        l.isFixed = true;
        l.filePath = path;
        l.overflow_style = OverflowStyle::FillScale;
        l.cornerRadius = 40; // half the shorter side: an ellipse
        l.borderWidth = 4;
        l.borderColor = "#FF0000";
    });
    canvas().setZoom(1.0);
    QApplication::processEvents();
    const QImage shown = canvas().viewport()->grab().toImage();

    // The card's own fitted and framed pixels, over the white canvas.
    RgbaPixels fitted;
    RgbaPixels scaled;
    const RgbaPixels picture = exportRgba(readPicture(path).wand.get());
    ASSERT_TRUE(layerPicture(picture, 0, 0, layer(0), fitted, scaled));
    ASSERT_EQ(fitted.width * fitted.height, 100u * 80u);
    // The layer's outline and handles cover the 3 pixels along its edges.
    int largest = 0;
    for (std::size_t y = 3; y + 3 < fitted.height; ++y) {
        for (std::size_t x = 3; x + 3 < fitted.width; ++x) {
            const unsigned char* p = &fitted.bytes[(y * fitted.width + x) * 4];
            const QColor seen = shown.pixelColor(
                at({static_cast<std::int32_t>(100 + x), static_cast<std::int32_t>(100 + y)}));
            const int channels[3] = {seen.red(), seen.green(), seen.blue()};
            for (int c = 0; c < 3; ++c) {
                const int expected = (p[c] * p[3] + 255 * (255 - p[3]) + 127) / 255;
                largest = std::max(largest, std::abs(channels[c] - expected));
            }
        }
    }
    EXPECT_LE(largest, 1);
    // The corner outside the ellipse shows the canvas, the edge the border, the middle the photo.
    EXPECT_EQ(shown.pixelColor(at({103, 103})), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(at({103, 140})), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(at({150, 140})), QColor(0x30, 0x80, 0xC0));
}

// Without a data row a fixed text shows the first serial typed into the output panel (one undo
// step) and its other fields as written.
TEST_F(CanvasTest, FixedTextShowsTheFirstSerialOfTheOutputPanel)
{
    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 10, 10, 200, 40);
    const auto shown = [this](const char* text) {
        editLayer(0, FieldDemo | FieldBinding, [text](Layer& layer) {
            layer.text = text;
            layer.isFixed = true;
        });
        QApplication::processEvents();
        return canvas().thumbnail(layer(0).id);
    };
    const QImage typed = shown("{名}0041");
    ASSERT_NE(shown("{名}{#:0000}"), typed);
    QSpinBox* box = window->outputPanel()->serialStartBox();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("41"));
    QApplication::processEvents();
    EXPECT_EQ(canvas().thumbnail(layer(0).id), typed);
    window->execute(CommandId::Undo);
    EXPECT_EQ(document->tpl().output.serialStart, 1);
    EXPECT_EQ(box->value(), 1);
}

TEST_F(CanvasTest, ThumbnailsFollowUndoAndFontMappings)
{
    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 10, 10, 120, 40);
    editLayer(0, FieldDemo | FieldFont, [](Layer& layer) {
        layer.text = "WWWWWWWWWW";
        layer.fontName = "没有安装的字体";
        layer.fontSize = 26;
    });
    const auto shown = [this] {
        QApplication::processEvents();
        return canvas().thumbnail(layer(0).id);
    };
    const QImage wide = shown();
    editLayer(0, FieldFont, [](Layer& layer) { layer.autoShrink = true; });
    ASSERT_NE(shown(), wide);
    window->execute(CommandId::Undo);
    EXPECT_EQ(shown(), wide);

    // A mapping gives the unknown font's name a font file: the text is drawn in it.
    const std::vector<FontEntry>* dejaVu = testFonts().family("DejaVu Sans");
    ASSERT_TRUE(dejaVu);
    ASSERT_TRUE(window->context().addFontMapping("没有安装的字体",
                                       chooseFontFile(*dejaVu, true, false).fontReference));
    const QImage mapped = shown();
    EXPECT_NE(mapped, wide);
    window->context().removeFontMapping("没有安装的字体");
    EXPECT_EQ(shown(), wide);
}

TEST_F(CanvasTest, MovingAndResizingAtZoomThreeWithScrollBars)
{
    makeLayers({{0, 60, 60, 100, 50}});
    window->execute(static_cast<CommandId>(static_cast<int>(CommandId::Zoom25) + 5)); // 300%
    window->layerPanel()->selectRow(0);
    ASSERT_EQ(canvas().zoom(), 3);
    EXPECT_GT(canvas().horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(canvas().verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(window->statusText(3), "300%");
    // Selecting the layer scrolled it into view.
    EXPECT_TRUE(canvas().viewport()->rect().contains(at({190, 120})));

    drag({80, 80}, {90, 75});
    EXPECT_EQ(rect(0), (LayerRect{layer(0).id, 70, 55, 100, 50}));
    EXPECT_EQ(row(0), (QStringList{"70", "55", "100", "50", "图"}));
    // The right edge's handle lies on and just outside the edge (8 card pixels at 300%).
    drag({174, 80}, {184, 80});
    EXPECT_EQ(rect(0), (LayerRect{layer(0).id, 70, 55, 110, 50}));
    EXPECT_EQ(window->statusText(2), "110 x 50 像素");
}

TEST_F(CanvasTest, BandSelectsThreeLayersWhichAlignOnTheOneRightClicked)
{
    makeLayers({{0, 100, 100, 50, 50}, {0, 300, 130, 50, 80}, {0, 500, 90, 60, 40}});
    window->layerPanel()->table()->clearSelection();
    press({50, 50});
    dragTo({700, 300});
    EXPECT_EQ(window->state().mode, CanvasMode::BandDragging);
    release({700, 300});
    EXPECT_EQ(window->state().mode, CanvasMode::MultiSelected);
    EXPECT_EQ(window->layerPanel()->table()->selectionModel()->selectedRows().size(), 3);

    mouse(QEvent::MouseMove, {320, 150}, Qt::NoButton, {});
    mouse(QEvent::MouseButtonRelease, {320, 150}, Qt::RightButton, {});
    QMenu* menu = canvas().findChild<QMenu*>();
    ASSERT_TRUE(menu);
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    EXPECT_EQ(texts, (QStringList{"图层 2", "", "对齐", "", "层次", "溢出样式"}));
    menu->hide();
    window->execute(CommandId::AlignBottom);
    EXPECT_EQ(layer(0).y, 160);
    EXPECT_EQ(layer(1).y, 130);
    EXPECT_EQ(layer(2).y, 170);
    EXPECT_EQ(row(2), (QStringList{"500", "170", "60", "40", "图"}));

    // The sub-menu's entries act through their commands.
    QMenu* align = menu->actions()[2]->menu();
    QStringList entries;
    for (QAction* action : align->actions())
        entries << action->text();
    EXPECT_EQ(entries, (QStringList{"顶边", "底边", "左边", "右边", "", "水平居中", "垂直居中",
                                    "卡片水平居中", "卡片垂直居中", "横向等距分布", "纵向等距分布",
                                    "等宽", "等高"}));
    align->actions()[11]->trigger();
    EXPECT_EQ(layer(2).width, 50);
}

TEST_F(CanvasTest, EscapeDuringADragPutsTheLayerBack)
{
    window->activateWindow();
    makeLayers({{0, 100, 100, 200, 100}});
    window->layerPanel()->selectRow(0);
    press({150, 150});
    dragTo({250, 250});
    EXPECT_EQ(layer(0).x, 200);
    canvas().setFocus();
    QTest::keyClick(&canvas(), Qt::Key_Escape);
    EXPECT_EQ(rect(0), (LayerRect{layer(0).id, 100, 100, 200, 100}));
    EXPECT_EQ(window->state().drag, DragKind::None);
    release({250, 250});
    EXPECT_EQ(layer(0).x, 100);

    // Arrow keys from the layer list move the layer on the canvas.
    window->layerPanel()->table()->setFocus();
    QTest::keyClick(window->layerPanel()->table(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(layer(0).x, 105);
}

} // namespace
} // namespace torvale::test

namespace torvale::test {
namespace {

TEST_F(CanvasTest, UndoTakesBackADragAFontAndADeletionAndRedoBringsThemAgain)
{
    window->activateWindow();
    makeLayers({{0, 100, 100, 200, 100}, {0, 400, 100, 100, 100}});
    const std::string original = dir.file("original.dat");
    ASSERT_TRUE(document->save(original).ok());
    const std::string before = readFile(original);

    window->layerPanel()->selectRow(0);
    // A drag is recorded once, when it ends, and the 编辑 menu names it.
    const std::size_t steps = document->history().stepCount();
    press({150, 150});
    dragTo({160, 150});
    dragTo({170, 160});
    EXPECT_EQ(document->history().stepCount(), steps);
    release({170, 160});
    EXPECT_EQ(document->history().stepCount(), steps + 1);
    const QList<QAction*> edit = window->menuBar()->actions().at(1)->menu()->actions();
    EXPECT_EQ(edit.at(0)->text(), "撤销 移动图层\tCtrl+Z");
    editLayer(0, FieldFont, [](Layer& l) { l.fontName = "Other"; });
    window->layerPanel()->table()->clearSelection();
    window->layerPanel()->selectRow(1);
    window->execute(CommandId::DeleteLayers);
    ASSERT_EQ(document->tpl().layers.size(), 1u);

    for (int i = 0; i < 3; ++i)
        window->execute(CommandId::Undo);
    const std::string undone = dir.file("undone.dat");
    ASSERT_TRUE(document->save(undone).ok());
    EXPECT_EQ(readFile(undone), before);
    EXPECT_EQ(window->layerPanel()->table()->rowCount(), 2);
    // The layer selected before stays selected where it still exists.
    EXPECT_EQ(currentLayerRow(), 0u);

    window->execute(CommandId::Redo);
    window->execute(CommandId::Redo);
    EXPECT_EQ(layer(0).x, 120);
    EXPECT_EQ(layer(0).fontName, "Other");
    EXPECT_EQ(document->tpl().layers.size(), 2u);
    EXPECT_EQ(row(0), (QStringList{"120", "110", "200", "100", "图"}));

    // A redo that removes the current layer leaves nothing current and no window open on it.
    window->layerPanel()->table()->clearSelection();
    window->layerPanel()->selectRow(1);
    ASSERT_NE(window->openLayerWindow(), nullptr);
    window->execute(CommandId::Redo);
    EXPECT_EQ(window->layerPanel()->table()->rowCount(), 1);
    EXPECT_FALSE(window->state().currentLayer());
    EXPECT_TRUE(window->state().marked().empty());
    EXPECT_EQ(window->openLayerWindow(), nullptr);
}

TEST_F(CanvasTest, CtrlZInAFieldUndoesTheFieldOnly)
{
    window->activateWindow();
    makeLayers({{0, 100, 100, 200, 100}});
    window->execute(CommandId::NewTextLayer);
    placeLayer(1, 10, 10, 50, 20);
    window->layerPanel()->table()->clearSelection();
    window->layerPanel()->selectRow(1);
    QLineEdit* demo = window->findChild<QLineEdit*>(QStringLiteral("demoField"));
    ASSERT_TRUE(demo && demo->isVisible());
    demo->setFocus();
    QTest::keyClicks(demo, QStringLiteral("abc"));
    ASSERT_EQ(layer(1).text, "abc");
    QTest::keyClick(demo, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(demo->text(), "");
    EXPECT_EQ(layer(1).text, "");
    EXPECT_EQ(document->tpl().layers.size(), 2u);
    EXPECT_TRUE(layer(1).hasRect());
}

} // namespace
} // namespace torvale::test
