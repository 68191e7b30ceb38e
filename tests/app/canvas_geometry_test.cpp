#include "app/canvas_geometry.h"

#include <gtest/gtest.h>

namespace torvale {

namespace {

constexpr CardSize kCard{1000, 800};

TEST(CanvasGeometryTest, PickAreaLeavesOutTheTopEdgeAndTheClosedRectangleDoesNot)
{
    const LayerRect r{1, 100, 100, 200, 100};
    const struct {
        CardPoint p;
        bool picked;
        bool closed;
    } cases[] = {
        {{100, 150}, true, true},  {{300, 150}, true, true},   {{150, 200}, true, true},
        {{150, 100}, false, true}, {{100, 100}, false, true},  {{300, 200}, true, true},
        {{99, 150}, false, false}, {{301, 150}, false, false}, {{150, 201}, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(inPickArea(r, c.p), c.picked) << c.p.x << ", " << c.p.y;
        EXPECT_EQ(inClosedRect(r, c.p), c.closed) << c.p.x << ", " << c.p.y;
    }
    // A layer at x = -1 counts as one without a rectangle.
    Layer layer;
    layer.x = -1;
    layer.y = 0;
    layer.width = 10;
    layer.height = 10;
    EXPECT_FALSE(inClosedRect(layer, {0, 5}));
    EXPECT_FALSE(inPickArea(layer, {0, 5}));
}

TEST(CanvasGeometryTest, OverlappingZonesOfASmallRectangleGoToTheHandleTriedFirst)
{
    const LayerRect r{1, 100, 100, 4, 4};
    const struct {
        CardPoint p;
        DragKind kind;
    } cases[] = {
        {{100, 100}, DragKind::TopLeft},     {{100, 102}, DragKind::Left},
        {{102, 100}, DragKind::Top},         {{104, 104}, DragKind::Bottom},
        {{120, 120}, DragKind::BottomRight}, {{102, 102}, DragKind::MoveLayer},
    };
    for (const auto& c : cases)
        EXPECT_EQ(grabAt(r, c.p, 24), c.kind) << c.p.x << ", " << c.p.y;
}

TEST(CanvasGeometryTest, EachHandleAnchorsTheOppositeEdges)
{
    const LayerRect r{1, 400, 300, 200, 100};
    const struct {
        DragKind handle;
        CardPoint press;
        ResizeAnchor anchor;
    } cases[] = {
        {DragKind::TopLeft, {395, 290}, {DragKind::TopLeft, 600, 400, 5, 10}},
        {DragKind::Left, {395, 350}, {DragKind::Left, 600, 0, 5, 0}},
        {DragKind::BottomLeft, {395, 410}, {DragKind::BottomLeft, 600, 300, 5, 10}},
        {DragKind::Top, {500, 290}, {DragKind::Top, 0, 400, 0, 10}},
        {DragKind::Bottom, {500, 410}, {DragKind::Bottom, 0, 300, 0, 10}},
        {DragKind::TopRight, {605, 290}, {DragKind::TopRight, 400, 400, 5, 10}},
        {DragKind::Right, {605, 350}, {DragKind::Right, 400, 0, 5, 0}},
        {DragKind::BottomRight, {605, 410}, {DragKind::BottomRight, 400, 300, 5, 10}},
    };
    for (const auto& c : cases) {
        const ResizeAnchor anchor = resizeAnchor(r, c.handle, c.press);
        EXPECT_EQ(anchor, c.anchor) << static_cast<int>(c.handle);
        // The rectangle does not change until the pointer does.
        EXPECT_EQ(resizedRect(r, anchor, c.press, false, kCard), r) << static_cast<int>(c.handle);
    }
}

TEST(CanvasGeometryTest, ResizingKeepsOnePixelAndTheCard)
{
    const LayerRect r{1, 400, 300, 200, 100};
    const auto at = [&](DragKind handle, CardPoint p, bool square = false) {
        const CardPoint corner{handle == DragKind::TopLeft ? 400 : 600,
                               handle == DragKind::TopLeft ? 300 : 400};
        return resizedRect(r, resizeAnchor(r, handle, corner), p, square, kCard);
    };
    EXPECT_EQ(at(DragKind::BottomRight, {100, 100}), (LayerRect{1, 400, 300, 1, 1}));
    EXPECT_EQ(at(DragKind::TopLeft, {900, 700}), (LayerRect{1, 599, 399, 1, 1}));
    EXPECT_EQ(at(DragKind::BottomRight, {5000, 5000}), (LayerRect{1, 400, 300, 600, 500}));
    EXPECT_EQ(at(DragKind::TopLeft, {-9, -9}), (LayerRect{1, 0, 0, 600, 400}));
    EXPECT_EQ(at(DragKind::TopLeft, {350, 280}, true), (LayerRect{1, 480, 280, 120, 120}));
    EXPECT_EQ(at(DragKind::BottomRight, {700, 450}, true), (LayerRect{1, 400, 300, 150, 150}));
}

TEST(CanvasGeometryTest, MovesArePushedBackOntoTheCard)
{
    const struct {
        int dx, dy;
        LayerRect moved;
    } cases[] = {
        {10, -10, {1, 110, 90, 100, 50}}, {-500, 0, {1, 0, 100, 100, 50}},
        {950, 0, {1, 900, 100, 100, 50}}, {0, -101, {1, 100, 0, 100, 50}},
        {5, 700, {1, 105, 750, 100, 50}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(movedInCard({1, 100, 100, 100, 50}, c.dx, c.dy, kCard), c.moved)
            << c.dx << ", " << c.dy;
    EXPECT_EQ(clampToCard({-3, 900}, kCard).x, 0);
    EXPECT_EQ(clampToCard({-3, 900}, kCard).y, 800);
}

TEST(CanvasGeometryTest, TheNearestLayerLimitsAGroupStep)
{
    const std::vector<LayerRect> rects{
        {1, 5, 100, 50, 50}, {2, 300, 0, 50, 50}, {3, 900, 700, 97, 50}};
    const struct {
        int dx, dy;
        GroupStep step;
    } cases[] = {
        {-2, 10, {-2, 10, false, false}}, {-20, 0, {-5, 0, false, false}},
        {10, 0, {3, 0, false, false}},    {0, -1, {0, -1, false, true}},
        {0, 80, {0, 50, false, false}},   {4, -4, {3, -4, false, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(limitedGroupStep(rects, c.dx, c.dy, kCard), c.step) << c.dx << ", " << c.dy;
}

} // namespace
} // namespace torvale
