#include "render/sheet_layout.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

// The example badge: 1011 x 638 pixels at 300 dpi.
const double kCardWidth = pixelsToMm(1011, 300);
const double kCardHeight = pixelsToMm(638, 300);

SheetSettings settingsFor(const char* paper, SheetOrientation orientation, double gap = 0)
{
    SheetSettings settings;
    settings.paper = *parsePaper(paper);
    settings.orientation = orientation;
    settings.gap = gap;
    return settings;
}

TEST(SheetLayout, TrueSizeOfTheExampleCard)
{
    EXPECT_NEAR(kCardWidth, 85.6, 0.01);
    EXPECT_NEAR(kCardHeight, 54.0, 0.02);
}

TEST(SheetLayout, AsManyCardsAsFitInTheOrientationThatHoldsMore)
{
    const struct {
        const char* paper;
        SheetOrientation orientation;
        double gap;
        bool landscape;
        int columns;
        int rows;
    } cases[] = {
        {"A4", SheetOrientation::Best, 0, false, 2, 5},
        {"A4", SheetOrientation::Portrait, 0, false, 2, 5},
        {"A4", SheetOrientation::Landscape, 0, true, 3, 3},
        {"A4", SheetOrientation::Best, 5, true, 3, 3},
        {"A4", SheetOrientation::Portrait, 5, false, 2, 4},
        {"A3", SheetOrientation::Best, 0, false, 3, 7},
        {"A5", SheetOrientation::Best, 0, true, 2, 2},
        {"Letter", SheetOrientation::Best, 0, true, 3, 3},  // landscape holds one more
        {"100x150", SheetOrientation::Best, 0, true, 1, 1}, // too narrow upright
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.paper) + " gap " + std::to_string(c.gap));
        const SheetLayoutResult result =
            layoutSheet(kCardWidth, kCardHeight, settingsFor(c.paper, c.orientation, c.gap));
        ASSERT_TRUE(result.ok()) << result.error;
        const SheetLayout& layout = *result.layout;
        EXPECT_EQ(layout.landscape, c.landscape);
        EXPECT_EQ(layout.columns, c.columns);
        EXPECT_EQ(layout.rows, c.rows);
        EXPECT_EQ(layout.landscape, layout.pageWidth > layout.pageHeight);
        EXPECT_DOUBLE_EQ(layout.scale, 1.0);

        // The grid is centred: the first and the last card are as far from their edges.
        const SheetRect first = layout.place(0);
        const SheetRect last = layout.place(layout.perPage() - 1);
        EXPECT_NEAR(first.x, layout.pageWidth - (last.x + last.width), 1e-9);
        EXPECT_NEAR(first.y, layout.pageHeight - (last.y + last.height), 1e-9);
        EXPECT_GE(first.x, 10 - 1e-9);
        EXPECT_GE(first.y, 10 - 1e-9);
        EXPECT_NEAR(layout.place(1 % layout.columns).x - first.x,
                    layout.columns > 1 ? kCardWidth + c.gap : 0, 1e-9);
    }
}

TEST(SheetLayout, ExampleOnA4IsCentredWhereExpected)
{
    const SheetLayout layout =
        *layoutSheet(kCardWidth, kCardHeight, settingsFor("A4", SheetOrientation::Best)).layout;
    EXPECT_NEAR(layout.left, (210 - 2 * kCardWidth) / 2, 1e-9);
    EXPECT_NEAR(layout.top, (297 - 5 * kCardHeight) / 2, 1e-9);
    const SheetRect sixth = layout.place(5); // third row, second column
    EXPECT_NEAR(sixth.x, layout.left + kCardWidth, 1e-9);
    EXPECT_NEAR(sixth.y, layout.top + 2 * kCardHeight, 1e-9);
    // On the back, the columns are mirrored: the back of the first card is on the right.
    EXPECT_DOUBLE_EQ(layout.place(0, true).x, layout.place(1).x);
    EXPECT_DOUBLE_EQ(layout.place(5, true).x, layout.place(4).x);
    EXPECT_DOUBLE_EQ(layout.place(5, true).y, sixth.y);
}

