#include "common/text.h"
#include "render/png8.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <lodepng.h>

namespace torvale {
namespace {

struct CollectingLog : LogSink {
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

// A card with a transparent left half and a horizontal colour ramp on the right half.
MagickWandPtr rampCard()
{
    MagickWandPtr card = newCanvas(64, 16, "none");
    for (int x = 32; x < 64; ++x) {
        MagickWandPtr column = newCanvas(1, 16, formatText("#%02X%02X80", x * 4, 255 - x * 4).c_str());
        MagickCompositeImage(card.get(), column.get(), OverCompositeOp, x, 0);
    }
    return card;
}

struct DecodedPng {
    std::vector<unsigned char> rgba;
    unsigned width = 0;
    unsigned height = 0;
    LodePNGColorType colortype = LCT_RGBA;
    std::size_t paletteSize = 0;
};

DecodedPng decode(const std::vector<unsigned char>& png)
{
    DecodedPng out;
    LodePNGState state;
    lodepng_state_init(&state);
    unsigned char* pixels = nullptr;
    EXPECT_EQ(lodepng_decode(&pixels, &out.width, &out.height, &state, png.data(), png.size()), 0u);
    out.colortype = state.info_png.color.colortype;
    out.paletteSize = state.info_png.color.palettesize;
    out.rgba.assign(pixels, pixels + out.width * out.height * 4);
    std::free(pixels);
    lodepng_state_cleanup(&state);
    return out;
}

TEST(EncodePng8, LimitsThePaletteToTheAskedCount)
{
    for (int count : {2, 16, 128}) {
        MagickWandPtr card = rampCard();
        CollectingLog log;
        const auto png = encodePng8(exportRgba(card.get()), count, 300, log);
        ASSERT_TRUE(png) << count;
        const DecodedPng decoded = decode(*png);
        EXPECT_EQ(decoded.colortype, LCT_PALETTE);
        EXPECT_GE(decoded.paletteSize, 1u);
        EXPECT_LE(decoded.paletteSize, static_cast<std::size_t>(count));
        EXPECT_EQ(decoded.width, 64u);
        EXPECT_EQ(decoded.height, 16u);
        EXPECT_TRUE(log.lines.empty());
    }
}

TEST(EncodePng8, CountOutsideTheRangeKeeps256)
{
    for (int count : {0, 1, 300}) {
        MagickWandPtr card = rampCard();
        CollectingLog log;
        const auto png = encodePng8(exportRgba(card.get()), count, 72, log);
        ASSERT_TRUE(png);
        EXPECT_LE(decode(*png).paletteSize, 256u);
    }
}

TEST(EncodePng8, KeepsTransparentAreas)
{
    MagickWandPtr card = rampCard();
    CollectingLog log;
    const auto png = encodePng8(exportRgba(card.get()), 16, 72, log);
    ASSERT_TRUE(png);
    const DecodedPng decoded = decode(*png);
    for (unsigned y = 0; y < decoded.height; ++y) {
        EXPECT_EQ(decoded.rgba[(y * decoded.width + 5) * 4 + 3], 0) << y;
        EXPECT_EQ(decoded.rgba[(y * decoded.width + 50) * 4 + 3], 255) << y;
    }
}

TEST(Png8FailureText, EndsWithASupportLine)
{
    const std::string text = png8FailureText("fopen() error: /x.png\r\n");
    EXPECT_EQ(text.rfind("fopen() error: /x.png\r\n---", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

} // namespace
} // namespace torvale
