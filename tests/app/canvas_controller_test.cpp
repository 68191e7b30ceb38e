#include "app/canvas_controller.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {

void PrintTo(const LayerRect& r, std::ostream* out)
{
    *out << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}

namespace {

/// A 1000 x 800 card and a canvas controller over it.
class CanvasControllerTest : public ::testing::Test {
protected:
    CanvasControllerTest() : store(dir.file("settings.json")), document(store)
    {
        document.setBackgroundSize("1000", "800");
        // These are the pointer's rules; snapping has its own tests (canvas_snap_test.cpp).
        document.setSnapping(false);
    }

    /// A layer with a rectangle, at the end of the list.
    LayerId layerAt(int x, int y, int w, int h, LayerType type = LayerType::Text)
    {
        const LayerId id = document.addLayer(type);
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
    /// A press, moves through the points, and a release at the last one.
    void drag(CardPoint from, std::initializer_list<CardPoint> to, KeyModifiers keys = {})
    {
        canvas.press(from, keys);
        CardPoint last = from;
        for (CardPoint p : to) {
            canvas.move(p, keys, true);
            last = p;
        }
        canvas.release(last);
    }

    test::TempDir dir;
    SettingsStore store;
    EditorDocument document;
    EditorState state;
    CanvasController canvas{document, state};
};

TEST_F(CanvasControllerTest, PickingCountsEveryEdgeButTheTopAndTakesTheTopmostLayer)
{
    const LayerId below = layerAt(100, 100, 200, 100);
    document.addLayer(LayerType::Text); // no rectangle: never picked
    EXPECT_EQ(canvas.pickAt({100, 150}), below);
    EXPECT_EQ(canvas.pickAt({300, 150}), below);
    EXPECT_EQ(canvas.pickAt({150, 200}), below);
    EXPECT_EQ(canvas.pickAt({150, 100}), std::nullopt);
    EXPECT_EQ(canvas.pickAt({301, 150}), std::nullopt);
    const LayerId above = layerAt(250, 150, 100, 100);
    EXPECT_EQ(canvas.pickAt({280, 180}), above);
}

TEST_F(CanvasControllerTest, GrabZonesLieOnAndOutsideTheEdgesAtEveryZoom)
{
    const LayerId id = layerAt(400, 300, 200, 100);
    select({id});
    for (const double zoom : {0.25, 1.0, 3.0}) {
        canvas.setZoom(zoom);
        const int g = static_cast<int>(24 / zoom);
        const int l = 400, t = 300, r = 600, b = 400;
        const int my = t + 50 - g / 2, mx = l + 100 - g / 2;
        const struct {
            CardPoint p;
            DragKind kind;
        } cases[] = {
            {{l - g, t - g}, DragKind::TopLeft},    {{l, t}, DragKind::TopLeft},
            {{l - g, my}, DragKind::Left},          {{l, b + g}, DragKind::BottomLeft},
            {{mx, t - g}, DragKind::Top},           {{mx + g, b}, DragKind::Bottom},
            {{r + g, t}, DragKind::TopRight},       {{r, my + g}, DragKind::Right},
            {{r + g, b + g}, DragKind::BottomRight}, {{l + 1, t + 1}, DragKind::MoveLayer},
            {{r + g + 1, t}, DragKind::None},       {{l - g - 1, my}, DragKind::None},
            {{mx - 1, t - 1}, DragKind::None},
        };
        for (const auto& c : cases)
            EXPECT_EQ(canvas.hitTestCurrent(c.p), c.kind)
                << "zoom " << zoom << " at " << c.p.x << ", " << c.p.y;
    }
    canvas.setZoom(1);
    EXPECT_EQ(canvas.cursorFor({380, 280}), CanvasCursor::SizeNWSE);
    EXPECT_EQ(canvas.cursorFor({500, 350}), CanvasCursor::SizeAll);
    EXPECT_EQ(canvas.cursorFor({700, 350}), CanvasCursor::Arrow);
}

TEST_F(CanvasControllerTest, EachHandleMovesItsOwnEdges)
{
    const LayerId id = layerAt(400, 300, 200, 100);
    select({id});
    const struct {
        CardPoint grab;
        LayerRect expected; // after a drag of (+10, +10)
    } cases[] = {
        {{395, 295}, {id, 410, 310, 190, 90}},  {{395, 350}, {id, 410, 300, 190, 100}},
        {{395, 405}, {id, 410, 300, 190, 110}}, {{500, 295}, {id, 400, 310, 200, 90}},
        {{500, 405}, {id, 400, 300, 200, 110}}, {{605, 295}, {id, 400, 310, 210, 90}},
        {{605, 350}, {id, 400, 300, 210, 100}}, {{605, 405}, {id, 400, 300, 210, 110}},
    };
    for (const auto& c : cases) {
        document.setLayerGeometry({{id, 400, 300, 200, 100}});
        drag(c.grab, {{c.grab.x + 10, c.grab.y + 10}});
        EXPECT_EQ(rect(id), c.expected) << c.grab.x << ", " << c.grab.y;
    }
}

TEST_F(CanvasControllerTest, HandlesNeverTurnTheRectangleOverNorLeaveTheCard)
{
    const LayerId id = layerAt(400, 300, 200, 100);
    select({id});
    // The bottom-right handle dragged past the top-left corner leaves 1 x 1.
    drag({600, 400}, {{100, 100}});
    EXPECT_EQ(rect(id), (LayerRect{id, 400, 300, 1, 1}));
    // The top-left handle dragged beyond the card stops at its edge.
    document.setLayerGeometry({{id, 400, 300, 200, 100}});
    drag({400, 300}, {{-50, -80}});
    EXPECT_EQ(rect(id), (LayerRect{id, 0, 0, 600, 400}));
    // The right edge dragged beyond the card stops at its edge; past the left edge leaves 1.
    drag({600, 200}, {{1500, 200}});
    EXPECT_EQ(rect(id), (LayerRect{id, 0, 0, 1000, 400}));
    drag({1000, 200}, {{-30, 200}});
    EXPECT_EQ(rect(id), (LayerRect{id, 0, 0, 1, 400}));
    // Shift on a corner keeps a square against the fixed corner; on an edge it does nothing.
    document.setLayerGeometry({{id, 400, 300, 200, 100}});
    drag({400, 300}, {{350, 280}}, {false, true});
    EXPECT_EQ(rect(id), (LayerRect{id, 480, 280, 120, 120}));
    drag({600, 340}, {{650, 340}}, {false, true});
    EXPECT_EQ(rect(id), (LayerRect{id, 480, 280, 170, 120}));
    EXPECT_EQ(state.drag, DragKind::None);
}

TEST_F(CanvasControllerTest, MovedLayerStopsAtTheEdgeWhileThePointerIsFollowed)
{
    const LayerId id = layerAt(20, 20, 100, 50);
    select({id});
    canvas.press({50, 40}, {});
    canvas.move({10, 40}, {}, true); // 20 left of the edge
    EXPECT_EQ(rect(id).x, 0);
    canvas.move({15, 40}, {}, true); // back 5: moves at once
    EXPECT_EQ(rect(id).x, 5);
    canvas.move({2000, 2000}, {}, true);
    EXPECT_EQ(rect(id), (LayerRect{id, 900, 750, 100, 50}));
    // Esc puts back the rectangle of the press.
    EXPECT_TRUE(canvas.escape().consumed);
    EXPECT_EQ(rect(id), (LayerRect{id, 20, 20, 100, 50}));
    EXPECT_EQ(state.drag, DragKind::None);
    EXPECT_FALSE(canvas.escape().consumed);
}

TEST_F(CanvasControllerTest, DrawingANewLayer)
{
    const LayerId id = document.addLayer(LayerType::Text);
    select({id});
    ASSERT_EQ(state.mode, CanvasMode::PlacingLayer);
    EXPECT_EQ(canvas.hint(), "在画布上拖动以绘制图层，Esc 取消");
    canvas.move({300, 200}, {}, false);
    EXPECT_EQ(canvas.draftRect(), (LayerRect{id, 300, 200, -1, -1}));
    canvas.leave();
    EXPECT_EQ(canvas.draftRect(), (LayerRect{id, -1, -1, -1, -1}));

    // Dragged up and left with Shift: a square of the shorter side, turned over at the release.
    EXPECT_TRUE(canvas.press({300, 200}, {}).repaint); // the hint goes
    EXPECT_EQ(state.mode, CanvasMode::DrawingLayer);
    EXPECT_EQ(canvas.hint(), "");
    const CanvasEffects moved = canvas.move({250, 120}, {false, true}, true);
    EXPECT_EQ(canvas.draftRect(), (LayerRect{id, 300, 200, -50, -50}));
    EXPECT_EQ(moved.statusPart2, "50 x 50 像素");
    EXPECT_FALSE(document.layer(id)->hasRect());
    const CanvasEffects released = canvas.release({250, 120});
    EXPECT_EQ(rect(id), (LayerRect{id, 250, 150, 50, 50}));
    EXPECT_EQ(state.mode, CanvasMode::LayerSelected);
    EXPECT_TRUE(released.showPropertyWindow);

    // A click without a move gives 100 x 40, kept inside the card.
    const LayerId clicked = document.addLayer(LayerType::Picture);
    select({clicked});
    drag({980, 0}, {});
    EXPECT_EQ(rect(clicked), (LayerRect{clicked, 900, 0, 100, 40}));
    // A move that ends where it started gives 1 x 1, never x = -1.
    const LayerId dot = document.addLayer(LayerType::Text);
    select({dot});
    drag({0, 0}, {{5, 5}, {0, 0}});
    EXPECT_EQ(rect(dot), (LayerRect{dot, 0, 0, 1, 1}));
}

TEST_F(CanvasControllerTest, BandSelectionAndTheGroupMove)
{
    const LayerId a = layerAt(100, 100, 50, 50);
    const LayerId b = layerAt(300, 100, 50, 50);
    const LayerId c = layerAt(5, 600, 50, 50);
    // The band's right edge at 300 does not reach b.
    canvas.press({0, 0}, {});
    EXPECT_EQ(state.mode, CanvasMode::BandArmed);
    canvas.move({300, 700}, {}, true);
    EXPECT_EQ(state.mode, CanvasMode::BandDragging);
    EXPECT_TRUE(state.isMarked(a) && state.isMarked(c) && !state.isMarked(b));
    canvas.move({301, 700}, {}, true);
    EXPECT_TRUE(state.isMarked(b));
    canvas.release({301, 700});
    EXPECT_EQ(state.mode, CanvasMode::MultiSelected);

    // c is 5 from the left edge: the group moves 5 left, not 20, and stops there.
    drag({120, 120}, {{100, 120}, {90, 120}});
    EXPECT_EQ(rect(a).x, 95);
    EXPECT_EQ(rect(c).x, 0);
    EXPECT_EQ(rect(b).x, 295);
    EXPECT_EQ(state.mode, CanvasMode::MultiSelected);

    // A band over one layer ends with that layer selected alone.
    drag({60, 60}, {{100, 100}, {160, 160}});
    EXPECT_EQ(state.mode, CanvasMode::LayerSelected);
    EXPECT_EQ(state.currentLayer(), a);
    // A band over nothing ends idle.
    drag({600, 300}, {{700, 400}});
    EXPECT_EQ(state.mode, CanvasMode::Idle);
    EXPECT_TRUE(state.marked().empty());
}

TEST_F(CanvasControllerTest, ArrowKeys)
{
    const LayerId a = layerAt(0, 100, 50, 50);
    const LayerId b = layerAt(500, 100, 50, 50);
    select({b});
    canvas.arrowKey(1, 0, {false, true});
    EXPECT_EQ(rect(b).x, 505);
    canvas.arrowKey(0, 1, {true, false});
    EXPECT_EQ(rect(b).height, 51);
    EXPECT_FALSE(canvas.arrowKey(1, 0, {true, true}).consumed);
    EXPECT_EQ(rect(b), (LayerRect{b, 505, 100, 50, 51}));

    select({a, b});
    // a touches the left edge: nothing moves, with or without Shift.
    canvas.arrowKey(-1, 0, {});
    canvas.arrowKey(-1, 0, {false, true});
    EXPECT_EQ(rect(b).x, 505);
    // Shift shortens the step for a layer that would leave the card.
    document.setLayerGeometry({{a, 3, 100, 50, 50}});
    canvas.arrowKey(-1, 0, {false, true});
    EXPECT_EQ(rect(a).x, 0);
    EXPECT_EQ(rect(b).x, 502);
    // Ctrl resizes all only when every one stays inside.
    canvas.arrowKey(0, -1, {true, false});
    EXPECT_EQ(rect(a).height, 49);
    document.setLayerGeometry({{b, 950, 100, 50, 50}});
    canvas.arrowKey(1, 0, {true, false});
    EXPECT_EQ(rect(a).width, 50);
}

TEST_F(CanvasControllerTest, AlignmentFollowsTheMenuReferenceAndDoesNotClamp)
{
    const LayerId a = layerAt(100, 10, 50, 50);
    const LayerId b = layerAt(300, 100, 80, 100);
    select({a, b});
    canvas.move({120, 30}, {}, false);
    const auto menu = canvas.contextMenu({120, 30});
    ASSERT_GE(menu.size(), 3u);
    EXPECT_EQ(menu[0].text, "图层 1");
    EXPECT_EQ(menu[0].command, CommandId::PickLayerFirst);
    EXPECT_EQ(menu[2].kind, ContextMenuEntry::Kind::AlignMenu);
    // Two layers: everything but spreading.
    std::vector<std::pair<std::string, bool>> entries;
    for (const ContextMenuEntry& entry : menu[2].items) {
        if (entry.kind == ContextMenuEntry::Kind::Item)
            entries.emplace_back(entry.text, entry.enabled);
    }
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(entries[8], (std::pair<std::string, bool>{"横向等距分布", false}));
    EXPECT_EQ(entries[10], (std::pair<std::string, bool>{"等宽", true}));
    canvas.arrange(Arrangement::Bottom);
    EXPECT_EQ(rect(b).y, -40);
    EXPECT_EQ(rect(a).y, 10);
    // Each arrangement is one undo step.
    canvas.arrange(Arrangement::SameWidth);
    EXPECT_EQ(rect(b), (LayerRect{b, 300, -40, 50, 100}));
    EXPECT_EQ(document.undoName(), "统一图层尺寸");
    document.undo();
    EXPECT_EQ(rect(b), (LayerRect{b, 300, -40, 80, 100}));
}

TEST_F(CanvasControllerTest, OneSelectedLayerCanBeCentredOnTheCard)
{
    const LayerId a = layerAt(100, 10, 50, 50);
    select({a});
    canvas.move({120, 30}, {}, false);
    const auto menu = canvas.contextMenu({120, 30});
    ASSERT_EQ(menu.size(), 3u);
    ASSERT_EQ(menu[2].kind, ContextMenuEntry::Kind::AlignMenu);
    std::vector<std::string> enabled;
    for (const ContextMenuEntry& entry : menu[2].items) {
        if (entry.kind == ContextMenuEntry::Kind::Item && entry.enabled)
            enabled.push_back(entry.text);
    }
    EXPECT_EQ(enabled, (std::vector<std::string>{"卡片水平居中", "卡片垂直居中"}));
    canvas.arrange(Arrangement::CardCentreX);
    canvas.arrange(Arrangement::CardCentreY);
    EXPECT_EQ(rect(a), (LayerRect{a, 475, 375, 50, 50}));
}

TEST_F(CanvasControllerTest, ContextMenuEntries)
{
    using Kind = ContextMenuEntry::Kind;
    const LayerId a = layerAt(100, 100, 100, 100, LayerType::Picture);
    const LayerId b = layerAt(150, 150, 100, 100);
    const auto kinds = [](const std::vector<ContextMenuEntry>& menu) {
        std::vector<std::pair<Kind, int>> out;
        for (const auto& entry : menu)
            out.emplace_back(entry.kind, entry.command ? static_cast<int>(*entry.command) : 0);
        return out;
    };
    // Outside the card, or over nothing: new layers and refresh only.
    canvas.move({1200, 100}, {}, false);
    EXPECT_EQ(kinds(canvas.contextMenu({1200, 100})),
              (std::vector<std::pair<Kind, int>>{{Kind::Item, 35300},
                                                 {Kind::Item, 35301},
                                                 {Kind::Item, 35312},
                                                 {Kind::Item, 35314},
                                                 {Kind::Separator, 0},
                                                 {Kind::Item, 35311}}));
    // Two layers under the pointer in a multiple selection: no alignment, the picture menus.
    select({a, b});
    canvas.move({175, 175}, {}, false);
    EXPECT_EQ(kinds(canvas.contextMenu({175, 175})),
              (std::vector<std::pair<Kind, int>>{{Kind::Item, 35701},
                                                 {Kind::Item, 35702},
                                                 {Kind::Separator, 0},
                                                 {Kind::LevelMenu, 0},
                                                 {Kind::OverflowMenu, 0}}));
    // One layer selected: its entry is checked, the alignment offered (for the card centre).
    select({b});
    const auto menu = canvas.contextMenu({220, 220});
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_TRUE(menu[0].checked);
    EXPECT_EQ(menu[2].kind, Kind::AlignMenu);
    canvas.pickLayerNumber(1);
    EXPECT_EQ(state.currentLayer(), a);

    // Picks exist for layers 1 to 99: the entry of layer 101 is no command (its number would
    // otherwise reach the watermark picks).
    for (int i = 3; i <= 101; ++i)
        layerAt(150, 150, 100, 100);
    const auto stacked = canvas.contextMenu({220, 220});
    ASSERT_EQ(stacked.size(), 100u); // layers 2 to 101
    EXPECT_EQ(stacked[97].command, CommandId::PickLayerLast);
    EXPECT_EQ(stacked[99].text, "图层 101");
    EXPECT_EQ(stacked[98].command, std::nullopt);
    EXPECT_EQ(stacked[99].command, std::nullopt);
}

} // namespace
} // namespace torvale