TEST(SheetLayout, PageCount)
{
    const SheetLayout ten =
        *layoutSheet(kCardWidth, kCardHeight, settingsFor("A4", SheetOrientation::Best)).layout;
    const SheetLayout eight =
        *layoutSheet(kCardWidth, kCardHeight, settingsFor("A4", SheetOrientation::Portrait, 5))
             .layout;
    const struct {
        const SheetLayout& layout;
        std::size_t cards;
        std::size_t pages;
    } cases[] = {
        {ten, 0, 0},  {ten, 1, 1},  {ten, 10, 1},   {ten, 24, 3},
        {ten, 25, 3}, {ten, 31, 4}, {eight, 24, 3}, {eight, 25, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.layout.pageCount(c.cards), c.pages) << c.layout.perPage() << " " << c.cards;
}

TEST(SheetLayout, CardLargerThanThePrintableAreaIsAClearError)
{
    const struct {
        const char* paper;
        SheetOrientation orientation;
        double width;
        double height;
        const char* error;
    } cases[] = {
        {"A4", SheetOrientation::Best, 200, 280,
         "卡片 200.0 x 280.0 mm 大于纸张 A4 的可打印区域：纵向 190.0 x 277.0 mm，横向 277.0 x "
         "190.0 mm（页边距 10 mm）"},
        {"A4", SheetOrientation::Landscape, 100, 200,
         "卡片 100.0 x 200.0 mm 大于纸张 A4 横向的可打印区域 277.0 x 190.0 mm（页边距 10 mm）"},
        {"60x60", SheetOrientation::Best, kCardWidth, kCardHeight,
         "卡片 85.6 x 54.0 mm 大于纸张 60x60mm 的可打印区域：纵向 40.0 x 40.0 mm，横向 40.0 x "
         "40.0 mm（页边距 10 mm）"},
    };
    for (const auto& c : cases) {
        const SheetLayoutResult result =
            layoutSheet(c.width, c.height, settingsFor(c.paper, c.orientation));
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.error, c.error);
    }
}

TEST(SheetLayout, RefusalsShowSizesThatDifferAndSuggestFitOnlyWhereItHelps)
{
    const struct {
        double side; // mm, square; 0: the example card
        const char* paper;
        double margin;
        bool fit;
        const char* error;
        bool suggested;
    } cases[] = {
        // The printable 85.59 x 54.01 mm would show as 85.6 x 54.0 at one decimal.
        {0, "105.59x74.01", 10, false,
         "卡片 85.60 x 54.02 mm 大于纸张 105.59x74.01mm 的可打印区域：纵向 85.59 x 54.01 mm，横向 "
         "54.01 x 85.59 mm（页边距 10 mm）",
         true},
        {0.9984, "60x60", 10, false, "卡片 0.998 x 0.998 mm 太小：卡片的宽和高至少要 1 mm", false},
        {pixelsToMm(1, 1200), "60x60", 10, false,
         "卡片 0.02 x 0.02 mm 太小：卡片的宽和高至少要 1 mm", false},
        {pixelsToMm(10, 254), "60x60", 10, false, "", false}, // 1 mm, give or take the conversion
        // Fitted into the printable 1 x 1 mm, the card would be 0.63 mm high.
        {0, "10x10", 4.5, true,
         "卡片 85.6 x 54.0 mm 要缩小到 1.0 x 0.6 mm 才能放进纸张 10x10mm 的可打印区域（页边距 "
         "4.5 mm）：卡片的宽和高至少要 1 mm",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        SheetSettings settings = settingsFor(c.paper, SheetOrientation::Best);
        settings.margin = c.margin;
        settings.fit = c.fit;
        const SheetLayoutResult result = c.side > 0
                                             ? layoutSheet(c.side, c.side, settings)
                                             : layoutSheet(kCardWidth, kCardHeight, settings);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.fitWouldHelp, c.suggested);
    }
}

TEST(SheetLayout, FitScalesALargeCardDownOnly)
{
    SheetSettings settings = settingsFor("A5", SheetOrientation::Best);
    settings.fit = true;
    // 200 x 300 on A5 (128 x 190 printable upright): scaled to 0.6333, one card a page.
    const SheetLayout large = *layoutSheet(200, 300, settings).layout;
    EXPECT_FALSE(large.landscape);
    EXPECT_NEAR(large.scale, 190.0 / 300, 1e-9);
    EXPECT_EQ(large.perPage(), 1);
    EXPECT_NEAR(large.cardHeight, 190, 1e-9);
    // A card that fits keeps its size.
    const SheetLayout small = *layoutSheet(kCardWidth, kCardHeight, settings).layout;
    EXPECT_DOUBLE_EQ(small.scale, 1.0);
    EXPECT_DOUBLE_EQ(small.cardWidth, kCardWidth);
}

TEST(SheetLayout, MarginsThatLeaveNoRoomAreRefused)
{
    SheetSettings settings = settingsFor("A5", SheetOrientation::Best);
    settings.margin = 80;
    EXPECT_EQ(layoutSheet(10, 10, settings).error, "页边距 80 mm 太大：纸张 A5 只有 148 x 210 mm");
    settings.margin = -1;
    EXPECT_FALSE(layoutSheet(10, 10, settings).ok());
}

