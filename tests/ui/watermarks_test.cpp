#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"
#include "ui/ui_fixture.h"
#include "ui/panels/watermark_panel.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace torvale::test {
namespace {

class WatermarksTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        installEventFilter();
        window->activateWindow();
        document->setBackgroundSize("600", "400");
        window->execute(CommandId::WatermarkPanel);
    }

    EditorState& state() { return window->state(); }
    const std::vector<Watermark>& marks() { return state().watermarks.items(); }
    WatermarkPanel& panel() { return *window->watermarkPanel(); }

    std::string picture(const char* name, int width, int height)
    {
        const std::string path = dir.file(name);
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(QColor(200, 30, 30, 128));
        EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
        return path;
    }
    void add(const std::string& path, CommandId id = CommandId::NewWatermark)
    {
        prompts.answerFile(path);
        window->execute(id);
    }
    void mouse(QEvent::Type type, CardPoint p, Qt::MouseButtons buttons)
    {
        CanvasView& canvas = *window->canvas();
        const QPoint origin = canvas.cardOrigin();
        const QPointF at(origin.x() + p.x * canvas.zoom(), origin.y() + p.y * canvas.zoom());
        QMouseEvent event(type, at, canvas.viewport()->mapToGlobal(at), Qt::LeftButton, buttons,
                          {});
        QApplication::sendEvent(canvas.viewport(), &event);
    }
    std::vector<int> numbers()
    {
        std::vector<int> shown;
        for (int row = 0; row < panel().table()->rowCount(); ++row)
            shown.push_back(panel().table()->item(row, 0)->text().toInt());
        return shown;
    }
};

