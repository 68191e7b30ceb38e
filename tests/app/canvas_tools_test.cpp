#include "app/canvas_tools.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

/// A 1000 x 800 card and the tools over a shared context, without a controller.
class CanvasToolsTest : public ::testing::Test {
protected:
    CanvasToolsTest() : store(dir.file("settings.json")), document(store)
    {
        document.setBackgroundSize("1000", "800");
    }

    LayerId layerAt(int x, int y, int w, int h)
    {
        const LayerId id = document.addLayer(LayerType::Text);
        document.setLayerGeometry({{id, x, y, w, h}});
        return id;
    }

    test::TempDir dir;
    SettingsStore store;
    EditorDocument document;
    EditorState state;
    CanvasContext context{document, state};
    SelectTool select{context};
    BandTool band{context};
};

TEST_F(CanvasToolsTest, APressOnNothingHandsTheBandToTheBandTool)
{
    const LayerId a = layerAt(100, 100, 50, 50);
    const LayerId b = layerAt(300, 100, 50, 50);
    EXPECT_TRUE(select.press({-20, 900}, {}).repaint);
    EXPECT_EQ(state.mode, CanvasMode::BandArmed);
    EXPECT_EQ(context.bandStart.x, 0);
    EXPECT_EQ(context.bandStart.y, 800);
    band.move({320, 0}, {}, true);
    EXPECT_EQ(state.mode, CanvasMode::BandDragging);
    EXPECT_EQ(state.marked(), (std::vector<LayerId>{a, b}));
    EXPECT_TRUE(band.release({320, 0}).cursorChanged);
    EXPECT_EQ(state.mode, CanvasMode::MultiSelected);
}

TEST_F(CanvasToolsTest, AWatermarkIsDraggedAndNudgedWithinTheCard)
{
    const std::uint32_t id = state.watermarks.insert(0, {0, 1, 100, 100, 200, 100, "w.png"});
    select.press({150, 150}, {});
    ASSERT_EQ(state.drag, DragKind::MoveWatermark);
    const CanvasEffects moved = select.move({2000, 160}, {}, true);
    EXPECT_TRUE(moved.watermarksChanged);
    EXPECT_EQ(moved.statusPart2, "200 x 100 像素");
    EXPECT_EQ(state.watermarks.find(id)->x, 800);
    EXPECT_EQ(state.watermarks.find(id)->y, 110);
    select.release({2000, 160});
    EXPECT_EQ(state.drag, DragKind::None);
    EXPECT_TRUE(select.arrowKey(0, -1, {false, true}).consumed);
    EXPECT_EQ(state.watermarks.find(id)->y, 105);
    select.arrowKey(1, 0, {});
    EXPECT_EQ(state.watermarks.find(id)->x, 800);
}

TEST(PanToolTest, ArmsOnlyWhenIdleAndReportsTheScrollDistance)
{
    PanTool pan;
    EXPECT_FALSE(pan.spaceDown(true));
    EXPECT_TRUE(pan.spaceDown(false));
    EXPECT_FALSE(pan.spaceDown(false));
    pan.begin(100, 100);
    EXPECT_EQ(pan.state(), PanState::Panning);
    EXPECT_EQ(pan.moveTo(90, 130), (std::pair<int, int>{10, -30}));
    EXPECT_EQ(pan.moveTo(90, 120), (std::pair<int, int>{0, 10}));
    pan.end(true);
    EXPECT_EQ(pan.state(), PanState::Armed);
    pan.spaceUp();
    EXPECT_EQ(pan.state(), PanState::Off);
}

} // namespace
} // namespace torvale
