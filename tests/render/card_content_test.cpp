#include "common/text.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/fonts.h"
#include "render/picture_input.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace torvale {
namespace {

struct CollectingLog : LogSink {
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

// A picture of equal vertical stripes (or horizontal ones), one per colour.
void writeStripes(const std::string& path, std::size_t stripe, std::size_t length, bool vertical,
                  const std::vector<const char*>& colors)
{
    MagickWandPtr picture = newCanvas(vertical ? stripe * colors.size() : length,
                                      vertical ? length : stripe * colors.size(), "white");
    ASSERT_TRUE(picture);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        MagickWandPtr part =
            newCanvas(vertical ? stripe : length, vertical ? length : stripe, colors[i]);
        const auto at = static_cast<long>(i * stripe);
        MagickCompositeImage(picture.get(), part.get(), OverCompositeOp, vertical ? at : 0,
                             vertical ? 0 : at);
    }
    ASSERT_NE(MagickWriteImage(picture.get(), path.c_str()), MagickFalse);
}

class CardContentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tpl.templatePath = dir.file("card.dat");
        tpl.background.width = 120;
        tpl.background.height = 80;
        tpl.output.format = OutputFormat::Png;
        tpl.output.transparent_open = false;
    }

    Layer& addLayer(LayerType type, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h)
    {
        Layer layer = makeLayer(type, LayerLevel::AboveBackground, OverflowStyle::ShrinkToFit);
        layer.x = x;
        layer.y = y;
        layer.width = w;
        layer.height = h;
        layer.fontName = "WenQuanYi Zen Hei";
        layer.fontSize = 12;
        tpl.layers.push_back(layer);
        return tpl.layers.back();
    }

    // The card of a row, decoded to RGBA bytes.
    std::vector<unsigned char> card(const CardRow& row)
    {
        const CardRenderer renderer(tpl, 300, test::testFonts(), dir.file("data.csv"));
        const auto encoded = renderer.compose(row, tpl.output, log, stop);
        EXPECT_TRUE(encoded);
        if (!encoded)
            return {};
        MagickWandPtr wand(NewMagickWand());
        MagickReadImageBlob(wand.get(), encoded->bytes.data(), encoded->bytes.size());
        std::vector<unsigned char> pixels(120 * 80 * 4);
        MagickExportImagePixels(wand.get(), 0, 0, 120, 80, "RGBA", CharPixel, pixels.data());
        return pixels;
    }

    static std::string colorAt(const std::vector<unsigned char>& pixels, long x, long y)
    {
        const unsigned char* p = &pixels[static_cast<std::size_t>(y * 120 + x) * 4];
        return colorToHtml(p[0] | (p[1] << 8) | (p[2] << 16));
    }

    test::TempDir dir;
    Template tpl;
    CollectingLog log;
    std::atomic<bool> stop{false};
};

TEST_F(CardContentTest, FixedTextFillsItsFieldsAsABoundCellWouldShowThem)
{
    Layer& fixed = addLayer(LayerType::Text, 0, 0, 120, 40);
    fixed.isFixed = true;
    fixed.text = "编号：{工号}";
    const auto a = card({{"工号", "A0001"}});
    const auto b = card({{"工号", "B0002"}});
    EXPECT_NE(a, b);

    tpl.layers[0].isFixed = false;
    tpl.layers[0].bind_col_name = "shown";
    EXPECT_EQ(card({{"shown", "编号：A0001"}}), a);
    EXPECT_TRUE(log.lines.empty());
}