TEST(SheetLayout, PagesOfMoreThanTheMostCardsAreRefused)
{
    const struct {
        double card; // mm, square
        const char* paper;
        std::int64_t perPage; // 0: refused
    } cases[] = {
        {10, "500x1000", 5000},                // 50 x 100: as many as a page may carry
        {10, "510x1000", 0},                   // 51 x 100
        {2, "5000x5000", 0},                   // 2500 x 2500
        {pixelsToMm(1, 1200), "5000x5000", 0}, // 236220 x 236220: beyond a 32-bit count
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paper);
        SheetSettings settings = settingsFor(c.paper, SheetOrientation::Best);
        settings.margin = 0;
        const SheetLayoutResult result = layoutSheet(c.card, c.card, settings);
        ASSERT_EQ(result.ok(), c.perPage > 0) << result.error;
        if (result.ok()) {
            EXPECT_EQ(result.layout->perPage(), c.perPage);
        }
    }
    // A layout made by hand counts its places without overflowing.
    SheetLayout layout;
    layout.columns = 50000;
    layout.rows = 50000;
    EXPECT_EQ(layout.perPage(), 2500000000);
    EXPECT_EQ(layout.pageCount(2500000001), 2u);
}

TEST(SheetLayout, PaperNames)
{
    const struct {
        const char* text;
        double width; // 0: refused
        double height;
    } cases[] = {
        {"A4", 210, 297},
        {"a3", 297, 420},
        {"A5", 148, 210},
        {"LETTER", 215.9, 279.4},
        {"100x150", 100, 150},
        {"100.5X150mm", 100.5, 150},
        {"B5", 0, 0},
        {"100", 0, 0},
        {"x150", 0, 0},
        {"5x150", 0, 0},
        {"100x150cm", 0, 0},
        {"100x150x2", 0, 0},
        {"", 0, 0},
    };
    for (const auto& c : cases) {
        const auto paper = parsePaper(c.text);
        EXPECT_EQ(paper.has_value(), c.width > 0) << c.text;
        if (paper) {
            EXPECT_DOUBLE_EQ(paper->width, c.width) << c.text;
            EXPECT_DOUBLE_EQ(paper->height, c.height) << c.text;
        }
    }
}

TEST(SheetLayout, CuttingMarksContinueTheEdgesOutwards)
{
    const SheetLayout layout =
        *layoutSheet(kCardWidth, kCardHeight, settingsFor("A4", SheetOrientation::Best)).layout;
    const std::vector<SheetLine> marks = cuttingMarks(layout, 1);
    ASSERT_EQ(marks.size(), 8u);
    const SheetRect card = layout.place(0);
    for (const SheetLine& line : marks) {
        // On the line of an edge, outside the card, from 2 to 7 mm off its corner.
        const bool horizontal = line.y1 == line.y2;
        EXPECT_TRUE(horizontal || line.x1 == line.x2);
        const double along = horizontal ? line.y1 : line.x1;
        EXPECT_TRUE(horizontal ? (along == card.y || along == card.y + card.height)
                               : (along == card.x || along == card.x + card.width));
        const double a = horizontal ? line.x1 : line.y1;
        const double b = horizontal ? line.x2 : line.y2;
        const double low = horizontal ? card.x : card.y;
        const double high = low + (horizontal ? card.width : card.height);
        EXPECT_TRUE((a <= low - kMarkOffset && b <= low - kMarkOffset) ||
                    (a >= high + kMarkOffset && b >= high + kMarkOffset));
        EXPECT_NEAR(std::abs(b - a), kMarkLength, 1e-9);
    }
    // Cards apart by more than a mark's reach keep all their marks; without a gap the marks
    // between cards go and each on the grid's border is drawn once, clear of every card.
    const SheetLayout apart =
        *layoutSheet(kCardWidth, kCardHeight, settingsFor("A4", SheetOrientation::Best, 10))
             .layout;
    EXPECT_EQ(cuttingMarks(apart, 3).size(), 24u);
    ASSERT_GE(layout.columns, 2);
    ASSERT_GE(layout.rows, 2);
    const int cards = layout.columns * 2;
    const std::vector<SheetLine> joined = cuttingMarks(layout, cards);
    EXPECT_EQ(joined.size(), static_cast<std::size_t>(8 + 2 * (layout.columns - 1) + 2));
    for (const SheetLine& line : joined) {
        for (int i = 0; i < cards; ++i) {
            const SheetRect r = layout.place(i);
            const double clear = kMarkClearance - 1e-9;
            EXPECT_TRUE(std::max(line.x1, line.x2) < r.x - clear ||
                        std::min(line.x1, line.x2) > r.x + r.width + clear ||
                        std::max(line.y1, line.y2) < r.y - clear ||
                        std::min(line.y1, line.y2) > r.y + r.height + clear);
        }
    }
}

} // namespace
} // namespace torvale
