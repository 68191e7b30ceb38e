#include "app/edit_history.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

Template withLayerAt(std::int32_t x)
{
    Template tpl;
    Layer layer = makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    layer.x = x;
    layer.y = 0;
    layer.width = 10;
    layer.height = 10;
    tpl.layers.push_back(layer);
    return tpl;
}

TEST(EditHistory, StepsUndoAndRedo)
{
    EditHistory history;
    history.reset(withLayerAt(0), 72);
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.record(withLayerAt(0), 72, "")); // nothing changed
    EXPECT_TRUE(history.record(withLayerAt(1), 72, "移动图层"));
    EXPECT_TRUE(history.record(withLayerAt(2), 72, "对齐"));
    EXPECT_EQ(history.undoName(), "对齐");
    EXPECT_EQ(history.undo()->layers[0].x, 1);
    EXPECT_EQ(history.redoName(), "对齐");
    EXPECT_EQ(history.undo()->layers[0].x, 0);
    EXPECT_FALSE(history.undo());
    EXPECT_EQ(history.redo()->layers[0].x, 1);
    // A new edit drops what could have been redone.
    EXPECT_TRUE(history.record(withLayerAt(5), 72, ""));
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.undo()->layers[0].x, 1);
}

TEST(EditHistory, EditsUnderOneKeyMakeOneStep)
{
    EditHistory history;
    history.reset(withLayerAt(0), 72);
    for (int x = 1; x <= 5; ++x)
        history.record(withLayerAt(x), 72, "", "drag:1");
    history.record(withLayerAt(6), 72, "", "drag:2");
    EXPECT_EQ(history.stepCount(), 3u);
    EXPECT_EQ(history.undo()->layers[0].x, 5);
    EXPECT_EQ(history.undo()->layers[0].x, 0);

    // A run that ends where it started is no step; ending the step starts a new one.
    history.reset(withLayerAt(0), 72);
    history.record(withLayerAt(3), 72, "", "arrows:1");
    history.record(withLayerAt(0), 72, "", "arrows:1");
    EXPECT_FALSE(history.canUndo());
    history.record(withLayerAt(1), 72, "", "field:x:1");
    history.endStep();
    history.record(withLayerAt(2), 72, "", "field:x:1");
    EXPECT_EQ(history.stepCount(), 3u);
}

TEST(EditHistory, BoundedInStepsAndBytesWithTheBackgroundShared)
{
    EditHistory history(5);
    Template tpl = withLayerAt(0);
    auto picture = std::make_shared<PictureBytes>();
    picture->bytes.assign(1 << 20, 7);
    tpl.background.picture = picture;
    history.reset(tpl, 72);
    for (int x = 1; x <= 20; ++x) {
        tpl.layers[0].x = x;
        history.record(tpl, 72, "");
    }
    EXPECT_EQ(history.stepCount(), 5u);
    const auto earliest = [&] {
        std::optional<Template> state;
        while (auto previous = history.undo())
            state = previous;
        return state;
    }();
    ASSERT_TRUE(earliest);
    EXPECT_EQ(earliest->layers[0].x, 16);
    // Every state points at the same picture bytes.
    EXPECT_EQ(earliest->background.picture.get(), picture.get());

    EditHistory small(100, 4000);
    small.reset(withLayerAt(0), 72);
    for (int x = 1; x <= 50; ++x)
        small.record(withLayerAt(x), 72, "");
    EXPECT_LT(small.stepCount(), 50u);
    EXPECT_GE(small.stepCount(), 2u);
}

} // namespace
} // namespace torvale