TEST_F(WatermarksTest, AddInsertMoveReplaceAndDelete)
{
    EXPECT_TRUE(panel().isVisible());
    const std::string a = picture("a.png", 100, 50);
    const std::string b = picture("b.png", 40, 30);
    // A wrong name is refused and the chooser opens again.
    prompts.answerFile(dir.file("notes.txt"));
    prompts.answerMessage(PromptAnswer::Ok);
    add(a);
    ASSERT_EQ(marks().size(), 1u);
    EXPECT_EQ(prompts.asked()[0].caption, "选择水印图片");
    EXPECT_EQ(prompts.asked()[1].caption, "提示");
    EXPECT_EQ(state().mode, CanvasMode::WatermarkSelected);
    EXPECT_EQ(window->statusText(2), "100 x 50 像素");
    EXPECT_EQ(panel().selectedRow(), 0);

    add(b, CommandId::InsertWatermark);
    ASSERT_EQ(marks().size(), 2u);
    EXPECT_EQ(marks()[0].filePath, b);
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2}));
    EXPECT_EQ(panel().selectedRow(), 0);

    // Moved with the mouse (stopping at the card's edge) and the arrow keys; Esc puts back.
    panel().table()->selectRow(1);
    ASSERT_EQ(state().current()->filePath, a);
    mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {30, 25}, Qt::LeftButton);
    EXPECT_EQ((std::pair{marks()[1].x, marks()[1].y}), (std::pair{20, 15}));
    window->canvas()->setFocus();
    QTest::keyClick(window->canvas(), Qt::Key_Escape);
    EXPECT_EQ((std::pair{marks()[1].x, marks()[1].y}), (std::pair{0, 0}));
    mouse(QEvent::MouseButtonRelease, {30, 25}, {});
    QTest::keyClick(window->canvas(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(window->canvas(), Qt::Key_Down);
    EXPECT_EQ((std::pair{marks()[1].x, marks()[1].y}), (std::pair{5, 1}));
    EXPECT_EQ(panel().table()->item(1, 1)->text(), "5");

    // A larger picture keeps the position, even past the card's edge.
    add(picture("big.png", 900, 700), CommandId::ChangeWatermarkPicture);
    EXPECT_EQ((std::tuple{marks()[1].x, marks()[1].y, marks()[1].width}),
              (std::tuple{5, 1, 900}));
    EXPECT_EQ(panel().table()->item(1, 3)->text(), "900");

    // Deleting the last row selects the new last row (Delete in the list as on the canvas);
    // deleting the only one leaves Idle.
    panel().table()->setFocus();
    QTest::keyClick(panel().table(), Qt::Key_Delete);
    ASSERT_EQ(marks().size(), 1u);
    EXPECT_EQ(panel().selectedRow(), 0);
    window->execute(CommandId::DeleteWatermark);
    EXPECT_TRUE(marks().empty());
    EXPECT_EQ(state().mode, CanvasMode::Idle);
}

TEST_F(WatermarksTest, PositionDialogChecksBeforeItStores)
{
    add(picture("a.png", 100, 50));
    prompts.answerMessage(PromptAnswer::Ok);
    QTimer::singleShot(0, [this] {
        WatermarkPositionDialog& dialog = *window->watermarkDialog();
        EXPECT_EQ(dialog.windowTitle(), "水印层#1");
        dialog.xField()->setText(QStringLiteral("550"));
        dialog.yField()->setText(QStringLiteral("20"));
        dialog.confirm(); // 550 + 100 > 600: refused, the dialog stays
        EXPECT_TRUE(dialog.isVisible());
        // The arrow keys step a field: Up lowers the value, Down raises it, within the card.
        dialog.xField()->setText(QStringLiteral("481"));
        QTest::keyClick(dialog.xField(), Qt::Key_Up);
        QTest::keyClick(dialog.yField(), Qt::Key_Down);
        dialog.yField()->setText(QStringLiteral("0"));
        QTest::keyClick(dialog.yField(), Qt::Key_Up);
        EXPECT_EQ(dialog.yField()->text(), "0");
        dialog.yField()->setText(QStringLiteral("20"));
        dialog.confirm();
    });
    window->execute(CommandId::EditWatermark);
    ASSERT_EQ(prompts.asked().size(), 2u);
    EXPECT_EQ(prompts.asked()[1].text.substr(0, prompts.asked()[1].text.find('\n')),
              "x坐标  +  水印宽度  >  【背景层】宽度");
    EXPECT_EQ((std::pair{marks()[0].x, marks()[0].y}), (std::pair{480, 20}));
}

TEST_F(WatermarksTest, OutlinesOfOtherWatermarksLieUnderTheCurrentLayersHandles)
{
    add(picture("a.png", 40, 100));
    window->state().watermarks.move(marks()[0].id, 101, 50);
    const LayerId id = document->addLayer(LayerType::Text);
    document->setLayerGeometry({{id, 100, 100, 200, 100}});
    window->layerPanel()->selectRow(0);
    ASSERT_EQ(window->state().currentLayer(), id);
    window->context().watermarksChanged.notify();

    // The watermark's left outline runs through the top-left handle's white inside.
    CanvasView& canvas = *window->canvas();
    const QImage shot = canvas.viewport()->grab().toImage();
    const QPoint handle = canvas.cardOrigin() + QPoint(100, 100);
    for (int y = handle.y() - 2; y <= handle.y(); ++y)
        EXPECT_EQ(shot.pixelColor(handle.x(), y), QColor(Qt::white)) << y;
}

TEST_F(WatermarksTest, HiddenWatermarksAreNeitherDrawnNorPickedNorSaved)
{
    const std::string path = dir.file("plain.dat");
    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 0, 0, 300, 200);
    ASSERT_TRUE(document->save(path).ok());
    const std::string without = readFile(path);

    add(picture("a.png", 100, 50));
    EXPECT_EQ(window->canvas()->controller().pickWatermarkAt({50, 25}), marks()[0].id);
    panel().showBox()->click();
    EXPECT_EQ(state().mode, CanvasMode::Idle);
    EXPECT_FALSE(state().current());
    EXPECT_FALSE(window->canvas()->controller().pickWatermarkAt({50, 25}));
    // A press there picks the layer beneath.
    mouse(QEvent::MouseButtonPress, {50, 25}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {50, 25}, {});
    EXPECT_EQ(state().currentKind(), CurrentKind::Layer);

    ASSERT_TRUE(document->save(path).ok());
    EXPECT_EQ(readFile(path), without);
}

} // namespace
} // namespace torvale::test
