#include "app/layer_properties.h"
#include "support/field_tables.h"
#include "ui/balloon.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"
#include "ui/ui_fixture.h"
#include "ui/windows/layer_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>

namespace torvale::test {
namespace {

// A layer of a window test: its row, its window and its type mark in the layer list.
struct WindowCase {
    int row;
    LayerWindow* window;
    QString type;
};

class LayerWindowsTest : public UiTest {
protected:
    TextLayerWindow& text() { return *window->textLayerWindow(); }
    PictureLayerWindow& picture() { return *window->pictureLayerWindow(); }
    CodeLayerWindow& code() { return *window->codeLayerWindow(); }
    ShapeLayerWindow& shape() { return *window->shapeLayerWindow(); }
    const Layer& layer(std::size_t row) { return document->tpl().layers.at(row); }
    /// A picture layer (row 0) and a text layer (row 1) over the example's staff list.
    std::vector<WindowCase> pictureAndTextLayers()
    {
        EXPECT_TRUE(
            document->setCsvFile(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/staff.csv"));
        window->execute(CommandId::NewPictureLayer);
        window->execute(CommandId::NewTextLayer);
        placeLayer(0, 10, 10, 100, 80);
        placeLayer(1, 10, 100, 100, 40);
        return {{0, &picture(), QStringLiteral("图")}, {1, &text(), QStringLiteral("字")}};
    }
    /// A click on a row of the layer list.
    void selectOnly(int row)
    {
        window->layerPanel()->table()->clearSelection();
        window->layerPanel()->selectRow(row);
    }

    /// Draws the rectangle of the layer being placed with the mouse on the canvas.
    void drawOnCanvas(CardPoint from, CardPoint to)
    {
        CanvasView& canvas = *window->canvas();
        const auto send = [&](QEvent::Type type, CardPoint p, Qt::MouseButtons buttons) {
            const QPoint origin = canvas.cardOrigin();
            const QPointF at(origin.x() + p.x * canvas.zoom(), origin.y() + p.y * canvas.zoom());
            QMouseEvent event(type, at, canvas.viewport()->mapToGlobal(at), Qt::LeftButton,
                              buttons, {});
            QApplication::sendEvent(canvas.viewport(), &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, {});
    }
    /// Types into a field as the user does: the old text selected and replaced.
    void type(QLineEdit* field, const QString& keys)
    {
        field->setFocus();
        field->selectAll();
        if (keys.isEmpty())
            QTest::keyClick(field, Qt::Key_Backspace);
        else
            QTest::keyClicks(field, keys);
    }
    void leave(QLineEdit* field)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(field, &out);
    }
    std::vector<std::string> balloonTitles()
    {
        std::vector<std::string> titles;
        for (Balloon* balloon : window->balloons().open())
            titles.push_back(balloon->title().toStdString());
        return titles;
    }
};

TEST_F(LayerWindowsTest, TextWindowEditsTheLayerItWasOpenedFor)
{
    window->activateWindow();
    ASSERT_TRUE(document->setCsvFile(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/staff.csv"));
    window->execute(CommandId::NewTextLayer);
    EXPECT_FALSE(text().isVisible()); // placed first
    drawOnCanvas({100, 50}, {400, 150});
    ASSERT_TRUE(text().isVisible());
    EXPECT_FALSE(picture().isVisible());
    EXPECT_EQ(text().windowTitle(), "图层#1 - 属性");
    EXPECT_EQ(text().xField()->text(), "100");
    EXPECT_EQ(text().widthField()->text(), "300");

    text().columnBox()->setCurrentIndex(3); // after "(固定内容)" and the empty entry
    EXPECT_EQ(layer(0).bind_col_name, document->csvColumns().at(1));
    type(text().demoField(), QStringLiteral("Wang"));
    EXPECT_EQ(layer(0).text, "Wang");

    // The bold button is offered only for a family with normal and heavier files.
    for (const std::string& name : fontListOrder(fonts().fontNames())) {
        text().fontBox()->setCurrentIndex(text().fontBox()->findText(QString::fromStdString(name)));
        ASSERT_EQ(layer(0).fontName, name);
        EXPECT_EQ(text().boldButton()->isVisibleTo(&text()), isBoldSelectable(fonts(), name)) << name;
    }

    QLineEdit* size = text().sizeBox()->lineEdit();
    type(size, QStringLiteral("36"));
    EXPECT_EQ(layer(0).fontSize, 36);
    EXPECT_EQ(text().printedSizeLabel()->text().toStdString(),
              printedSizeText(36, document->tpl().background.dpi));
    type(size, QStringLiteral("0")); // below 1: the field empties, the layer keeps its size
    EXPECT_EQ(size->text(), "");
    leave(size);
    EXPECT_EQ(size->text(), "36");
    text().sizeBox()->showPopup();
    text().sizeBox()->hidePopup();
    const int entry = text().sizeBox()->findText(QStringLiteral("72"));
    ASSERT_GE(entry, 0);
    text().sizeBox()->setCurrentIndex(entry);
    emit text().sizeBox()->activated(entry);
    EXPECT_EQ(layer(0).fontSize, 72);

    type(text().spacingField(), QStringLiteral("4"));
    EXPECT_EQ(layer(0).characterSpacing, 4);
    text().horizontalBox()->setCurrentIndex(3);
    EXPECT_FALSE(text().spacingField()->isEnabled());
    EXPECT_EQ(layer(0).tHAlign, 3);
    EXPECT_EQ(layer(0).characterSpacing, 4);
    text().verticalBox()->setCurrentIndex(2);

    // The minimum size is offered once auto-shrink is on.
    EXPECT_FALSE(text().minSizeField()->isEnabled());
    text().shrinkBox()->click();
    EXPECT_TRUE(layer(0).autoShrink);
    type(text().minSizeField(), QStringLiteral("12"));
    EXPECT_EQ(layer(0).minFontSize, 12);
    type(text().maxLinesField(), QStringLiteral("300")); // at most 100 lines
    EXPECT_EQ(layer(0).maxLines, 100);
    type(text().maxLinesField(), QStringLiteral("3"));
    EXPECT_EQ(layer(0).maxLines, 3);

    prompts.answerColor(0x3366CC);
    QTest::mouseClick(text().swatch(), Qt::LeftButton);
    EXPECT_EQ(layer(0).color, 0x3366CCu);
    EXPECT_EQ(prompts.asked().back().owner, &text()) << "the chooser opens over the window";
    EXPECT_EQ(layer(0).htmlColor, "#CC6633");

    // A letter is refused; "0" empties the width field and leaving it brings the width back.
    window->balloons().dismissAll();
    type(text().widthField(), QStringLiteral("a"));
    EXPECT_EQ(balloonTitles(), std::vector<std::string>{"不能接受的字符2"});
    type(text().widthField(), QStringLiteral("0"));
    EXPECT_EQ(text().widthField()->text(), "");
    EXPECT_EQ(layer(0).width, 300);
    leave(text().widthField());
    EXPECT_EQ(text().widthField()->text(), "300");
    type(text().widthField(), QStringLiteral("250"));
    type(text().yField(), QStringLiteral("60"));
    EXPECT_EQ(window->layerPanel()->table()->item(0, 3)->text(), "250");

    // A font that is not installed is pointed out when the window shows the layer.
    window->balloons().dismissAll();
    editLayer(0, FieldFont, [](Layer& l) { l.fontName = "没有的字体"; });
    EXPECT_EQ(balloonTitles(), std::vector<std::string>{"没找到【没有的字体】字体"});
    EXPECT_EQ(text().fontBox()->currentText(), "");
    // A family's other name (as other tools write it) shows its listed name, no balloon.
    window->balloons().dismissAll();
    editLayer(0, FieldFont, [](Layer& l) { l.fontName = kInstalledCjkFamily; });
    EXPECT_EQ(text().fontBox()->currentText().toStdString(),
              *listedFontName(fonts(), kInstalledCjkFamily));
    EXPECT_NE(text().fontBox()->currentText().toStdString(), kInstalledCjkFamily);
    EXPECT_TRUE(balloonTitles().empty());
    EXPECT_EQ(layer(0).fontName, kInstalledCjkFamily);
    editLayer(0, FieldFont, [&](Layer& l) { l.fontName = fonts().fontNames().front(); });

    const std::string path = dir.file("text.dat");
    ASSERT_TRUE(document->save(path).ok());
    SettingsStore otherStore(dir.file("other.json"));
    EditorDocument reread(otherStore);
    ASSERT_TRUE(reread.open(path).ok());
    const Layer& saved = reread.tpl().layers.at(0);
    EXPECT_EQ(saved.bind_col_name, document->csvColumns().at(1));
    EXPECT_EQ(saved.text, "Wang");
    EXPECT_EQ(saved.fontName, layer(0).fontName);
    EXPECT_EQ(saved.fontSize, 72);
    EXPECT_EQ(saved.characterSpacing, 4);
    EXPECT_TRUE(saved.autoShrink);
    EXPECT_EQ(saved.minFontSize, 12);
    EXPECT_EQ(saved.maxLines, 3);
    EXPECT_EQ(saved.htmlColor, "#CC6633");
    EXPECT_EQ((std::vector<int>{saved.tHAlign, saved.tVAlign, saved.x, saved.y, saved.width,
                                saved.height}),
              (std::vector<int>{3, 2, 100, 60, 250, 100}));
}

TEST_F(LayerWindowsTest, FieldsStepFollowTheDrawnRectangleAndTheStatusBar)
{
    installEventFilter();
    window->activateWindow();
    window->execute(CommandId::NewTextLayer);
    drawOnCanvas({100, 50}, {400, 150});
    ASSERT_TRUE(text().isVisible());

    // Up lowers, Down raises, and the layer follows; the status bar shows the new size.
    text().widthField()->setFocus();
    QTest::keyClick(text().widthField(), Qt::Key_Down);
    EXPECT_EQ(layer(0).width, 301);
    EXPECT_EQ(window->statusText(2), "301 x 100 像素");
    type(text().xField(), QString());
    QTest::keyClick(text().xField(), Qt::Key_Up);
    EXPECT_EQ(text().xField()->text(), "0");
    EXPECT_EQ(layer(0).x, 0);
    QTest::keyClick(text().sizeBox()->lineEdit(), Qt::Key_Up);
    EXPECT_EQ(layer(0).fontSize, 25);

    // An emptied spacing field gets the layer's value back; Ctrl+A selects a field's text.
    type(text().spacingField(), QStringLiteral("7"));
    type(text().spacingField(), QString());
    leave(text().spacingField());
    EXPECT_EQ(text().spacingField()->text(), "7");
    text().spacingField()->setFocus();
    QTest::keyClick(text().spacingField(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(text().spacingField(), QStringLiteral("3"));
    EXPECT_EQ(layer(0).characterSpacing, 3);
    // The arrow keys step the spacing from 0: an emptied field becomes 0.
    type(text().spacingField(), QString());
    QTest::keyClick(text().spacingField(), Qt::Key_Up);
    EXPECT_EQ(layer(0).characterSpacing, 0);

    // A second layer drawn while the window is open shows its rectangle live; Esc in the
    // window takes the layer being drawn back.
    window->execute(CommandId::NewTextLayer);
    CanvasView& canvas = *window->canvas();
    const auto send = [&](QEvent::Type type, CardPoint p, Qt::MouseButtons buttons) {
        const QPointF at(canvas.cardOrigin().x() + p.x, canvas.cardOrigin().y() + p.y);
        QMouseEvent event(type, at, canvas.viewport()->mapToGlobal(at), Qt::LeftButton, buttons, {});
        QApplication::sendEvent(canvas.viewport(), &event);
    };
    send(QEvent::MouseButtonPress, {200, 300}, Qt::LeftButton);
    send(QEvent::MouseMove, {150, 340}, Qt::LeftButton);
    EXPECT_EQ(text().xField()->text(), "150");
    EXPECT_EQ(text().widthField()->text(), "50");
    QApplication::setActiveWindow(&text());
    text().demoField()->setFocus();
    QTest::keyClick(text().demoField(), Qt::Key_Escape);
    EXPECT_EQ(document->tpl().layers.size(), 1u);
}

TEST_F(LayerWindowsTest, ALayerAtTheLeftEdgeShowsItsPosition)
{
    // Drawn from the card's left edge, and shown again after another layer was selected.
    window->activateWindow();
    for (const int x : {0, 50}) {
        window->execute(CommandId::NewTextLayer);
        drawOnCanvas({x, 0}, {200, 80});
    }
    for (const int row : {0, 1, 0}) {
        selectOnly(row);
        ASSERT_TRUE(text().isVisible());
        EXPECT_EQ(text().xField()->text(), row == 0 ? "0" : "50");
        EXPECT_EQ(text().yField()->text(), "0");
        EXPECT_EQ(text().widthField()->text(), row == 0 ? "200" : "150");
    }
}

TEST_F(LayerWindowsTest, TabStopsOnFieldsAndEditableListsOnly)
{
    window->activateWindow();
    window->execute(CommandId::NewTextLayer);
    drawOnCanvas({10, 10}, {200, 60});
    ASSERT_TRUE(text().isVisible());
    std::vector<std::string> stops;
    for (QWidget* child : text().findChildren<QWidget*>()) {
        if (child->isVisibleTo(&text()) && (child->focusPolicy() & Qt::TabFocus) &&
            !qobject_cast<QLineEdit*>(child))
            stops.push_back(child->objectName().toStdString());
    }
    std::sort(stops.begin(), stops.end());
    EXPECT_EQ(stops, (std::vector<std::string>{"fontBox", "sizeBox"})) << "besides the fields";
    EXPECT_TRUE(text().xField()->focusPolicy() & Qt::TabFocus);
}

TEST_F(LayerWindowsTest, ANewLayerIsOneUndoStep)
{
    // Added and drawn, twice: two steps, each taking its layer back whole.
    window->activateWindow();
    for (const int x : {10, 300}) {
        window->execute(CommandId::NewTextLayer);
        drawOnCanvas({x, 10}, {x + 100, 60});
    }
    ASSERT_EQ(document->tpl().layers.size(), 2u);
    EXPECT_EQ(document->undoName(), "添加图层");
    window->execute(CommandId::Undo);
    ASSERT_EQ(document->tpl().layers.size(), 1u);
    EXPECT_EQ(layer(0).x, 10);
    window->execute(CommandId::Undo);
    EXPECT_TRUE(document->tpl().layers.empty());
    EXPECT_FALSE(document->canUndo());
}

TEST_F(LayerWindowsTest, FontSizeStepsByOneFromWhatWasTyped)
{
    // Keys go where the user's focus is: typed 30, then Down (raises) and Up (lowers) twice.
    window->activateWindow();
    window->execute(CommandId::NewTextLayer);
    drawOnCanvas({100, 50}, {400, 150});
    ASSERT_TRUE(text().isVisible());
    QApplication::setActiveWindow(&text());
    text().sizeBox()->lineEdit()->setFocus();
    text().sizeBox()->lineEdit()->selectAll();
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClicks(focused, QStringLiteral("30"));
    EXPECT_EQ(layer(0).fontSize, 30);
    for (const auto& [key, size] : {std::pair{Qt::Key_Down, 31}, {Qt::Key_Up, 30}, {Qt::Key_Up, 29}}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(layer(0).fontSize, size);
        EXPECT_EQ(text().sizeBox()->currentText().toInt(), size);
    }
    const std::string path = dir.file("sized.dat");
    ASSERT_TRUE(document->save(path).ok());
    EXPECT_NE(readFile(path).find("\"fontSize\":\t29,"), std::string::npos);
}

TEST_F(LayerWindowsTest, PictureWindowChoosesAndChecksTheDemoPicture)
{
    const std::string bmp = dir.file("photo.bmp");
    const std::string png = dir.file("photo.jpg"); // a PNG under a JPEG name
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(bmp), "BMP"));
    ASSERT_TRUE(image.save(QString::fromStdString(png), "PNG"));

    window->execute(CommandId::NewPictureLayer);
    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 10, 10, 100, 80);
    selectOnly(0);
    ASSERT_TRUE(picture().isVisible());
    EXPECT_FALSE(text().isVisible());

    prompts.answerFile(bmp);
    prompts.answerMessage(PromptAnswer::Ok);
    prompts.answerFile(png);
    picture().chooseButton()->click();
    ASSERT_EQ(prompts.asked().size(), 3u);
    EXPECT_EQ(prompts.asked()[0].caption, "选择一张图片");
    EXPECT_EQ(prompts.asked()[1].caption, "提示");
    EXPECT_EQ(layer(0).filePath, png);
    EXPECT_EQ(picture().pathField()->text().toStdString(), png);
    QApplication::processEvents();
    EXPECT_EQ(window->canvas()->thumbnail(layer(0).id).size(), QSize(40, 30));

    picture().overflowBox()->setCurrentIndex(1);
    EXPECT_EQ(layer(0).overflow_style, OverflowStyle::ScaleToFit);
    picture().levelBox()->setCurrentIndex(1);
    EXPECT_EQ(layer(0).layer_level, LayerLevel::BelowBackground);

    // Another layer and back: the window shows the stored values; a demo picture that is gone
    // is pointed out.
    std::filesystem::remove(png);
    selectOnly(1);
    EXPECT_FALSE(picture().isVisible());
    window->balloons().dismissAll();
    selectOnly(0);
    EXPECT_EQ(picture().overflowBox()->currentText(), "等比例缩放");
    EXPECT_EQ(picture().pathField()->text().toStdString(), png);
    EXPECT_EQ(balloonTitles(), std::vector<std::string>{"图片不存在"});

    // Deleting the layer hides its window.
    window->execute(CommandId::DeleteLayers);
    EXPECT_FALSE(picture().isVisible());
}

TEST_F(LayerWindowsTest, FixedContentEntryMakesTheLayerFixedInOneStep)
{
    const std::vector<WindowCase> cases = pictureAndTextLayers();
    const auto& columns = document->csvColumns();
    QTableWidget& list = *window->layerPanel()->table();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        selectOnly(c.row);
        ASSERT_TRUE(c.window->isVisible());
        QComboBox& box = *c.window->columnBox();
        EXPECT_EQ(box.itemText(0), "(固定内容)");
        EXPECT_EQ(box.currentIndex(), 1); // unbound: the empty entry
        box.setCurrentIndex(3);
        EXPECT_EQ(layer(c.row).bind_col_name, columns.at(1));

        const std::size_t steps = document->history().stepCount();
        box.setCurrentIndex(0);
        EXPECT_TRUE(layer(c.row).isFixed);
        EXPECT_EQ(document->history().stepCount(), steps + 1);
        EXPECT_EQ(list.item(c.row, 5)->text(), c.type + "(固定)");
        // Shown again, the fixed layer's list says so.
        selectOnly(1 - c.row);
        selectOnly(c.row);
        EXPECT_EQ(box.currentText(), "(固定内容)");

        box.setCurrentIndex(2);
        EXPECT_FALSE(layer(c.row).isFixed);
        EXPECT_EQ(layer(c.row).bind_col_name, columns.at(0));
        EXPECT_EQ(list.item(c.row, 5)->text(), c.type);
        window->execute(CommandId::Undo);
        EXPECT_TRUE(layer(c.row).isFixed);
        EXPECT_EQ(box.currentIndex(), 0);
    }
}

TEST_F(LayerWindowsTest, ShowIfRowWritesTheRuleInStepsAndTheListMarksIt)
{
    const std::vector<WindowCase> cases = pictureAndTextLayers();
    const auto& columns = document->csvColumns();
    QTableWidget& list = *window->layerPanel()->table();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        selectOnly(c.row);
        ASSERT_TRUE(c.window->isVisible());
        QComboBox& column = *c.window->showIfColumnBox();
        QComboBox& op = *c.window->showIfOpBox();
        QLineEdit& value = *c.window->showIfValueField();
        EXPECT_EQ(column.itemText(0), "(总是显示)");
        EXPECT_EQ(column.count(), static_cast<int>(columns.size()) + 1);
        EXPECT_EQ(column.currentIndex(), 0);
        EXPECT_FALSE(op.isEnabled());
        EXPECT_EQ(op.itemText(4), "包含");

        column.setCurrentIndex(3);
        op.setCurrentIndex(4);
        type(&value, QStringLiteral("VIP"));
        leave(&value);
        EXPECT_EQ(layer(c.row).showIfColumn, columns.at(2));
        EXPECT_EQ(layer(c.row).showIfOp, ShowIfOp::Contains);
        EXPECT_EQ(layer(c.row).showIfValue, "VIP");
        EXPECT_EQ(document->undoName(), "修改显示条件");
        EXPECT_EQ(list.item(c.row, 5)->text(), c.type + "(条件)");
        op.setCurrentIndex(2); // 为空 compares nothing
        EXPECT_FALSE(value.isEnabled());

        // Each choice is a step and the typing one more.
        window->execute(CommandId::Undo);
        EXPECT_EQ(layer(c.row).showIfOp, ShowIfOp::Contains);
        window->execute(CommandId::Undo);
        EXPECT_EQ(layer(c.row).showIfValue, "");
        window->execute(CommandId::Undo);
        EXPECT_EQ(layer(c.row).showIfOp, ShowIfOp::Equals);
        EXPECT_EQ(layer(c.row).showIfColumn, columns.at(2));
        window->execute(CommandId::Undo);
        EXPECT_TRUE(layer(c.row).showIfColumn.empty());
        EXPECT_EQ(column.currentIndex(), 0);
        EXPECT_EQ(list.item(c.row, 5)->text(), c.type);
    }
}

TEST_F(LayerWindowsTest, RotationRowTurnsTheLayerInOneStepAndTheCanvasShowsIt)
{
    std::vector<WindowCase> cases = pictureAndTextLayers();
    window->execute(CommandId::NewCodeLayer);
    placeLayer(2, 150, 10, 100, 100);
    cases.push_back({2, &code(), QStringLiteral("码")});
    // The picture fits the 100 x 80 layer turned upright; its red corner turns to the top right.
    QImage picture(80, 100, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    for (int i = 0; i < 400; ++i)
        picture.setPixel(i % 20, i / 20, qRgb(255, 0, 0));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("corner.png"))));
    editLayer(0, FieldBinding | FieldDemo | FieldOverflow, [&](Layer& l) {
        l.isFixed = true;
        l.filePath = dir.file("corner.png");
        l.overflow_style = OverflowStyle::FillScale;
    });
    CanvasView& canvas = *window->canvas();
    canvas.setZoom(1.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        selectOnly(c.row);
        auto* box = c.window->findChild<QComboBox*>(QStringLiteral("rotation"));
        ASSERT_TRUE(box);
        EXPECT_EQ(box->itemText(3), "270°");
        // The window grew to keep every row above its button.
        const auto* apply = c.window->findChild<QPushButton*>();
        ASSERT_TRUE(apply);
        EXPECT_LT(c.window->heightField()->geometry().bottom(), apply->geometry().top());

        box->setCurrentIndex(1);
        EXPECT_EQ(layer(c.row).rotation, 90);
        EXPECT_EQ(document->undoName(), "旋转图层");
        if (c.row == 0) {
            QApplication::processEvents();
            const QImage shown = canvas.viewport()->grab().toImage();
            EXPECT_EQ(shown.pixelColor(canvas.cardOrigin() + QPoint(100, 20)), QColor(Qt::red));
            EXPECT_EQ(shown.pixelColor(canvas.cardOrigin() + QPoint(20, 80)), QColor(Qt::blue));
        }
        window->execute(CommandId::Undo);
        EXPECT_EQ(layer(c.row).rotation, 0);
        EXPECT_EQ(box->currentText(), "0°");
    }
}

TEST_F(LayerWindowsTest, PictureFrameFieldsAndCoverEachWriteOneStep)
{
    const std::string png = dir.file("placeholder.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(png), "PNG"));
    window->execute(CommandId::NewPictureLayer);
    placeLayer(0, 10, 10, 100, 80);
    selectOnly(0);
    ASSERT_TRUE(picture().isVisible());
    QMenu* overflowMenu = window->context().layerSubMenu(false);
    ASSERT_NE(overflowMenu, nullptr);
    QAction* cover = overflowMenu->actions().back();
    EXPECT_EQ(cover->text(), "等比例填满");
    EXPECT_TRUE(cover->isCheckable());
    EXPECT_EQ(picture().overflowBox()->itemText(5), "等比例填满");

    const auto field = [this](QLineEdit* edit, const char* keys) {
        return [this, edit, keys] {
            type(edit, QString::fromUtf8(keys));
            leave(edit);
        };
    };
    const struct {
        const char* name;
        std::function<void()> edit;
        std::function<std::string(const Layer&)> value;
        std::string expected;
    } cases[] = {
        {"radius", field(picture().radiusField(), "20"),
         [](const Layer& l) { return std::to_string(l.cornerRadius); }, "20"},
        {"border width", field(picture().borderWidthField(), "4"),
         [](const Layer& l) { return std::to_string(l.borderWidth); }, "4"},
        {"border colour",
         [this] {
             prompts.answerColor(0x3366CC);
             QTest::mouseClick(picture().borderSwatch(), Qt::LeftButton);
         },
         [](const Layer& l) { return l.borderColor; }, "#CC6633"},
        {"placeholder",
         [this, png] {
             prompts.answerFile(png);
             picture().choosePlaceholderButton()->click();
         },
         [](const Layer& l) { return l.placeholderPath; }, png},
        {"clear placeholder", [this] { picture().clearPlaceholderButton()->click(); },
         [](const Layer& l) { return l.placeholderPath; }, ""},
        {"picture folder",
         [this] {
             prompts.answerFile(dir.path().string());
             picture().chooseFolderButton()->click();
         },
         [](const Layer& l) { return l.pictureFolder; }, dir.path().string()},
        {"clear picture folder", [this] { picture().clearFolderButton()->click(); },
         [](const Layer& l) { return l.pictureFolder; }, ""},
        {"cover from the list", [this] { picture().overflowBox()->setCurrentIndex(5); },
         [](const Layer& l) { return std::to_string(static_cast<int>(l.overflow_style)); }, "5"},
        {"shrink from the menu", [this] { window->execute(CommandId::OverflowShrink); },
         [](const Layer& l) { return std::to_string(static_cast<int>(l.overflow_style)); }, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = c.value(layer(0));
        const std::size_t steps = document->history().stepCount();
        c.edit();
        EXPECT_EQ(c.value(layer(0)), c.expected);
        EXPECT_EQ(document->history().stepCount(), steps + 1);
        window->execute(CommandId::Undo);
        EXPECT_EQ(c.value(layer(0)), before);
        window->execute(CommandId::Redo);
        EXPECT_EQ(c.value(layer(0)), c.expected);
    }
    EXPECT_EQ(picture().radiusField()->text(), "20");
    EXPECT_EQ(picture().placeholderField()->text(), "");
    cover->trigger();
    EXPECT_EQ(layer(0).overflow_style, OverflowStyle::Cover);
    EXPECT_EQ(picture().overflowBox()->currentText(), "等比例填满");
}

TEST_F(LayerWindowsTest, ShapeWindowWritesEachChangeAsOneStep)
{
    window->execute(CommandId::NewShapeLayer);
    placeLayer(0, 10, 100, 200, 60);
    selectOnly(0);
    ASSERT_TRUE(shape().isVisible());
    EXPECT_EQ(shape().columnBox(), nullptr); // a shape has no column
    EXPECT_EQ(window->layerPanel()->table()->item(0, 5)->text(), "形");
    const auto typed = [this](QLineEdit* field, const char* text) {
        type(field, QString::fromLatin1(text));
        leave(field);
    };
    const struct {
        std::function<void()> edit;
        std::string expected; // kind, fill, border, radius, opacity, level
        const char* step;
    } cases[] = {
        {[this] {
             prompts.answerColor(0x0000FF);
             QTest::mouseClick(shape().fillSwatch(), Qt::LeftButton);
         },
         "0 #FF0000 0 0 100 0", "修改颜色"},
        {[this] { shape().noFillBox()->click(); }, "0  0 0 100 0", "修改颜色"},
        {[&] { typed(shape().borderWidthField(), "12"); }, "0  12 0 100 0", "修改图片边框"},
        {[&] { typed(shape().radiusField(), "30"); }, "0  12 30 100 0", "修改图片边框"},
        {[&] { typed(shape().opacityField(), "40"); }, "0  12 30 40 0", "修改形状"},
        {[this] { shape().kindBox()->setCurrentIndex(1); }, "1  12 30 40 0", "修改形状"},
        {[this] { shape().levelBox()->setCurrentIndex(1); }, "1  12 30 40 1", "修改图层层级"},
    };
    const auto fields = [this] {
        const Layer& l = layer(0);
        return std::to_string(static_cast<int>(l.shapeKind)) + " " + l.htmlColor + " " +
               std::to_string(l.borderWidth) + " " + std::to_string(l.cornerRadius) + " " +
               std::to_string(l.opacity) + " " + std::to_string(static_cast<int>(l.layer_level));
    };
    for (const auto& c : cases) {
        const std::string before = fields();
        c.edit();
        EXPECT_EQ(fields(), c.expected);
        EXPECT_EQ(document->undoName(), c.step);
        window->execute(CommandId::Undo);
        EXPECT_EQ(fields(), before) << c.expected;
        window->execute(CommandId::Redo);
    }
    // The radius is a rectangle's; the swatch waits for "无".
    EXPECT_FALSE(shape().radiusField()->isEnabled());
    EXPECT_FALSE(shape().fillSwatch()->isEnabled());
}

TEST_F(LayerWindowsTest, CodeWindowWritesEachChangeAsOneStep)
{
    ASSERT_TRUE(
        document->setCsvFile(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/staff.csv"));
    window->execute(CommandId::NewTextLayer);
    window->execute(CommandId::NewCodeLayer);
    placeLayer(0, 10, 10, 100, 40);
    placeLayer(1, 10, 100, 160, 160);
    selectOnly(1);
    ASSERT_TRUE(code().isVisible());
    EXPECT_FALSE(text().isVisible());
    EXPECT_EQ(code().demoField()->text(), "A0001");
    EXPECT_EQ(code().typeBox()->count(), 10);
    EXPECT_EQ(code().typeBox()->currentText(), "QR");
    EXPECT_EQ(code().errorLevelBox()->currentText(), "M");
    EXPECT_FALSE(code().showTextBox()->isEnabled()); // no text under a QR code

    const auto fields = [](const Layer& l) {
        return l.text + "|" + l.codeType + "|" + l.codeErrorLevel + "|" +
               std::to_string(l.codeShowText) + "|" + l.htmlColor + "|" + l.codeBackground + "|" +
               std::to_string(l.pHAlign) + std::to_string(l.pVAlign) + "|" + l.bind_col_name +
               std::to_string(l.isFixed);
    };
    const struct {
        const char* name;
        std::function<void()> edit;
        std::string expected;
    } cases[] = {
        {"demo value",
         [this] {
             type(code().demoField(), QStringLiteral("B7"));
             leave(code().demoField());
         },
         "B7|QR|M|0|#000000|#FFFFFF|11|0"},
        {"error level", [this] { code().errorLevelBox()->setCurrentIndex(3); },
         "B7|QR|H|0|#000000|#FFFFFF|11|0"},
        {"code type", [this] { code().typeBox()->setCurrentIndex(4); },
         "B7|Code128|H|0|#000000|#FFFFFF|11|0"},
        {"text under the bars", [this] { code().showTextBox()->click(); },
         "B7|Code128|H|1|#000000|#FFFFFF|11|0"},
        {"bars colour",
         [this] {
             prompts.answerColor(0x3366CC);
             QTest::mouseClick(code().colorSwatch(), Qt::LeftButton);
         },
         "B7|Code128|H|1|#CC6633|#FFFFFF|11|0"},
        {"background colour",
         [this] {
             prompts.answerColor(0x00FFFF);
             QTest::mouseClick(code().backgroundSwatch(), Qt::LeftButton);
         },
         "B7|Code128|H|1|#CC6633|#FFFF00|11|0"},
        {"no background", [this] { code().noBackgroundBox()->click(); },
         "B7|Code128|H|1|#CC6633||11|0"},
        {"horizontal", [this] { code().horizontalBox()->setCurrentIndex(2); },
         "B7|Code128|H|1|#CC6633||21|0"},
        {"vertical", [this] { code().verticalBox()->setCurrentIndex(0); },
         "B7|Code128|H|1|#CC6633||20|0"},
        {"column", [this] { code().columnBox()->setCurrentIndex(2); },
         "B7|Code128|H|1|#CC6633||20|" + document->csvColumns().at(0) + "0"},
        {"fixed", [this] { code().columnBox()->setCurrentIndex(0); },
         "B7|Code128|H|1|#CC6633||20|" + document->csvColumns().at(0) + "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = fields(layer(1));
        const std::size_t steps = document->history().stepCount();
        c.edit();
        EXPECT_EQ(fields(layer(1)), c.expected);
        EXPECT_EQ(document->history().stepCount(), steps + 1);
        window->execute(CommandId::Undo);
        EXPECT_EQ(fields(layer(1)), before);
        window->execute(CommandId::Redo);
        EXPECT_EQ(fields(layer(1)), c.expected);
    }
    // The controls follow the layer: only QR takes an error level, the swatch waits for "无".
    EXPECT_FALSE(code().errorLevelBox()->isEnabled());
    EXPECT_TRUE(code().showTextBox()->isEnabled());
    EXPECT_FALSE(code().backgroundSwatch()->isEnabled());
    EXPECT_EQ(document->undoName(), "修改绑定列");
    window->execute(CommandId::Undo);
    window->execute(CommandId::Undo);
    window->execute(CommandId::Undo);
    window->execute(CommandId::Undo);
    EXPECT_EQ(document->undoName(), "修改条码");
    EXPECT_TRUE(code().noBackgroundBox()->isChecked());
    window->execute(CommandId::Undo);
    EXPECT_FALSE(code().noBackgroundBox()->isChecked());
    EXPECT_TRUE(code().backgroundSwatch()->isEnabled());
    EXPECT_EQ(window->openLayerWindow(), &code());

    // A value the symbology cannot take, or a code the layer cannot hold, is pointed out at
    // once (each key closes the balloon of the value before).
    installEventFilter();
    window->balloons().dismissAll();
    code().typeBox()->setCurrentIndex(6); // EAN13
    EXPECT_EQ(balloonTitles(), std::vector<std::string>{"演示内容无法生成EAN13"});
    type(code().demoField(), QStringLiteral("690123456789"));
    EXPECT_EQ(balloonTitles(), std::vector<std::string>{"图层太小，放不下条码"});
    placeLayer(1, 10, 100, 400, 160);
    type(code().demoField(), QStringLiteral("6901234567892"));
    EXPECT_EQ(balloonTitles(), std::vector<std::string>{});
}

} // namespace
} // namespace torvale::test

namespace torvale::test {
namespace {

// A field described by the field table alone gets its row in its window (the file, undo and
// canvas side: LayerFields.AFieldAddedToTheTableReachesFileUndoAndThumbnail).
TEST_F(LayerWindowsTest, AFieldOfTheTableGetsItsControl)
{
    const std::vector<LayerFieldInfo> table = underlineFieldTable();
    const ScopedLayerFields scoped(table);
    TextLayerWindow underlined(window->context(), &*window);

    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 10, 10, 200, 50);
    underlined.showLayer(layer(0).id);
    QCheckBox* box = nullptr;
    for (QCheckBox* check : underlined.findChildren<QCheckBox*>()) {
        if (check->text() == QStringLiteral("下划线"))
            box = check;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_EQ(layer(0).isUnderline, 1);
    EXPECT_EQ(document->undoName(), "修改下划线");
    window->execute(CommandId::Undo);
    EXPECT_EQ(layer(0).isUnderline, 0);
    EXPECT_FALSE(box->isChecked()) << "the row follows the layer";
}

// "竖排" is one undo step, and the canvas shows the text in a column.
TEST_F(LayerWindowsTest, TheVerticalBoxIsOneStepAndTheCanvasShowsTheColumn)
{
    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 10, 10, 60, 200);
    editLayer(0, FieldDemo | FieldFont, [](Layer& l) {
        l.text = "员工证";
        l.fontName = kInstalledCjkFamily;
    });
    text().showLayer(layer(0).id);
    const auto inkSize = [this] {
        QApplication::processEvents();
        const QImage shown = window->canvas()->thumbnail(layer(0).id);
        QRect ink;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                if (qAlpha(shown.pixel(x, y)) > 96)
                    ink |= QRect(x, y, 1, 1);
            }
        }
        return ink.size();
    };
    const QSize across = inkSize();
    ASSERT_FALSE(text().verticalWritingBox()->isChecked());
    text().verticalWritingBox()->click();
    EXPECT_TRUE(layer(0).isVertical);
    EXPECT_EQ(document->undoName(), "修改字体");
    const QSize down = inkSize();
    EXPECT_GT(down.height(), 2 * down.width());
    EXPECT_GT(across.width(), down.width()); // clipped by the layer's width before
    window->execute(CommandId::Undo);
    EXPECT_FALSE(layer(0).isVertical);
    EXPECT_FALSE(text().verticalWritingBox()->isChecked());
    EXPECT_EQ(inkSize(), across);
}

TEST_F(LayerWindowsTest, AFontMappedNowIsOfferedAndItsRemovalFallsBackToTheFirstFont)
{
    const std::filesystem::path font = dir.path() / "mapped.ttf";
    if (!copyInstalledCjkFont(font))
        GTEST_SKIP() << "no CJK font file to copy";
    window->execute(CommandId::NewTextLayer);
    placeLayer(0, 10, 10, 200, 50);
    text().showLayer(layer(0).id);
    ASSERT_TRUE(window->context().addFontMapping("映射字体", font.string()));
    EXPECT_EQ(text().fontBox()->itemText(0), "映射字体");
    text().fontBox()->setCurrentIndex(0);
    EXPECT_EQ(layer(0).fontName, "映射字体");

    window->context().removeFontMapping("映射字体");
    EXPECT_EQ(text().fontBox()->findText(QStringLiteral("映射字体")), -1);
    EXPECT_EQ(layer(0).fontName, text().fontBox()->itemText(0).toStdString());
}

} // namespace
} // namespace torvale::test
