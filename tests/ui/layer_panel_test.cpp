#include "ui/canvas/canvas_view.h"
#include "ui/panels/layer_panel.h"
#include "ui/panels/layer_panel_layout.h"
#include "ui/ui_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTableWidget>
#include <QTest>

namespace torvale::test {
namespace {

class LayerPanelTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        subscription = state().subscribe(
            [this](const SelectionEffects& effects) { lastEffects = effects; });
    }

    void TearDown() override
    {
        subscription.reset();
        UiTest::TearDown();
    }

    LayerPanel& panel() { return *window->layerPanel(); }
    QTableWidget& list() { return *panel().table(); }
    const std::vector<Layer>& layers() { return document->tpl().layers; }
    EditorState& state() { return window->state(); }

    /// Text layers named "L1", "L2", ... by their demo text.
    void addTextLayers(int count)
    {
        for (int i = 0; i < count; ++i) {
            window->execute(CommandId::NewTextLayer);
            editLayer(layers().size() - 1, FieldDemo,
                      [this](Layer& layer) { layer.text = "L" + std::to_string(layers().size()); });
        }
    }

    void selectOnly(std::initializer_list<int> rows)
    {
        list().clearSelection();
        for (int row : rows)
            panel().selectRow(row);
    }

    QPoint cellCentre(int row, int column)
    {
        return list().visualRect(list().model()->index(row, column)).center();
    }

    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(list().viewport(), Qt::LeftButton, modifiers, cellCentre(row, 0));
    }

    QStringList column(int index)
    {
        QStringList texts;
        for (int row = 0; row < list().rowCount(); ++row)
            texts << list().item(row, index)->text();
        return texts;
    }

    /// A double click as the window system delivers it: press, release, double click, release.
    void doubleClick(int row, int column)
    {
        const QPoint position = cellCentre(row, column);
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, position);
        QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, position);
        QTest::mouseRelease(list().viewport(), Qt::LeftButton, {}, position);
    }

    static QAction* action(QMenu& menu, CommandId id)
    {
        for (QAction* item : menu.actions()) {
            if (QMenu* sub = item->menu()) {
                if (QAction* found = action(*sub, id))
                    return found;
            } else if (item->data().toInt() == static_cast<int>(id)) {
                return item;
            }
        }
        return nullptr;
    }

    static QAction* subMenu(QMenu& menu, const QString& title)
    {
        for (QAction* item : menu.actions()) {
            if (item->menu() && item->text() == title)
                return item;
        }
        return nullptr;
    }

    /// Opens the layer menu with a right click on a row, as the user does.
    QMenu& rightClick(int row)
    {
        const QPoint position = cellCentre(row, 0);
        QTest::mouseClick(list().viewport(), Qt::RightButton, {}, position);
        QContextMenuEvent event(QContextMenuEvent::Mouse, position,
                                list().viewport()->mapToGlobal(position));
        QApplication::sendEvent(list().viewport(), &event);
        QMenu& menu = *panel().layerMenu();
        EXPECT_TRUE(menu.isVisible());
        menu.hide();
        return menu;
    }

    std::optional<SelectionEffects> lastEffects;
    Subscription subscription;
};

TEST_F(LayerPanelTest, BuildsTheListWithItsColumnsAndSwitches)
{
    EXPECT_EQ(panel().title(), QString(14, QChar(0x3000)));
    EXPECT_EQ(panel().width(), 400);
    EXPECT_EQ(list().objectName(), "layerList");
    EXPECT_EQ(list().geometry().topLeft(), QPoint(10, 24));
    QStringList headers;
    for (int i = 0; i < list().columnCount(); ++i)
        headers << list().horizontalHeaderItem(i)->text();
    EXPECT_EQ(headers, (QStringList{"编号", "x", "y", "宽", "高", "类型"}));
    EXPECT_TRUE(panel().showSelectAreaBox()->isChecked());
    EXPECT_TRUE(panel().showPictureBox()->isChecked());
}

