#include "render/picture_input.h"
#include "render/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace torvale {
namespace {

RgbaPixels blankPixels(std::size_t width, std::size_t height, bool opaque)
{
    return {std::vector<unsigned char>(width * height * 4), width, height, opaque};
}

RgbaPixels photo()
{
    const DecodedPicture picture = readPicture(TORVALE_SOURCE_DIR "/examples/badge/photos/p02.jpg");
    return picture ? exportRgba(picture.wand.get()) : RgbaPixels{};
}

// Black with white from column 200 on and a one-pixel white line at column 100.
RgbaPixels edge()
{
    RgbaPixels pixels = blankPixels(400, 400, true);
    for (std::size_t i = 0; i < 400 * 400; ++i) {
        const std::size_t x = i % 400;
        std::fill_n(&pixels.bytes[i * 4], 3, x >= 200 || x == 100 ? 255 : 0);
        pixels.bytes[i * 4 + 3] = 255;
    }
    return pixels;
}

RgbaPixels magickLanczos(const RgbaPixels& src, std::size_t width, std::size_t height)
{
    const MagickWandPtr wand = importRgba(src);
    if (!wand || MagickResizeImage(wand.get(), width, height, LanczosFilter, 1.0) == MagickFalse)
        return {};
    return exportRgba(wand.get());
}

struct LanczosCase {
    const char* name;
    std::function<RgbaPixels()> picture;
    std::size_t width, height;
    double minPsnr; // over red, green and blue against the image library
    // Levels in any channel: bounds ringing beyond the library's own. A shrink by more across
    // than down is filtered by the library across first, so its cut-off ringing differs along
    // diagonal edges.
    int maxDifference;
};

class ResampleLanczosTest : public ::testing::TestWithParam<LanczosCase> {};

TEST_P(ResampleLanczosTest, MatchesImageLibrary)
{
    const LanczosCase& c = GetParam();
    const RgbaPixels src = c.picture();
    ASSERT_FALSE(src.empty());
    RgbaPixels ours;
    ASSERT_TRUE(resamplePixels(src, 0, 0, src.width, src.height, c.width, c.height, ours));
    const RgbaPixels theirs = magickLanczos(src, c.width, c.height);
    ASSERT_EQ(theirs.bytes.size(), ours.bytes.size());
    double squares = 0;
    int worst = 0;
    for (std::size_t i = 0; i < ours.bytes.size(); ++i) {
        const int d = ours.bytes[i] - theirs.bytes[i];
        squares += i % 4 == 3 ? 0 : d * d;
        worst = std::max(worst, std::abs(d));
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 * 0.75 * ours.bytes.size() / squares);
    EXPECT_GE(psnr, c.minPsnr);
    EXPECT_LE(worst, c.maxDifference);
}

INSTANTIATE_TEST_SUITE_P(Resample, ResampleLanczosTest,
                         ::testing::Values(LanczosCase{"PhotoShrunk", photo, 226, 300, 40, 12},
                                           LanczosCase{"PhotoEnlarged", photo, 450, 600, 40, 2},
                                           LanczosCase{"EdgeByTwoAndAHalf", edge, 160, 160, 40, 2},
                                           LanczosCase{"EdgeBy137", edge, 292, 292, 40, 2}),
                         [](const auto& param) { return param.param.name; });

TEST(Resample, TransparentPixelsLendNoColour)
{
    // Transparent black on the left, opaque red on the right.
    RgbaPixels src = blankPixels(40, 40, false);
    for (std::size_t i = 0; i < 40 * 40; ++i) {
        if (i % 40 >= 20)
            src.bytes[i * 4] = src.bytes[i * 4 + 3] = 255;
    }
    for (const std::size_t size : {15, 97}) {
        RgbaPixels dst;
        ASSERT_TRUE(resamplePixels(src, 0, 0, 40, 40, size, size, dst));
        EXPECT_FALSE(dst.opaque);
        for (std::size_t i = 0; i < size * size; ++i) {
            const unsigned char* p = &dst.bytes[i * 4];
            if (p[3] > 0) {
                ASSERT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 0) << size << " pixel " << i;
            }
        }
        EXPECT_EQ(dst.bytes[3], 0);                    // left edge stays transparent
        EXPECT_EQ(dst.bytes[(size - 1) * 4 + 3], 255); // right edge stays opaque
    }
}

TEST(Resample, PartIsScaledAsItsOwnPicture)
{
    RgbaPixels src = blankPixels(60, 40, true);
    for (std::size_t i = 0; i < src.bytes.size(); ++i)
        src.bytes[i] = static_cast<unsigned char>((i * 37) ^ (i / 240 * 11));
    RgbaPixels part = blankPixels(30, 20, true);
    for (std::size_t y = 0; y < 20; ++y)
        std::copy_n(&src.bytes[((y + 5) * 60 + 10) * 4], 30 * 4, &part.bytes[y * 30 * 4]);

    RgbaPixels fromPart;
    RgbaPixels fromWhole;
    ASSERT_TRUE(resamplePixels(part, 0, 0, 30, 20, 13, 9, fromPart));
    ASSERT_TRUE(resamplePixels(src, 10, 5, 30, 20, 13, 9, fromWhole));
    EXPECT_EQ(fromWhole.bytes, fromPart.bytes);
    ASSERT_TRUE(resamplePixels(src, 10, 5, 30, 20, 30, 20, fromWhole)); // same size: a copy
    EXPECT_EQ(fromWhole.bytes, part.bytes);
    EXPECT_TRUE(fromWhole.opaque);

    // Refused: empty sizes and parts that leave the picture.
    for (const auto& [left, top, pw, ph, w, h] :
         std::vector<std::array<long, 6>>{{0, 0, 0, 20, 5, 5},
                                          {0, 0, 30, 20, 0, 5},
                                          {0, 0, 30, 20, 5, 0},
                                          {-1, 0, 30, 20, 5, 5},
                                          {31, 0, 30, 20, 5, 5},
                                          {0, 21, 30, 20, 5, 5},
                                          {0, 0, 61, 40, 5, 5}})
        EXPECT_FALSE(resamplePixels(src, left, top, pw, ph, w, h, fromWhole)) << left << " " << top;
}

} // namespace
} // namespace torvale
