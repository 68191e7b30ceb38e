#include "render/card_pixels.h"
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

// A picture whose pixels name their place: red and green the low bytes of x and y, blue their
// high bits.
RgbaPixels coordinatePixels(std::size_t width, std::size_t height)
{
    RgbaPixels pixels;
    fillPixels(pixels, width, height, {0, 0, 0, 255});
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            unsigned char* p = &pixels.bytes[(y * width + x) * 4];
            p[0] = static_cast<unsigned char>(x % 256);
            p[1] = static_cast<unsigned char>(y % 256);
            p[2] = static_cast<unsigned char>(x / 256 * 16 + y / 256);
        }
    }
    return pixels;
}

// The place a pixel of coordinatePixels names.
std::pair<long, long> placeAt(const RgbaPixels& pixels, std::size_t x, std::size_t y)
{
    const unsigned char* p = &pixels.bytes[(y * pixels.width + x) * 4];
    return {p[0] + 256L * (p[2] / 16), p[1] + 256L * (p[2] % 16)};
}

TEST_P(FitPictureTest, SizePositionAndPixels)
{
    const FitCase& c = GetParam();
    const RgbaPixels picture = coordinatePixels(c.iw, c.ih);
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

    RgbaPixels fitted;
    RgbaPixels scaled;
    const std::optional<FitPosition> position = fitPixels(picture, 0, 0, layer, fitted, scaled);
    ASSERT_TRUE(position);
    EXPECT_EQ(position->x, c.px);
    EXPECT_EQ(position->y, c.py);
    EXPECT_EQ(fitted.width, c.nw);
    EXPECT_EQ(fitted.height, c.nh);
    if (c.cropX >= 0) {
        EXPECT_EQ(placeAt(fitted, 0, 0), std::pair(c.cropX, c.cropY));
        EXPECT_EQ(placeAt(fitted, c.nw - 1, c.nh - 1),
                  std::pair(c.cropX + static_cast<long>(c.nw) - 1,
                            c.cropY + static_cast<long>(c.nh) - 1));
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
    RgbaPixels picture;
    fillPixels(picture, 40, 30, {255, 0, 0, 255});
    RgbaPixels fitted;
    RgbaPixels scaled;
    ASSERT_TRUE(
        fitPixels(picture, 0, 0, rectLayer(OverflowStyle::FillScale, 1, 1), fitted, scaled));
    ASSERT_EQ(fitted.width * fitted.height, 100u * 50u);
    for (std::size_t i = 0; i < fitted.bytes.size(); i += 4)
        ASSERT_EQ((std::array{fitted.bytes[i], fitted.bytes[i + 1], fitted.bytes[i + 2]}),
                  (std::array<unsigned char, 3>{255, 0, 0}));
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
            RgbaPixels fullFit;
            RgbaPixels reducedFit;
            RgbaPixels scaled;
            const auto a = fitPixels(exportRgba(full.wand.get()), 0, 0, layer, fullFit, scaled);
            const auto b = fitPixels(exportRgba(reduced.wand.get()), reduced.width, reduced.height,
                                     layer, reducedFit, scaled);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(std::pair(a->x, a->y), std::pair(b->x, b->y));
            EXPECT_EQ(std::pair(fullFit.width, fullFit.height),
                      std::pair(reducedFit.width, reducedFit.height));
        }
    }
    EXPECT_FALSE(overflowStyleAllowsReducedDecode(OverflowStyle::CropTopLeft));
    EXPECT_FALSE(overflowStyleAllowsReducedDecode(OverflowStyle::CropCentre));
}

} // namespace
} // namespace torvale
