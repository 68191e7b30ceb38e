#include "app/layer_arrange.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace torvale {

void PrintTo(const LayerRect& r, std::ostream* out);

namespace {

constexpr CardSize kCard{1000, 800};

TEST(LayerArrangeTest, EdgesCentresAndSizesFollowTheReference)
{
    // B is the clicked layer; C has an odd width, so its centres fall between two pixels.
    const std::vector<LayerRect> layers = {
        {1, 100, 100, 50, 40}, {2, 300, 50, 100, 80}, {3, 700, 400, 31, 21}};
    const LayerRect reference = layers[1];
    const struct {
        Arrangement arrangement;
        std::vector<LayerRect> expected;
    } cases[] = {
        {Arrangement::Top, {{1, 100, 50, 50, 40}, layers[1], {3, 700, 50, 31, 21}}},
        {Arrangement::Bottom, {{1, 100, 90, 50, 40}, layers[1], {3, 700, 109, 31, 21}}},
        {Arrangement::Left, {{1, 300, 100, 50, 40}, layers[1], {3, 300, 400, 31, 21}}},
        {Arrangement::Right, {{1, 350, 100, 50, 40}, layers[1], {3, 369, 400, 31, 21}}},
        {Arrangement::CentreX, {{1, 325, 100, 50, 40}, layers[1], {3, 334, 400, 31, 21}}},
        {Arrangement::CentreY, {{1, 100, 70, 50, 40}, layers[1], {3, 700, 79, 31, 21}}},
        {Arrangement::CardCentreX,
         {{1, 475, 100, 50, 40}, {2, 450, 50, 100, 80}, {3, 484, 400, 31, 21}}},
        {Arrangement::CardCentreY,
         {{1, 100, 380, 50, 40}, {2, 300, 360, 100, 80}, {3, 700, 389, 31, 21}}},
        {Arrangement::SameWidth, {{1, 100, 100, 100, 40}, layers[1], {3, 700, 400, 100, 21}}},
        {Arrangement::SameHeight, {{1, 100, 100, 50, 80}, layers[1], {3, 700, 400, 31, 80}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(arrangeRects(layers, c.arrangement, reference, kCard), c.expected)
            << static_cast<int>(c.arrangement);
}

TEST(LayerArrangeTest, SpreadingGivesEqualGapsAndKeepsTheOuterLayers)
{
    // Unequal widths, listed out of their order on the card: Q, S, P, R from left to right.
    // 760 free pixels over three gaps: 253, 253 and 254.
    const std::vector<LayerRect> across = {
        {1, 500, 0, 30, 10}, {2, 0, 5, 100, 10}, {3, 900, 0, 100, 10}, {4, 200, 9, 10, 10}};
    const std::vector<LayerRect> spread = {
        {1, 616, 0, 30, 10}, {2, 0, 5, 100, 10}, {3, 900, 0, 100, 10}, {4, 353, 9, 10, 10}};
    EXPECT_EQ(arrangeRects(across, Arrangement::SpreadX, {}, kCard), spread);

    // The same layers turned on their side spread downwards.
    const auto turned = [](std::vector<LayerRect> rects) {
        for (LayerRect& r : rects)
            r = {r.id, r.y, r.x, r.height, r.width};
        return rects;
    };
    EXPECT_EQ(arrangeRects(turned(across), Arrangement::SpreadY, {}, kCard), turned(spread));

    // Overlapping layers get equal negative gaps; two layers are not spread.
    const std::vector<LayerRect> crowded = {
        {1, 0, 0, 100, 10}, {2, 20, 0, 100, 10}, {3, 100, 0, 100, 10}};
    EXPECT_EQ(arrangeRects(crowded, Arrangement::SpreadX, {}, kCard)[1].x, 50);
    const std::vector<LayerRect> two(across.begin(), across.begin() + 2);
    EXPECT_EQ(arrangeRects(two, Arrangement::SpreadX, {}, kCard), two);
    EXPECT_FALSE(arrangementApplies(Arrangement::SpreadX, 2));
    EXPECT_TRUE(arrangementApplies(Arrangement::SpreadY, 3));
    EXPECT_TRUE(arrangementApplies(Arrangement::CardCentreX, 1));
    EXPECT_FALSE(arrangementApplies(Arrangement::SameWidth, 1));
}

} // namespace
} // namespace torvale
