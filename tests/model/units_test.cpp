#include "common/text.h"
#include "model/template.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

TEST(Units, SizeToPixels)
{
    const struct {
        const char* text;
        SizeUnit unit;
        std::int32_t dpi;
        std::int32_t pixels;
    } cases[] = {
        {"600", SizeUnit::Pixel, 300, 600},
        {"", SizeUnit::Pixel, 300, 1},
        {"0", SizeUnit::Pixel, 72, 1},
        {"-5", SizeUnit::Pixel, 72, 1},
        {"10", SizeUnit::Centimetre, 300, 1181},
        {"2.54", SizeUnit::Centimetre, 300, 300},
        {"", SizeUnit::Centimetre, 300, 118},
        {"0", SizeUnit::Centimetre, 300, 118},
        {"25.4", SizeUnit::Millimetre, 300, 300},
        {"", SizeUnit::Millimetre, 300, 12},
        {"1", SizeUnit::Inch, 72, 72},
        {"1.5", SizeUnit::Inch, 101, 151}, // 151.5: exactly half rounds down
        {"1.51", SizeUnit::Inch, 100, 151},
        {"", SizeUnit::Inch, 96, 96},
        {"0.001", SizeUnit::Inch, 72, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " unit " + std::to_string(static_cast<int>(c.unit)));
        EXPECT_EQ(sizeToPixels(c.text, c.unit, c.dpi), c.pixels);
    }
}

TEST(Units, PixelsToSizeText)
{
    const struct {
        std::int32_t pixels;
        SizeUnit unit;
        std::int32_t dpi;
        const char* text;
    } cases[] = {
        {800, SizeUnit::Pixel, 72, "800"},   {800, SizeUnit::Centimetre, 72, "28.22"},
        {800, SizeUnit::Inch, 72, "11.111"}, {800, SizeUnit::Centimetre, 300, "6.77"},
        {800, SizeUnit::Inch, 300, "2.667"}, {800, SizeUnit::Millimetre, 300, "67.73"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(pixelsToSizeText(c.pixels, c.unit, c.dpi), c.text);
    }
}

TEST(Units, ColorToHtml)
{
    EXPECT_EQ(colorToHtml(0x000000), "#000000");
    EXPECT_EQ(colorToHtml(0x0000FF), "#FF0000"); // red sits in the low byte
    EXPECT_EQ(colorToHtml(0xAB1234), "#3412AB");
}

TEST(TemplateModel, ResetKeepsOutputChoices)
{
    Template tpl;
    tpl.background.kind = BackgroundKind::Picture;
    tpl.background.background_path = "bg.png";
    tpl.background.unit = SizeUnit::Inch;
    tpl.background.dpi = 300;
    setBackgroundColorMode(tpl.background, BackgroundColorMode::Transparent);
    tpl.layers.resize(2);
    tpl.csv_file_path = "a.csv";
    tpl.is_trim_csv_cell_value = false;
    tpl.pictures_show_picture = false;
    tpl.output = {OutputFormat::Png, 55, OutputColorspace::Cmyk, false, true, 16, "/out", "a", "b"};

    resetTemplate(tpl);

    EXPECT_EQ(tpl.background.kind, BackgroundKind::Custom);
    EXPECT_EQ(tpl.background.background_path, "");
    EXPECT_EQ(tpl.background.unit, SizeUnit::Pixel);
    EXPECT_EQ(tpl.background.width, 800);
    EXPECT_EQ(tpl.background.szHeight, "800");
    EXPECT_EQ(tpl.background.colorMode, BackgroundColorMode::White);
    EXPECT_FALSE(tpl.background.hasAlpha);
    EXPECT_EQ(tpl.background.dpi, 300);
    EXPECT_TRUE(tpl.layers.empty());
    EXPECT_EQ(tpl.csv_file_path, "");
    EXPECT_TRUE(tpl.is_trim_csv_cell_value);
    EXPECT_FALSE(tpl.pictures_show_picture);
    EXPECT_EQ(tpl.output.format, OutputFormat::Png);
    EXPECT_EQ(tpl.output.quality, 55);
    EXPECT_EQ(tpl.output.colorspace, OutputColorspace::Cmyk);
    EXPECT_FALSE(tpl.output.transparent_open);
    EXPECT_TRUE(tpl.output.isSaveToPng8);
    EXPECT_EQ(tpl.output.colorCount, 16);
    EXPECT_EQ(tpl.output.outputFolder, "");
    EXPECT_EQ(tpl.output.file_name_bind_col_name, "");
    EXPECT_EQ(tpl.output.file_name_bind_col_name2, "");
}

} // namespace
} // namespace torvale