TEST_F(LayerPanelTest, NewLayerIsPlacedAndLeavesStatusPart2Alone)
{
    window->setStatusText(2, "7 x 7 像素");
    window->execute(CommandId::NewPictureLayer);
    ASSERT_EQ(layers().size(), 1u);
    EXPECT_EQ(state().mode, CanvasMode::PlacingLayer);
    EXPECT_EQ(currentLayerRow(), 0u);
    EXPECT_TRUE(isMarked(0));
    EXPECT_EQ(window->statusText(2), "7 x 7 像素");
    EXPECT_EQ(lastEffects->propertyWindow, PropertyWindow::Picture);
    EXPECT_EQ(column(1), QStringList{""});
    EXPECT_EQ(column(5), QStringList{"图"});

    // With a rectangle the size shows in status part 2.
    placeLayer(0, 5, 6, 70, 30);
    panel().selectRow(0);
    EXPECT_EQ(state().mode, CanvasMode::LayerSelected);
    EXPECT_EQ(window->statusText(2), "70 x 30 像素");
    EXPECT_EQ(column(3), QStringList{"70"});
}

TEST_F(LayerPanelTest, CtrlClicksMultiSelectAndDeselectDownToIdle)
{
    addTextLayers(3);
    click(0);
    EXPECT_EQ(currentLayerRow(), 0u);
    click(1, Qt::ControlModifier);
    EXPECT_EQ(state().mode, CanvasMode::MultiSelected);
    EXPECT_EQ(state().currentKind(), CurrentKind::None);
    EXPECT_EQ(lastEffects->propertyWindow, PropertyWindow::Hidden);
    EXPECT_TRUE(isMarked(0) && isMarked(1) && !isMarked(2));

    window->canvas()->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(panel().isRowHighlighted(0));
    EXPECT_TRUE(panel().isRowHighlighted(1));
    EXPECT_FALSE(panel().isRowHighlighted(2));

    click(0, Qt::ControlModifier);
    EXPECT_EQ(state().mode, CanvasMode::PlacingLayer);
    EXPECT_EQ(currentLayerRow(), 1u);
    EXPECT_TRUE(panel().isRowHighlighted(1));
    EXPECT_FALSE(panel().isRowHighlighted(0));
    click(1, Qt::ControlModifier);
    EXPECT_EQ(state().mode, CanvasMode::Idle);
    EXPECT_FALSE(isMarked(0) || isMarked(1) || isMarked(2));

    QTest::keyClick(&list(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(panel().selectedRows().size(), 3u);
    EXPECT_EQ(state().mode, CanvasMode::MultiSelected);
}

TEST_F(LayerPanelTest, RightClickMenuFollowsTheSelection)
{
    addTextLayers(2);
    list().clearSelection();
    QMenu& menu = rightClick(0);
    // The right click itself selected row 0.
    EXPECT_TRUE(action(menu, CommandId::InsertTextLayer)->isEnabled());
    EXPECT_TRUE(action(menu, CommandId::NewTextLayer)->isEnabled());
    EXPECT_FALSE(subMenu(menu, "层次")->isEnabled());
    EXPECT_FALSE(subMenu(menu, "溢出样式")->isEnabled());

    list().clearSelection();
    panel().prepareLayerMenu(menu);
    for (CommandId id :
         {CommandId::InsertTextLayer, CommandId::InsertPictureLayer, CommandId::InsertCodeLayer,
          CommandId::CopyLayers, CommandId::DeleteLayers})
        EXPECT_FALSE(action(menu, id)->isEnabled());
    EXPECT_TRUE(action(menu, CommandId::NewPictureLayer)->isEnabled());

    window->execute(CommandId::NewPictureLayer);
    window->execute(CommandId::OverflowScale);
    EXPECT_EQ(layers()[2].overflow_style, OverflowStyle::ScaleToFit);
    EXPECT_EQ(layers()[0].overflow_style, OverflowStyle::FillScale); // not marked
    rightClick(2);
    EXPECT_TRUE(subMenu(menu, "溢出样式")->isEnabled());
    EXPECT_TRUE(action(menu, CommandId::OverflowScale)->isChecked());
    EXPECT_FALSE(action(menu, CommandId::OverflowFill)->isChecked());
}

TEST_F(LayerPanelTest, LevelIsCheckedOnlyWhenAllMarkedLayersAgree)
{
    window->execute(CommandId::NewPictureLayer);
    window->execute(CommandId::NewPictureLayer);
    editLayer(1, FieldLevel, [](Layer& layer) { layer.layer_level = LayerLevel::BelowBackground; });
    window->execute(CommandId::SelectAllLayers);
    QMenu& menu = *panel().layerMenu();
    panel().prepareLayerMenu(menu);
    EXPECT_TRUE(subMenu(menu, "层次")->isEnabled());
    EXPECT_FALSE(action(menu, CommandId::LevelAbove)->isChecked());
    EXPECT_FALSE(action(menu, CommandId::LevelBelow)->isChecked());

    action(menu, CommandId::LevelBelow)->trigger();
    EXPECT_EQ(layers()[0].layer_level, LayerLevel::BelowBackground);
    panel().prepareLayerMenu(menu);
    EXPECT_TRUE(action(menu, CommandId::LevelBelow)->isChecked());
}

TEST_F(LayerPanelTest, HidingPicturesChecksAndLocksShowSelectArea)
{
    QCheckBox& selectArea = *panel().showSelectAreaBox();
    QCheckBox& picture = *panel().showPictureBox();
    selectArea.click();
    EXPECT_FALSE(document->tpl().pictures_show_select_area);
    picture.click();
    EXPECT_FALSE(document->tpl().pictures_show_picture);
    EXPECT_TRUE(selectArea.isChecked());
    EXPECT_FALSE(selectArea.isEnabled());
    EXPECT_TRUE(document->tpl().pictures_show_select_area);
    picture.click();
    EXPECT_TRUE(selectArea.isChecked());
    EXPECT_TRUE(selectArea.isEnabled());
}

TEST_F(LayerPanelTest, DeletingRenumbersAndSelectsTheNextLayer)
{
    addTextLayers(5);
    selectOnly({1, 3});
    window->execute(CommandId::DeleteLayers);
    ASSERT_EQ(layers().size(), 3u);
    EXPECT_EQ(column(0), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(layers()[1].number, 2);
    EXPECT_EQ(layers()[1].text, "L3");
    EXPECT_EQ(panel().currentRow(), 1);
    EXPECT_EQ(currentLayerRow(), 1u);
    EXPECT_EQ(state().mode, CanvasMode::PlacingLayer);

    // Deleting the last row selects the one before it.
    selectOnly({2});
    window->execute(CommandId::DeleteLayers);
    EXPECT_EQ(panel().currentRow(), 1);
}

TEST_F(LayerPanelTest, DeletingTheLastLayerLeavesTheCanvasIdle)
{
    addTextLayers(1);
    placeLayer(0, 0, 0, 10, 10);
    panel().selectRow(0);
    EXPECT_EQ(window->statusText(2), "10 x 10 像素");
    window->execute(CommandId::DeleteLayers);
    EXPECT_TRUE(layers().empty());
    EXPECT_EQ(list().rowCount(), 0);
    EXPECT_EQ(state().mode, CanvasMode::Idle);
    EXPECT_EQ(state().currentKind(), CurrentKind::None);
    EXPECT_EQ(window->statusText(2), "");
    EXPECT_EQ(lastEffects->propertyWindow, PropertyWindow::Hidden);

    // Nothing selected: nothing happens.
    window->execute(CommandId::DeleteLayers);
    EXPECT_EQ(state().mode, CanvasMode::Idle);
}

TEST_F(LayerPanelTest, CopiesAreAppendedAndSelected)
{
    addTextLayers(3);
    selectOnly({0, 2});
    window->execute(CommandId::CopyLayers);
    ASSERT_EQ(layers().size(), 5u);
    EXPECT_EQ(layers()[3].number, 4);
    EXPECT_EQ(layers()[4].number, 5);
    EXPECT_EQ(layers()[3].text, "L1");
    EXPECT_EQ(layers()[4].text, "L3");
    EXPECT_EQ(panel().selectedRows(), (std::vector<std::size_t>{3, 4}));
    std::vector<bool> marked;
    for (std::size_t row = 0; row < layers().size(); ++row)
        marked.push_back(isMarked(row));
    EXPECT_EQ(marked, (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(state().mode, CanvasMode::MultiSelected);
}

TEST_F(LayerPanelTest, InsertingTakesTheCurrentRowsPlace)
{
    addTextLayers(3);
    selectOnly({1});
    window->execute(CommandId::InsertPictureLayer);
    ASSERT_EQ(layers().size(), 4u);
    EXPECT_EQ(layers()[1].type, LayerType::Picture);
    EXPECT_EQ(layers()[2].text, "L2");
    EXPECT_EQ(layers()[3].text, "L3");
    EXPECT_EQ(column(0), (QStringList{"1", "2", "3", "4"}));
    EXPECT_EQ(column(5), (QStringList{"字", "图", "字", "字"}));
    EXPECT_EQ(panel().selectedRows(), std::vector<std::size_t>{1});
    EXPECT_EQ(state().mode, CanvasMode::PlacingLayer);

    list().clearSelection();
    window->execute(CommandId::InsertTextLayer);
    EXPECT_EQ(layers().size(), 4u);
}

TEST_F(LayerPanelTest, TypeMenuOnTheTypeCellChangesTheLayerType)
{
    addTextLayers(2);
    doubleClick(0, 2);
    QMenu& menu = *panel().layerTypeMenu();
    EXPECT_FALSE(menu.isVisible());

    doubleClick(0, 5);
    ASSERT_TRUE(menu.isVisible());
    const QRect cell = list().visualRect(list().model()->index(0, 5));
    // Just below the cell (the small offscreen screen may push it left).
    EXPECT_EQ(menu.pos().y(), list().viewport()->mapToGlobal(cell.bottomLeft()).y() + 1);
    EXPECT_TRUE(action(menu, CommandId::LayerTypeText)->isChecked());
    EXPECT_FALSE(action(menu, CommandId::LayerTypePicture)->isChecked());
    action(menu, CommandId::LayerTypePicture)->trigger();
    menu.hide();
    EXPECT_EQ(layers()[0].type, LayerType::Picture);
    EXPECT_EQ(list().item(0, 5)->text(), "图");
    EXPECT_EQ(lastEffects->propertyWindow, PropertyWindow::Picture);
}

TEST_F(LayerPanelTest, CodeLayersComeFromTheLayerMenuAndKeepTheirType)
{
    addTextLayers(2);
    selectOnly({1});
    QMenu& menu = *panel().layerMenu();
    const auto item = [&](const char* text) {
        for (QAction* a : menu.actions()) {
            if (a->text() == QString::fromUtf8(text))
                return a;
        }
        return static_cast<QAction*>(nullptr);
    };
    ASSERT_NE(item("新建 \t码"), nullptr);
    ASSERT_NE(item("插入 \t码"), nullptr);
    item("插入 \t码")->trigger();
    item("新建 \t码")->trigger();
    ASSERT_EQ(layers().size(), 4u);
    EXPECT_EQ(layers()[1].type, LayerType::Code);
    EXPECT_EQ(layers()[3].type, LayerType::Code);
    EXPECT_EQ(layers()[3].text, "A0001");
    EXPECT_EQ(layers()[3].htmlColor, "#000000");
    EXPECT_EQ(column(5), (QStringList{"字", "码", "字", "码"}));
    editLayer(3, FieldBinding, [](Layer& layer) { layer.isFixed = true; });
    EXPECT_EQ(list().item(3, 5)->text(), "码(固定)");

    // The type cell offers no switch for a code layer, and the type commands leave it alone.
    doubleClick(1, 5);
    EXPECT_FALSE(panel().layerTypeMenu()->isVisible());
    window->execute(CommandId::LayerTypePicture);
    window->execute(CommandId::LayerTypeText);
    EXPECT_EQ(layers()[1].type, LayerType::Code);
    EXPECT_EQ(lastEffects->propertyWindow, PropertyWindow::Code);
}

TEST(LayerPanelLayout, HeightsFollowTheMaximisedWindowHeight)
{
    const struct {
        int height, panel, list;
    } cases[] = {{700, 134, 95},  {825, 134, 95},  {826, 156, 117}, {847, 156, 117},
                 {848, 178, 139}, {869, 178, 139}, {870, 200, 161}, {900, 230, 191},
                 {914, 244, 205}, {915, 222, 183}, {936, 222, 183}, {937, 244, 205},
                 {958, 244, 205}, {959, 266, 227}, {1400, 266, 227}};
    for (const auto& c : cases) {
        const LayerPanelHeights heights = layerPanelHeights(c.height);
        EXPECT_EQ(heights.panel, c.panel) << c.height;
        EXPECT_EQ(heights.list, c.list) << c.height;
    }
}

TEST(LayerPanelLayout, WideScrollBarsNarrowEveryColumn)
{
    EXPECT_EQ(layerColumnWidth(60, 17), 60);
    EXPECT_EQ(layerColumnWidth(60, 18), 59); // ceil(60 / 353) = 1
    EXPECT_EQ(layerColumnWidth(53, 23), 52); // ceil(318 / 353) = 1
    EXPECT_EQ(layerColumnWidth(60, 24), 58); // ceil(420 / 353) = 2
}

} // namespace
} // namespace torvale::test
