#include "batch/card_preview.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

TEST(CardPreview, DrawsTheRowAsPixelsAndStopsWhenAsked)
{
    test::TempDir dir;
    test::writeFile(dir.file("rows.csv"), "名字\n张三\n");
    PreviewRequest request;
    request.tpl.background.width = 64;
    request.tpl.background.height = 40;
    request.fonts = test::sharedTestFonts();
    request.csvPath = dir.file("rows.csv");

    const PreviewResult drawn = renderPreview(request);
    EXPECT_FALSE(drawn.problem);
    EXPECT_EQ(drawn.rowCount, 1u);
    ASSERT_EQ(drawn.card.bytes.size(), 64u * 40 * 4);
    EXPECT_EQ(drawn.card.bytes[0], 255); // the white canvas

    // A preview that goes while it draws gets no card, and no problem to report.
    request.stop = std::make_shared<const std::atomic<bool>>(true);
    const PreviewResult stopped = renderPreview(request);
    EXPECT_TRUE(stopped.card.empty());
    EXPECT_FALSE(stopped.problem);
}

} // namespace
} // namespace torvale