// A vertical text on the card: "员工证" stacked in one column at the layer's right, three
// characters one above another; a column longer than the layer is logged as taller.
TEST_F(CardContentTest, VerticalTextStandsInAColumnOfTheLayer)
{
    Layer& title = addLayer(LayerType::Text, 60, 0, 60, 80);
    title.bind_col_name = "名称";
    title.isVertical = true;
    title.tHAlign = 2;
    const auto pixels = card({{"名称", "员工证"}});
    EXPECT_TRUE(log.lines.empty());
    long left = 120, right = -1, top = 80, bottom = -1;
    for (long y = 0; y < 80; ++y) {
        for (long x = 0; x < 120; ++x) {
            if (pixels[static_cast<std::size_t>(y * 120 + x) * 4] < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    // Characters of 16 pixels: one wide at the right edge, three high in the middle.
    EXPECT_GE(left, 98);
    EXPECT_GE(right, 114);
    EXPECT_NEAR(bottom - top, 45, 3);
    EXPECT_NEAR((top + bottom) / 2.0, 40, 2);

    card({{"名称", "中华人民共和国居民身份证"}});
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("文字的行比图层高", 0), 0u) << log.lines[0];
}

TEST_F(CardContentTest, FixedPictureAndPlaceholderAreDrawnFromTheTemplateFolder)
{
    writeStripes(dir.file("logo.png"), 20, 20, true, {"#FF0000"});
    writeStripes(dir.file("none.png"), 30, 30, true, {"#0000FF"});
    Layer& logo = addLayer(LayerType::Picture, 0, 0, 20, 20);
    logo.isFixed = true;
    logo.filePath = "logo.png";
    Layer& photo = addLayer(LayerType::Picture, 60, 0, 30, 30);
    photo.bind_col_name = "photo";
    photo.placeholderPath = "none.png";

    for (const char* cell : {"", "missing.png"}) {
        SCOPED_TRACE(cell);
        log.lines.clear();
        const auto pixels = card({{"photo", cell}});
        EXPECT_EQ(colorAt(pixels, 10, 10), "#FF0000");
        EXPECT_EQ(colorAt(pixels, 75, 15), "#0000FF");
        EXPECT_EQ(colorAt(pixels, 40, 40), "#FFFFFF");
        // A named picture that is missing is still a problem of the card; no picture is none.
        if (*cell)
            EXPECT_EQ(log.lines,
                      std::vector<std::string>{"无效图片:missing.png（已使用占位图片）\n"});
        else
            EXPECT_TRUE(log.lines.empty());
    }
}

TEST_F(CardContentTest, CoverFillsTheFrameAndKeepsTheAlignedPart)
{
    // Three stripes of 30; scaled by 2/3 to cover a 20 x 20 frame, each stripe is 20 wide.
    writeStripes(dir.file("across.png"), 30, 30, true, {"#FF0000", "#00FF00", "#0000FF"});
    writeStripes(dir.file("down.png"), 30, 30, false, {"#FF0000", "#00FF00", "#0000FF"});
    Layer& photo = addLayer(LayerType::Picture, 10, 10, 20, 20);
    photo.bind_col_name = "photo";
    photo.overflow_style = OverflowStyle::Cover;
    const char* kept[] = {"#FF0000", "#00FF00", "#0000FF"};
    for (const int align : {0, 1, 2}) {
        SCOPED_TRACE(align);
        tpl.layers[0].pHAlign = align;
        tpl.layers[0].pVAlign = align;
        for (const char* file : {"across.png", "down.png"}) {
            const auto pixels = card({{"photo", dir.file(file)}});
            EXPECT_EQ(colorAt(pixels, 20, 20), kept[align]) << file;
            for (const auto& [x, y] : {std::pair{10L, 10L}, {29L, 29L}})
                EXPECT_NE(colorAt(pixels, x, y), "#FFFFFF") << file;
            for (const auto& [x, y] : {std::pair{9L, 9L}, {30L, 30L}, {30L, 10L}, {10L, 30L}})
                EXPECT_EQ(colorAt(pixels, x, y), "#FFFFFF") << file;
        }
    }
}

TEST_F(CardContentTest, RoundCornersShowTheCardBelowAndTheBorderIsInside)
{
    tpl.background.drawingColor = 0x00FF00; // 0x00BBGGRR: the card is green
    writeStripes(dir.file("red.png"), 40, 40, true, {"#FF0000"});
    Layer& photo = addLayer(LayerType::Picture, 10, 10, 40, 40);
    photo.bind_col_name = "photo";
    photo.cornerRadius = 20; // half the side: a circle
    photo.borderWidth = 3;
    photo.borderColor = "#0000FF";
    const auto pixels = card({{"photo", dir.file("red.png")}});
    EXPECT_EQ(colorAt(pixels, 10, 10), "#00FF00"); // outside the circle
    EXPECT_EQ(colorAt(pixels, 30, 30), "#FF0000");
    EXPECT_EQ(colorAt(pixels, 30, 11), "#0000FF"); // the border at the top
    EXPECT_EQ(colorAt(pixels, 30, 14), "#FF0000"); // and the picture under it
    EXPECT_EQ(colorAt(pixels, 30, 9), "#00FF00");

    // Square corners with a border: the corner pixel is the border's.
    tpl.layers[0].cornerRadius = 0;
    EXPECT_EQ(colorAt(card({{"photo", dir.file("red.png")}}), 10, 10), "#0000FF");
}

TEST_F(CardContentTest, RotatedPicturesTurnWithTheirLayerAndLayersOfAnySizeTurn)
{
    // A 40 x 20 picture with a red top-left corner fits the layer turned upright unscaled, and
    // the corner turns with it: fixed pictures and row pictures alike.
    {
        MagickWandPtr picture = newCanvas(40, 20, "#0000FF");
        MagickWandPtr corner = newCanvas(10, 10, "#FF0000");
        MagickCompositeImage(picture.get(), corner.get(), OverCompositeOp, 0, 0);
        ASSERT_NE(MagickWriteImage(picture.get(), dir.file("corner.png").c_str()), MagickFalse);
    }
    const struct {
        std::int32_t rotation, width, height;
        long redX, redY;
    } cases[] = {
        {0, 40, 20, 5, 5}, {90, 20, 40, 15, 5}, {180, 40, 20, 35, 15}, {270, 20, 40, 5, 35}};
    const CardRow row{{"photo", dir.file("corner.png")}, {"value", "员工 A0001"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotation);
        tpl.layers.clear();
        Layer& layer = addLayer(LayerType::Picture, 10, 10, c.width, c.height);
        layer.overflow_style = OverflowStyle::FillScale;
        layer.rotation = c.rotation;
        layer.isFixed = c.rotation % 180 == 0;
        layer.filePath = "corner.png";
        layer.bind_col_name = "photo";
        const auto pixels = card(row);
        EXPECT_EQ(colorAt(pixels, 10 + c.redX, 10 + c.redY), "#FF0000");
        EXPECT_EQ(colorAt(pixels, 9 + c.width - c.redX, 9 + c.height - c.redY), "#0000FF");
    }
    for (const LayerType type : {LayerType::Text, LayerType::Picture, LayerType::Code}) {
        for (const auto& [w, h] : {std::pair{1, 1}, {1, 5000}, {5000, 1}}) {
            tpl.layers.clear();
            Layer& layer = addLayer(type, 5, 5, w, h);
            layer.rotation = 90;
            layer.isFixed = type == LayerType::Picture;
            layer.filePath = "corner.png";
            layer.bind_col_name = "value";
            EXPECT_EQ(card(row).size(), 120u * 80 * 4);
        }
    }
}

TEST_F(CardContentTest, PicturesAreFoundInTheirFolderByName)
{
    std::filesystem::create_directories(dir.path() / "photos" / "2026");
    writeStripes(dir.file("photos/A0001.JPG"), 30, 30, true, {"#FF0000"});
    writeStripes(dir.file("photos/b2.Png"), 30, 30, true, {"#00FF00"});
    writeStripes(dir.file("photos/2026/C3.jpeg"), 30, 30, true, {"#0000FF"});
    writeStripes(dir.file("photos/D4.gif"), 30, 30, true, {"#FF0000"});
    // Links: out of the folder (a folder link and a file link) and within it.
    writeStripes(dir.file("secret.jpg"), 30, 30, true, {"#FF0000"});
    std::filesystem::create_directory_symlink("..", dir.path() / "photos" / "up");
    std::filesystem::create_symlink("../secret.jpg", dir.path() / "photos" / "link.jpg");
    std::filesystem::create_symlink("b2.Png", dir.path() / "photos" / "alias.png");
    const std::string folder = dir.file("photos");
    const struct {
        const char* cell;
        const char* found; // "" when not found
        bool outside;
    } cases[] = {
        {"A0001", "A0001.JPG", false},
        {"B2", "b2.Png", false},
        {"2026/C3", "2026/C3.jpeg", false},
        {"D4.gif", "D4.gif", false},
        {"D4.jpg", "", false},
        {"Z9", "", false},
        {"../A0001", "", true},
        {"/etc/hostname", "", true},
        {"up/secret", "", true},
        {"link.jpg", "", true},
        {"alias.png", "alias.png", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        const FolderPicture found = findFolderPicture(folder, c.cell);
        EXPECT_EQ(found.path, *c.found ? folder + "/" + c.found : "");
        EXPECT_EQ(found.outside, c.outside);
    }
    // A NUL would cut the name short: a cell with control characters names no file.
    const std::string withNul("A0001\0.jpg", 10);
    const FolderPicture nul = findFolderPicture(folder, withNul);
    EXPECT_TRUE(nul.controls && nul.path.empty());
    EXPECT_EQ(folderPictureProblem(folder, withNul, nul),
              "'A0001\uFFFD.jpg' 含有控制字符，不能用作图片文件名");
    EXPECT_EQ(folderPictureProblem(folder, "Z9", findFolderPicture(folder, "Z9")),
              "图片文件夹 '" + folder +
                  "' 里没有这张图片（试过 Z9.jpg、Z9.jpeg、Z9.png、Z9.bmp、Z9.gif、Z9.webp、"
                  "Z9.tif、Z9.tiff、Z9.heic、Z9.heif、Z9.avif）");

    // The layer's folder is relative to the template's; a card draws what it finds.
    Layer& photo = addLayer(LayerType::Picture, 0, 0, 30, 30);
    photo.bind_col_name = "工号";
    photo.pictureFolder = "photos";
    EXPECT_EQ(colorAt(card({{"工号", "B2"}}), 15, 15), "#00FF00");
    EXPECT_TRUE(log.lines.empty());
    card({{"工号", "../A0001"}});
    EXPECT_EQ(log.lines, std::vector<std::string>{"无效图片:../A0001（'../A0001' 不在图片文件夹 '" +
                                                  folder + "' 里，不会读取）\n"});
}

TEST_F(CardContentTest, EachRowShowsOnlyTheLayersItsRulesLetThrough)
{
    const char* colors[] = {"#FF0000", "#00FF00", "#0000FF"};
    const char* kinds[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        const std::string file = std::string("kind") + kinds[i] + ".png";
        writeStripes(dir.file(file), 20, 20, true, {colors[i]});
        Layer& layer = addLayer(LayerType::Picture, 10 + 35 * i, 10, 20, 20);
        layer.isFixed = true;
        layer.filePath = file;
        layer.showIfColumn = "类别";
        layer.showIfValue = kinds[i];
    }
    // Hidden on every row here: its missing picture is no problem of these cards.
    Layer& missing = addLayer(LayerType::Picture, 0, 50, 20, 20);
    missing.isFixed = true;
    missing.filePath = "missing.png";
    missing.showIfColumn = "类别";
    missing.showIfValue = "D";

    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(kinds[row]);
        const auto pixels = card({{"类别", kinds[row]}});
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(colorAt(pixels, 20 + 35 * i, 20), i == row ? colors[i] : "#FFFFFF");
    }
    const auto none = card({{"类别", "a"}});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(colorAt(none, 20 + 35 * i, 20), "#FFFFFF");
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(colorAt(card({{"类别", "D"}}), 10, 60), "#FFFFFF");
    EXPECT_EQ(log.lines, std::vector<std::string>{"无效图片:missing.png\n"});
}

TEST(LayerRule, TestsTheCellOfItsColumn)
{
    const struct {
        const char* column;
        ShowIfOp op;
        const char* value;
        const char* cell; // nullptr: the row has no such column
        bool shown;
    } cases[] = {
        {"", ShowIfOp::Equals, "x", "y", true},
        {"类别", ShowIfOp::Equals, "VIP", "VIP", true},
        {"类别", ShowIfOp::Equals, "VIP", "vip", false},
        {"类别", ShowIfOp::Equals, "", nullptr, true},
        {"类别", ShowIfOp::NotEquals, "VIP", "嘉宾", true},
        {"类别", ShowIfOp::NotEquals, "VIP", "VIP", false},
        {"类别", ShowIfOp::Empty, "", "", true},
        {"类别", ShowIfOp::Empty, "", nullptr, true},
        {"类别", ShowIfOp::Empty, "", " ", false},
        {"类别", ShowIfOp::NotEmpty, "", "0", true},
        {"类别", ShowIfOp::NotEmpty, "", nullptr, false},
        {"类别", ShowIfOp::Contains, "宾", "贵宾席", true},
        {"类别", ShowIfOp::Contains, "VIP", "vip席", false},
        {"类别", ShowIfOp::Contains, "", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " " + c.value + " " + (c.cell ? c.cell : "(none)"));
        Layer layer;
        layer.showIfColumn = c.column;
        layer.showIfOp = c.op;
        layer.showIfValue = c.value;
        CardRow row{{"其他", "VIP"}};
        if (c.cell)
            row.emplace("类别", c.cell);
        EXPECT_EQ(layerShown(layer, row), c.shown);
    }
}

} // namespace
} // namespace torvale
