#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/test_pictures.h"
#include "support/test_support.h"

#include <array>
#include <gtest/gtest.h>

namespace torvale {
namespace {

Layer rectLayer(OverflowStyle style, std::int32_t hAlign, std::int32_t vAlign)
{
    Layer layer = makeLayer(LayerType::Picture, LayerLevel::AboveBackground, style);
    layer.x = 10;
    layer.y = 20;
    layer.width = 100;
    layer.height = 50;
    layer.pHAlign = hAlign;
    layer.pVAlign = vAlign;
    return layer;
}

struct FitCase {
    const char* name;
    std::int32_t style;
    std::size_t iw, ih;
    std::int32_t hAlign, vAlign;
    std::size_t nw, nh; // size of the fitted picture
    std::int32_t px, py;
    long cropX, cropY; // source pixel at the fitted picture's origin (-1: scaled, not cropped)
};

class FitPictureTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitPictureTest, SizePositionAndPixels)
{
    const FitCase& c = GetParam();
    MagickWandPtr picture = test::coordinatePicture(c.iw, c.ih);
    const Layer layer = rectLayer(static_cast<OverflowStyle>(c.style), c.hAlign, c.vAlign);

    // The rule the canvas draws by gives the same rectangles.
    const std::optional<PictureFit> rect = fitPictureRect(layer, c.iw, c.ih);
    if (c.style > 4) {
        EXPECT_FALSE(rect);
    } else {
        ASSERT_TRUE(rect);
        EXPECT_EQ((std::array{rect->x, rect->y, rect->width, rect->height}),
                  (std::array<std::int64_t, 4>{c.px, c.py, static_cast<std::int64_t>(c.nw),
                                               static_cast<std::int64_t>(c.nh)}));
        EXPECT_EQ(rect->sourceX, std::max(0L, c.cropX));
        EXPECT_EQ(rect->sourceY, std::max(0L, c.cropY));
    }

    const FitPosition position = fitPicture(picture.get(), layer);

    EXPECT_EQ(position.x, c.px);
    EXPECT_EQ(position.y, c.py);
    EXPECT_EQ(MagickGetImageWidth(picture.get()), c.nw);
    EXPECT_EQ(MagickGetImageHeight(picture.get()), c.nh);
    if (c.cropX >= 0) {
        const auto first = test::pixelAt(picture.get(), 0, 0);
        EXPECT_EQ(first[0], c.cropX);
        EXPECT_EQ(first[1], c.cropY);
        const auto last =
            test::pixelAt(picture.get(), static_cast<long>(c.nw) - 1, static_cast<long>(c.nh) - 1);
        EXPECT_EQ(last[0], c.cropX + c.nw - 1);
        EXPECT_EQ(last[1], c.cropY + c.nh - 1);
    }
}

// A 100 x 50 rectangle at (10, 20) throughout.
INSTANTIATE_TEST_SUITE_P(
    Styles, FitPictureTest,
    ::testing::Values(FitCase{"ShrinkWideMiddle", 0, 400, 100, 1, 1, 100, 25, 10, 32, -1, -1},
                      FitCase{"ShrinkWideBottom", 0, 400, 100, 1, 2, 100, 25, 10, 45, -1, -1},
                      FitCase{"ShrinkSmallKept", 0, 40, 30, 2, 0, 40, 30, 70, 20, 0, 0},
                      FitCase{"ScaleUp", 4, 20, 25, 1, 1, 40, 50, 40, 20, -1, -1},
                      FitCase{"ScaleHeldAtOnePixel", 4, 1000, 1, 1, 0, 100, 1, 10, 20, -1, -1},
                      FitCase{"FillIgnoresAlignment", 1, 40, 30, 2, 2, 100, 50, 10, 20, -1, -1},
                      FitCase{"FillExactSize", 1, 100, 50, 2, 2, 100, 50, 10, 20, 0, 0},
                      FitCase{"CropTopLeft", 2, 300, 300, 1, 1, 100, 50, 10, 20, 0, 0},
                      FitCase{"CropCentre", 3, 300, 300, 1, 1, 100, 50, 10, 20, 100, 125},
                      FitCase{"CropCentreNarrow", 3, 60, 300, 1, 1, 60, 50, 30, 20, 0, 125},
                      FitCase{"CropTopLeftSmall", 2, 60, 30, 2, 2, 60, 30, 50, 40, 0, 0},
                      FitCase{"UnknownStyleUntouched", 7, 400, 300, 2, 2, 400, 300, 10, 20, 0, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(FitPicture, ScaledPictureKeepsItsColour)
{
    MagickWandPtr picture = newCanvas(40, 30, "red");
    fitPicture(picture.get(), rectLayer(OverflowStyle::FillScale, 1, 1));
    for (const auto& [x, y] : {std::pair{0L, 0L}, {50L, 25L}, {99L, 49L}}) {
        const auto rgb = test::pixelAt(picture.get(), x, y);
        EXPECT_EQ(rgb[0], 65535);
        EXPECT_EQ(rgb[1], 0);
        EXPECT_EQ(rgb[2], 0);
    }
}

TEST(FitPicture, ReducedDecodeGivesTheSameGeometryAsAFullDecode)
{
    test::TempDir dir;
    const std::string path = dir.file("photo.jpg");
    test::writeFile(path, test::solidPictureBytes(1203, 611, "green", "JPEG"));

    for (const auto style :
         {OverflowStyle::ShrinkToFit, OverflowStyle::ScaleToFit, OverflowStyle::FillScale}) {
        ASSERT_TRUE(overflowStyleAllowsReducedDecode(style));
        for (const auto& [hAlign, vAlign] : {std::pair{1, 1}, {2, 2}}) {
            SCOPED_TRACE(static_cast<int>(style));
            const Layer layer = rectLayer(style, hAlign, vAlign);
            DecodedPicture full = readPicture(path);
            DecodedPicture reduced = readPicture(path, 100, 50);
            ASSERT_TRUE(full && reduced);
            EXPECT_LT(MagickGetImageWidth(reduced.wand.get()), 1203u);
            const FitPosition a = fitPicture(full.wand.get(), layer);
            const FitPosition b =
                fitPicture(reduced.wand.get(), layer, reduced.width, reduced.height);
            EXPECT_EQ(a.x, b.x);
            EXPECT_EQ(a.y, b.y);
            EXPECT_EQ(MagickGetImageWidth(full.wand.get()),
                      MagickGetImageWidth(reduced.wand.get()));
            EXPECT_EQ(MagickGetImageHeight(full.wand.get()),
                      MagickGetImageHeight(reduced.wand.get()));
        }
    }
    EXPECT_FALSE(overflowStyleAllowsReducedDecode(OverflowStyle::CropTopLeft));
    EXPECT_FALSE(overflowStyleAllowsReducedDecode(OverflowStyle::CropCentre));
}

} // namespace
} // namespace torvale
