#include "app/canvas_controller.h"
#include "app/canvas_snap.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {

void PrintTo(const SnapGuides& g, std::ostream* out)
{
    *out << "guides(x " << (g.x ? std::to_string(*g.x) : "-") << ", y "
         << (g.y ? std::to_string(*g.y) : "-") << ")";
}

namespace {

constexpr std::optional<double> kNone = std::nullopt;

/// A 1000 x 800 card (lines x 0, 500, 1000 and y 0, 400, 800), the layer that is dragged at
/// (200, 300) 100 x 50, and another layer at (700, 100) 120 x 60 (lines x 700, 760, 820 and
/// y 100, 130, 160). Snapping is on, as it is by default.
class CanvasSnapTest : public ::testing::Test {
protected:
    CanvasSnapTest() : store(dir.file("settings.json")), document(store)
    {
        document.setBackgroundSize("1000", "800");
        moved = layerAt(200, 300, 100, 50);
        other = layerAt(700, 100, 120, 60);
    }

    LayerId layerAt(int x, int y, int w, int h)
    {
        const LayerId id = document.addLayer(LayerType::Text);
        document.setLayerGeometry({{id, x, y, w, h}});
        return id;
    }
    LayerRect rect(LayerId id) const
    {
        const Layer& l = *document.layer(id);
        return {id, l.x, l.y, l.width, l.height};
    }
    void select(std::initializer_list<LayerId> ids)
    {
        selectLayerRows(state, document.tpl().layers, document.rowsOf(ids));
    }
    /// Presses inside the dragged layer and moves the pointer so that, without snapping, the
    /// layer's corner would be at (x, y).
    void moveLayerTo(int x, int y, KeyModifiers keys = {})
    {
        select({moved});
        canvas.press({250, 325}, keys);
        canvas.move({250 + x - 200, 325 + y - 300}, keys, true);
    }

