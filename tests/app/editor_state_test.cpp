#include "app/editor_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

Layer textLayer(bool withRect = true)
{
    Layer layer = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    if (withRect) {
        layer.x = 10;
        layer.y = 20;
        layer.width = 120;
        layer.height = 40;
    }
    return layer;
}

Layer pictureLayer(LayerLevel level = LayerLevel::AboveBackground,
                   OverflowStyle style = OverflowStyle::FillScale)
{
    Layer layer = textLayer();
    layer.type = LayerType::Picture;
    layer.layer_level = level;
    layer.overflow_style = style;
    return layer;
}

// Layer ids in these tests are the list position + 1.
std::vector<Layer> named(std::vector<Layer> layers)
{
    for (std::size_t i = 0; i < layers.size(); ++i)
        layers[i].id = static_cast<std::uint32_t>(i + 1);
    return layers;
}

void mark(EditorState& state, std::initializer_list<std::uint32_t> rows)
{
    for (std::uint32_t row : rows)
        state.mark(row + 1, true);
}

std::vector<bool> markedFlags(const EditorState& state, const std::vector<Layer>& layers)
{
    std::vector<bool> flags;
    for (const Layer& layer : layers)
        flags.push_back(state.isMarked(layer.id));
    return flags;
}

TEST(LayerSelection, OneRowMakesItsLayerCurrentAndTheOnlyMarkedOne)
{
    EditorState state;
    const std::vector<Layer> layers = named({textLayer(), pictureLayer(), textLayer(false)});
    mark(state, {0});

    SelectionEffects effects = applyLayerSelectionChange(state, layers, {1}, {1, false, true});
    EXPECT_FALSE(effects.ignored);
    EXPECT_EQ(state.mode, CanvasMode::LayerSelected);
    EXPECT_EQ(state.currentKind(), CurrentKind::Layer);
    EXPECT_EQ(state.currentLayer(), 2u);
    EXPECT_EQ(markedFlags(state, layers), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(effects.statusPart2, "120 x 40 像素");
    EXPECT_EQ(effects.propertyWindow, PropertyWindow::Picture);
    EXPECT_EQ(effects.scrollCanvasToLayer, 2u);
    EXPECT_TRUE(effects.repaintCanvas);

    // A layer without a rectangle is being placed; status part 2 keeps its text.
    effects = applyLayerSelectionChange(state, layers, {2}, {2, false, true});
    EXPECT_EQ(state.mode, CanvasMode::PlacingLayer);
    EXPECT_FALSE(effects.statusPart2.has_value());
    EXPECT_FALSE(effects.scrollCanvasToLayer.has_value());
    EXPECT_EQ(effects.propertyWindow, PropertyWindow::Text);
}

TEST(LayerSelection, DeselectingDownToOneRowDoesNotScrollTheCanvas)
{
    EditorState state;
    const std::vector<Layer> layers = named({textLayer(), textLayer()});
    const SelectionEffects effects =
        applyLayerSelectionChange(state, layers, {0}, {1, true, false});
    EXPECT_EQ(state.mode, CanvasMode::LayerSelected);
    EXPECT_EQ(state.currentLayer(), 1u);
    EXPECT_FALSE(effects.scrollCanvasToLayer.has_value());
}

TEST(LayerSelection, SeveralRowsMarkFollowingTheChangedRow)
{
    EditorState state;
    state.drag = DragKind::MoveLayer;
    const std::vector<Layer> layers = named({textLayer(), textLayer(), textLayer()});
    mark(state, {0});

    SelectionEffects effects = applyLayerSelectionChange(state, layers, {0, 2}, {2, false, true});
    EXPECT_EQ(state.mode, CanvasMode::MultiSelected);
    EXPECT_EQ(state.drag, DragKind::None);
    EXPECT_EQ(state.currentKind(), CurrentKind::None);
    EXPECT_FALSE(state.currentLayer().has_value());
    EXPECT_EQ(markedFlags(state, layers), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(effects.statusPart2, "");
    EXPECT_TRUE(effects.dismissBalloons);
    EXPECT_EQ(effects.propertyWindow, PropertyWindow::Hidden);

    mark(state, {1});
    applyLayerSelectionChange(state, layers, {0, 2}, {1, true, false});
    EXPECT_EQ(markedFlags(state, layers), (std::vector<bool>{true, false, true}));
}

TEST(LayerSelection, NoRowLeavesNothingMarkedAndIdle)
{
    EditorState state;
    state.mode = CanvasMode::MultiSelected;
    const std::vector<Layer> layers = named({textLayer(), textLayer()});
    mark(state, {0, 1});
    const SelectionEffects effects = applyLayerSelectionChange(state, layers, {}, {1, true, false});
    EXPECT_EQ(state.mode, CanvasMode::Idle);
    EXPECT_EQ(state.currentKind(), CurrentKind::None);
    EXPECT_EQ(markedFlags(state, layers), (std::vector<bool>{false, false}));
    EXPECT_EQ(effects.statusPart2, "");
    EXPECT_TRUE(effects.dismissBalloons);
    EXPECT_EQ(effects.propertyWindow, PropertyWindow::Hidden);
}

TEST(LayerSelection, IgnoredWhileBandDraggingOrWithoutAStateChange)
{
    struct Case {
        const char* name;
        CanvasMode mode;
        RowSelectionChange change;
    };
    const Case cases[] = {
        {"band", CanvasMode::BandDragging, {0, false, true}},
        {"unchanged", CanvasMode::Idle, {0, true, true}},
    };
    for (const Case& c : cases) {
        EditorState state;
        state.mode = c.mode;
        const std::vector<Layer> layers = named({textLayer()});
        EXPECT_TRUE(applyLayerSelectionChange(state, layers, {0}, c.change).ignored) << c.name;
        EXPECT_EQ(state.mode, c.mode) << c.name;
        EXPECT_TRUE(state.marked().empty()) << c.name;
    }
}

TEST(LayerSelection, ChangesReportedTogetherEndInTheFinalSelection)
{
    // A click on row 2 while rows 0 and 1 were selected.
    EditorState state;
    state.mode = CanvasMode::MultiSelected;
    const std::vector<Layer> layers = named({textLayer(), textLayer(), pictureLayer()});
    mark(state, {0, 1});
    const SelectionEffects effects = applyLayerSelectionChanges(
        state, layers, {2}, {{0, true, false}, {1, true, false}, {2, false, true}});
    EXPECT_EQ(state.mode, CanvasMode::LayerSelected);
    EXPECT_EQ(state.currentLayer(), 3u);
    EXPECT_EQ(markedFlags(state, layers), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(effects.propertyWindow, PropertyWindow::Picture);
    EXPECT_EQ(effects.scrollCanvasToLayer, 3u);
}

TEST(LayerSelection, SelectingRowsReportsEveryRowAndAnnouncesOnce)
{
    EditorState state;
    std::vector<SelectionEffects> told;
    const Subscription subscription =
        state.subscribe([&](const SelectionEffects& effects) { told.push_back(effects); });
    const std::vector<Layer> layers = named({textLayer(), textLayer(), pictureLayer()});

    selectLayerRows(state, layers, {0, 2});
    EXPECT_EQ(state.mode, CanvasMode::MultiSelected);
    EXPECT_EQ(markedFlags(state, layers), (std::vector<bool>{true, false, true}));
    ASSERT_EQ(told.size(), 1u);

    // The current row selected again repeats its effects (the property window comes back).
    selectLayerRows(state, layers, {2});
    selectLayerRows(state, layers, {2});
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[2].propertyWindow, PropertyWindow::Picture);
    EXPECT_EQ(state.currentLayer(), 3u);

    // Rows past the end are not selected; nothing left clears the selection.
    selectLayerRows(state, layers, {7});
    EXPECT_EQ(state.mode, CanvasMode::Idle);
    EXPECT_TRUE(state.marked().empty());
    EXPECT_EQ(told.back().propertyWindow, PropertyWindow::Hidden);
}

TEST(LayerMenu, EnabledStateAndChecksFollowTheSelection)
{
    using L = LayerLevel;
    using O = OverflowStyle;
    struct Case {
        const char* name;
        std::vector<Layer> layers;
        std::vector<std::size_t> selected; // marked too
        LayerMenuState expected;
    };
    // A code or shape has a level but no overflow style.
    Layer code = pictureLayer(L::BelowBackground);
    code.type = LayerType::Code;
    Layer shape = pictureLayer(L::BelowBackground);
    shape.type = LayerType::Shape;
    const Case cases[] = {
        {"no rows", {}, {}, {false, false, false, {}, {}}},
        {"no selection", {pictureLayer()}, {}, {false, false, false, {}, {}}},
        {"text only", {textLayer(), textLayer()}, {0, 1}, {true, false, false, {}, {}}},
        {"one picture",
         {textLayer(), pictureLayer(L::BelowBackground, O::ScaleToFit)},
         {1},
         {true, true, true, L::BelowBackground, O::ScaleToFit}},
        {"pictures agree",
         {pictureLayer(L::BelowBackground, O::CropCentre),
          pictureLayer(L::BelowBackground, O::CropCentre)},
         {0, 1},
         {true, true, true, L::BelowBackground, O::CropCentre}},
        {"levels differ",
         {pictureLayer(L::AboveBackground, O::CropCentre),
          pictureLayer(L::BelowBackground, O::CropCentre)},
         {0, 1},
         {true, true, true, {}, O::CropCentre}},
        {"styles differ",
         {pictureLayer(L::AboveBackground, O::ShrinkToFit),
          pictureLayer(L::AboveBackground, O::CropTopLeft)},
         {0, 1},
         {true, true, true, L::AboveBackground, {}}},
        {"code and shape",
         {code, shape},
         {0, 1},
         {true, false, true, L::BelowBackground, O::FillScale}},
    };
    for (const Case& c : cases) {
        EditorState selection;
        const std::vector<Layer> layers = named(c.layers);
        for (std::size_t row : c.selected)
            selection.mark(layers[row].id, true);
        const LayerMenuState state = layerMenuState(selection, layers);
        EXPECT_EQ(state.selectionItemsEnabled, c.expected.selectionItemsEnabled) << c.name;
        EXPECT_EQ(state.subMenusEnabled, c.expected.subMenusEnabled) << c.name;
        EXPECT_EQ(state.levelMenuEnabled, c.expected.levelMenuEnabled) << c.name;
        EXPECT_EQ(state.checkedLevel, c.expected.checkedLevel) << c.name;
        EXPECT_EQ(state.checkedOverflow, c.expected.checkedOverflow) << c.name;
    }
}

TEST(LayerRows, HighlightFollowsMarksInMultiSelectionElseTheCurrentRow)
{
    const std::vector<Layer> layers = named({textLayer(), textLayer(), textLayer()});
    EditorState state;
    state.setCurrentLayer(layers[1].id); // ignored in these modes
    state.setMarked({layers[0].id, layers[2].id});
    for (CanvasMode mode : {CanvasMode::MultiSelected, CanvasMode::BandDragging}) {
        state.mode = mode;
        EXPECT_TRUE(isLayerRowHighlighted(state, layers, 0, 1));
        EXPECT_FALSE(isLayerRowHighlighted(state, layers, 1, 1));
        EXPECT_TRUE(isLayerRowHighlighted(state, layers, 2, 1));
    }
    state.mode = CanvasMode::LayerSelected;
    EXPECT_FALSE(isLayerRowHighlighted(state, layers, 0, 1));
    EXPECT_TRUE(isLayerRowHighlighted(state, layers, 1, 1));
    state.setCurrentWatermark(1);
    EXPECT_FALSE(isLayerRowHighlighted(state, layers, 1, 1));
}

TEST(LayerRows, CurrentRowIsTheFocusedSelectedRowElseTheFirstSelected)
{
    EXPECT_EQ(currentListRow(2, {1, 2}), 2u);
    EXPECT_EQ(currentListRow(0, {3, 1}), 1u);
    EXPECT_EQ(currentListRow(std::nullopt, {4}), 4u);
    EXPECT_EQ(currentListRow(1, {}), std::nullopt);
}

TEST(Zoom, StepsThroughTheLevelsAndFromAZoomBetweenThem)
{
    EXPECT_EQ(steppedZoom(0.25, false), 0.25);
    EXPECT_EQ(steppedZoom(0.25, true), 0.5);
    EXPECT_EQ(steppedZoom(1, true), 2);
    EXPECT_EQ(steppedZoom(1, false), 0.75);
    EXPECT_EQ(steppedZoom(8, true), 8);
    EXPECT_EQ(steppedZoom(2.5, true), 3);
    EXPECT_EQ(steppedZoom(2.5, false), 2);
    EXPECT_EQ(steppedZoom(0.1, false), 0.1);
    EXPECT_EQ(steppedZoom(0.1, true), 0.25);
}

TEST(Zoom, FitTakesTheTighterSideOfTheView)
{
    // An 800 x 600 view with 32 pixels to spare on each side leaves 736 x 536.
    EXPECT_DOUBLE_EQ(fitZoom(1000, 200, 800, 600, 32), 0.736); // wide: the width decides
    EXPECT_DOUBLE_EQ(fitZoom(200, 1000, 800, 600, 32), 0.536); // tall: the height
    // Rounded down: 936 / 1011 is 0.9258..., and 0.925 x 1011 still fits 936.
    EXPECT_DOUBLE_EQ(fitZoom(1011, 638, 1000, 800, 32), 0.925);
    EXPECT_DOUBLE_EQ(fitZoom(10, 10, 800, 600, 32), 8); // no larger than the largest level
}

TEST(EditorKeys, DeleteAndEscapeFollowTheMode)
{
    const struct {
        CanvasMode mode;
        DragKind drag;
        bool deletes, escapes;
    } cases[] = {
        {CanvasMode::Idle, DragKind::None, false, false},
        {CanvasMode::PlacingLayer, DragKind::None, true, true},
        {CanvasMode::DrawingLayer, DragKind::None, false, true},
        {CanvasMode::MultiSelected, DragKind::None, true, false},
        {CanvasMode::LayerSelected, DragKind::None, true, false},
        {CanvasMode::LayerSelected, DragKind::MoveLayer, false, false},
    };
    for (const auto& c : cases) {
        EditorState state;
        state.mode = c.mode;
        state.drag = c.drag;
        EXPECT_EQ(state.deleteKeyDeletesLayers(), c.deletes) << static_cast<int>(c.mode);
        EXPECT_EQ(state.escapeCancelsNewLayer(), c.escapes) << static_cast<int>(c.mode);
    }
}

TEST(LayerSelection, FollowsTheDocumentWhenLayersGoWithoutIt)
{
    test::TempDir dir;
    const SettingsStore store(dir.file("settings.json"));
    EditorDocument document(store);
    EditorState state;
    const Subscription following = followDocument(state, document);
    const LayerId a = document.addLayer(LayerType::Text);
    const LayerId b = document.addLayer(LayerType::Text);
    const LayerId c = document.addLayer(LayerType::Text);
    selectLayerRows(state, document.tpl().layers, {0, 1, 2});
    state.setFocusedLayer(b);

    // A core edit that removes marked layers (an undo, say): the others stay marked.
    document.deleteLayers({b});
    EXPECT_EQ(state.marked(), (std::vector<LayerId>{a, c}));
    EXPECT_EQ(state.focusedLayer(), std::nullopt);
    document.deleteLayers({c});
    EXPECT_EQ(state.currentLayer(), a);

    document.newTemplate();
    EXPECT_TRUE(state.marked().empty());
    EXPECT_EQ(state.currentKind(), CurrentKind::None);
}

} // namespace
} // namespace torvale