    test::TempDir dir;
    SettingsStore store;
    EditorDocument document;
    EditorState state;
    CanvasController canvas{document, state};
    LayerId moved = 0;
    LayerId other = 0;
};

TEST_F(CanvasSnapTest, AMovedLayerSnapsByItsNearestEdgeOrCentreOnEachAxis)
{
    struct Case {
        const char* what;
        double zoom;
        int x, y; // where the layer would go without snapping
        int snappedX, snappedY;
        std::optional<double> guideX, guideY;
    };
    const Case cases[] = {
        {"card left edge", 1, 4, 300, 0, 300, 0.0, kNone},
        {"card centre", 1, 453, 300, 450, 300, 500.0, kNone},
        {"card right edge", 1, 897, 300, 900, 300, 1000.0, kNone},
        {"card centre and bottom edge", 1, 447, 745, 450, 750, 500.0, 800.0},
        {"other layer's left edge", 1, 703, 300, 700, 300, 700.0, kNone},
        {"other layer's centre", 1, 712, 300, 710, 300, 760.0, kNone},
        // Top edge 3 from 100, centre 2 from 130: the centre wins.
        {"nearest line wins", 1, 200, 103, 200, 105, kNone, 130.0},
        {"out of reach", 1, 10, 360, 10, 360, kNone, kNone},
        // 6 screen pixels: 4 card pixels snap at 100% but not at 200%, 10 at 50%.
        {"zoom 200%, 4 away", 2, 4, 300, 4, 300, kNone, kNone},
        {"zoom 200%, 3 away", 2, 3, 300, 0, 300, 0.0, kNone},
        {"zoom 50%, 10 away", 0.5, 10, 300, 0, 300, 0.0, kNone},
        {"zoom 50%, 13 away", 0.5, 13, 300, 13, 300, kNone, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        document.setLayerGeometry({{moved, 200, 300, 100, 50}});
        canvas.setZoom(c.zoom);
        moveLayerTo(c.x, c.y);
        EXPECT_EQ(rect(moved), (LayerRect{moved, c.snappedX, c.snappedY, 100, 50}));
        EXPECT_EQ(canvas.guides(), (SnapGuides{c.guideX, c.guideY}));
        const CanvasEffects released = canvas.release({0, 0});
        EXPECT_TRUE(canvas.guides().empty());
        EXPECT_EQ(released.repaint, c.guideX || c.guideY);
    }
}

TEST_F(CanvasSnapTest, TheSnapLetsGoOnceThePointerMovesOutOfReach)
{
    moveLayerTo(4, 300);
    EXPECT_EQ(rect(moved).x, 0);
    const int xs[] = {5, 6, 7, 8, 6};
    const int expected[] = {0, 0, 7, 8, 0};
    for (std::size_t i = 0; i < std::size(xs); ++i) {
        canvas.move({250 + xs[i] - 200, 325}, {}, true);
        EXPECT_EQ(rect(moved).x, expected[i]) << "pointer for x " << xs[i];
    }
    // Esc puts back the rectangle of the press and the guide goes.
    EXPECT_TRUE(canvas.escape().repaint);
    EXPECT_EQ(rect(moved), (LayerRect{moved, 200, 300, 100, 50}));
    EXPECT_TRUE(canvas.guides().empty());
}

TEST_F(CanvasSnapTest, AltOrTheSettingTurnsSnappingOff)
{
    moveLayerTo(4, 397, {false, false, true});
    EXPECT_EQ(rect(moved), (LayerRect{moved, 4, 397, 100, 50}));
    EXPECT_TRUE(canvas.guides().empty());
    // Alt is looked at on every move: let go of it and the same place snaps.
    canvas.move({54, 422}, {}, true);
    EXPECT_EQ(rect(moved), (LayerRect{moved, 0, 400, 100, 50}));
    EXPECT_EQ(canvas.guides(), (SnapGuides{0.0, 400.0}));
    canvas.move({54, 422}, {false, false, true}, true);
    EXPECT_EQ(rect(moved), (LayerRect{moved, 4, 397, 100, 50}));
    EXPECT_TRUE(canvas.guides().empty());
    canvas.release({54, 422});

    document.setSnapping(false);
    document.setLayerGeometry({{moved, 200, 300, 100, 50}});
    moveLayerTo(4, 397);
    EXPECT_EQ(rect(moved), (LayerRect{moved, 4, 397, 100, 50}));
    EXPECT_TRUE(canvas.guides().empty());
}

TEST_F(CanvasSnapTest, ArrowKeysNeverSnap)
{
    document.setLayerGeometry({{moved, 5, 300, 100, 50}});
    select({moved});
    canvas.arrowKey(-1, 0, {});
    EXPECT_EQ(rect(moved).x, 4);
    canvas.arrowKey(1, 0, {false, true});
    EXPECT_EQ(rect(moved).x, 9);
    canvas.arrowKey(0, 1, {true, false});
    EXPECT_EQ(rect(moved), (LayerRect{moved, 9, 300, 100, 51}));
    EXPECT_TRUE(canvas.guides().empty());
}

TEST_F(CanvasSnapTest, ResizingSnapsTheDraggedEdgeOnly)
{
    struct Case {
        const char* what;
        LayerRect start;
        CardPoint press, to;
        LayerRect expected;
        std::optional<double> guideX, guideY;
    };
    const Case cases[] = {
        // The right handle (grabbed 5 right of the edge) to 497: onto the card's centre.
        {"right edge",
         {moved, 200, 300, 100, 50},
         {305, 325},
         {502, 325},
         {moved, 200, 300, 300, 50},
         500.0,
         kNone},
        // The left edge is 3 from the card's edge but stays: only the right edge is dragged.
        {"fixed edge stays",
         {moved, 3, 300, 100, 50},
         {105, 325},
         {350, 325},
         {moved, 3, 300, 345, 50},
         kNone,
         kNone},
        // The centre comes 1.5 from the card's centre line; it does not snap while resizing.
        {"centre does not snap",
         {moved, 200, 300, 100, 50},
         {305, 325},
         {808, 325},
         {moved, 200, 300, 603, 50},
         kNone,
         kNone},
        // The bottom right corner: 3 from the other layer's left edge and 2 from y 400.
        {"corner",
         {moved, 200, 300, 100, 50},
         {305, 355},
         {702, 402},
         {moved, 200, 300, 500, 100},
         700.0,
         400.0},
        // The top handle to 128: onto the other layer's centre line (130).
        {"top edge",
         {moved, 200, 300, 100, 50},
         {250, 296},
         {250, 124},
         {moved, 200, 130, 100, 220},
         kNone,
         130.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        document.setLayerGeometry({c.start});
        select({moved});
        canvas.press(c.press, {});
        ASSERT_TRUE(isResizeHandle(state.drag));
        canvas.move(c.to, {}, true);
        EXPECT_EQ(rect(moved), c.expected);
        EXPECT_EQ(canvas.guides(), (SnapGuides{c.guideX, c.guideY}));
        canvas.release(c.to);
        EXPECT_TRUE(canvas.guides().empty());
    }
}

TEST_F(CanvasSnapTest, ASelectionOfSeveralSnapsAsOneBoxAndNotToItself)
{
    const LayerId third = layerAt(400, 500, 50, 50); // with moved: a box 200..450 x 300..550
    select({moved, third});
    ASSERT_EQ(state.mode, CanvasMode::MultiSelected);
    canvas.press({250, 325}, {});
    // The box's centre (325) to 497: onto the card's centre; its bottom to 554: nothing (the
    // third layer's own lines do not count).
    canvas.move({250 + 172, 325 + 4}, {}, true);
    EXPECT_EQ(rect(moved), (LayerRect{moved, 375, 304, 100, 50}));
    EXPECT_EQ(rect(third), (LayerRect{third, 575, 504, 50, 50}));
    EXPECT_EQ(canvas.guides(), (SnapGuides{500.0, kNone}));
    canvas.release({422, 329});
    EXPECT_TRUE(canvas.guides().empty());
    EXPECT_EQ(state.mode, CanvasMode::MultiSelected);
}

TEST_F(CanvasSnapTest, AWatermarkSnapsToTheCardAndTheLayers)
{
    const std::uint32_t id = state.watermarks.insert(0, {0, 1, 100, 600, 150, 100, "w.png"});
    canvas.press({150, 650}, {});
    ASSERT_EQ(state.drag, DragKind::MoveWatermark);
    // Left edge to 302: the dragged layer's right edge (300); bottom to 797: the card's edge.
    canvas.move({352, 747}, {}, true);
    EXPECT_EQ(state.watermarks.find(id)->x, 300);
    EXPECT_EQ(state.watermarks.find(id)->y, 700);
    EXPECT_EQ(canvas.guides(), (SnapGuides{300.0, 800.0}));
    canvas.release({352, 747});
    EXPECT_TRUE(canvas.guides().empty());
}

TEST_F(CanvasSnapTest, ANewLayerSnapsBothCornersWhileItIsDrawn)
{
    const LayerId drawn = document.addLayer(LayerType::Text);
    select({drawn});
    ASSERT_EQ(state.mode, CanvasMode::PlacingLayer);
    canvas.press({3, 397}, {});
    EXPECT_EQ(canvas.guides(), (SnapGuides{0.0, 400.0}));
    canvas.move({497, 598}, {}, true);
    EXPECT_EQ(canvas.draftRect(), (LayerRect{drawn, 0, 400, 500, 198}));
    EXPECT_EQ(canvas.guides(), (SnapGuides{500.0, kNone}));
    canvas.move({497, 598}, {false, false, true}, true);
    EXPECT_EQ(canvas.draftRect(), (LayerRect{drawn, 0, 400, 497, 198}));
    EXPECT_TRUE(canvas.guides().empty());
    canvas.move({497, 598}, {}, true);
    canvas.release({497, 598});
    EXPECT_EQ(rect(drawn), (LayerRect{drawn, 0, 400, 500, 198}));
    EXPECT_TRUE(canvas.guides().empty());
}

TEST(SnapperTest, ACentreLineBetweenTwoPixelsTakesTheLowerOneFromEitherSide)
{
    // A card 1001 wide: its centre line is at 500.5, a box 100 wide centres at 450.5.
    const Snapper snapper({1001, 800}, {}, {}, 1, true);
    for (int x : {447, 450, 451, 453}) {
        SCOPED_TRACE(x);
        const Snap snap = snapper.box({0, x, 300, 100, 50});
        ASSERT_TRUE(snap.x);
        EXPECT_EQ(x + snap.x->shift, 450);
        EXPECT_EQ(snap.x->line, 500.5);
    }
    EXPECT_FALSE(Snapper({1001, 800}, {}, {}, 1, false).box({0, 450, 300, 100, 50}).x);
}

} // namespace
} // namespace torvale
