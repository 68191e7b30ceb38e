#include "render/magick.h"
#include "support/test_support.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <zlib.h>

namespace torvale {
namespace {

using test::CommandResult;
using test::exampleRows;
using test::folderContent;
using test::readFile;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

namespace fs = std::filesystem;

const std::string kExampleFolder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
const std::string kExample = kExampleFolder + "/badge.dat";

// The example card's true size, and where the cards go on A4 upright: 2 x 5, centred.
constexpr double kPointsPerMm = 72 / 25.4;
constexpr double kCardWidth = 1011 / 300.0 * 25.4;
constexpr double kCardHeight = 638 / 300.0 * 25.4;
constexpr double kLeft = (210 - 2 * kCardWidth) / 2;
constexpr double kTop = (297 - 5 * kCardHeight) / 2;

struct Place {
    double x, y; // mm from the page's top-left corner
};

Place examplePlace(int index)
{
    return {kLeft + (index % 2) * kCardWidth, kTop + (index / 2) * kCardHeight};
}

CommandResult sheetTool(const TempDir& dir, const std::string& arguments)
{
    return runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                      shellQuote(TORVALE_BATCH_EXE) + " sheet " + arguments);
}

// The example's template with its picture replaced by a white canvas of width x height pixels
// at dpi (its layers, beyond such a canvas, drawn clipped).
std::string exampleOnCanvas(int width, int height, int dpi)
{
    std::string text = readFile(kExample);
    const std::string picture =
        "\"background_type\":\t0,\n\t\"background_path\":\t\"background.png\",\n"
        "\t\"dpi\":\t300,";
    const std::string canvas = "\"background_type\": 1, \"width\": \"" + std::to_string(width) +
                               "\", \"height\": \"" + std::to_string(height) +
                               "\", \"unit\": 0, \"dpi\": " + std::to_string(dpi) +
                               ", \"background_color\": \"#ffffff\",";
    return text.replace(text.find(picture), picture.size(), canvas);
}

// The number of pages pdfinfo reads in the file; -1 when it cannot read it.
int pdfPages(const std::string& pdf)
{
    const CommandResult r = runCommand("pdfinfo " + shellQuote(pdf));
    const std::size_t at = r.out.find("Pages:");
    return r.exitCode == 0 && at != std::string::npos ? std::stoi(r.out.substr(at + 6)) : -1;
}

// The first Deflate stream of the file that places images: a page's content.
std::string firstPageContent(const std::string& pdf)
{
    for (std::size_t at = pdf.find("stream\n"); at != std::string::npos;
         at = pdf.find("stream\n", at + 1)) {
        const std::size_t begin = at + 7;
        const std::size_t end = pdf.find("endstream", begin);
        if (end == std::string::npos)
            break;
        std::string text(16 << 20, '\0');
        uLongf length = text.size();
        if (uncompress(reinterpret_cast<Bytef*>(text.data()), &length,
                       reinterpret_cast<const Bytef*>(pdf.data() + begin), end - begin) != Z_OK)
            continue;
        text.resize(length);
        if (text.find(" Do") != std::string::npos)
            return text;
    }
    return "";
}

// The matrices ("a b c d e f cm") in force where images are drawn ("/name Do").
std::vector<std::vector<double>> imageMatrices(const std::string& content)
{
    std::vector<std::vector<double>> matrices;
    std::vector<double> numbers;
    std::vector<double> last;
    std::istringstream in(content);
    for (std::string token; in >> token;) {
        char* end = nullptr;
        const double value = std::strtod(token.c_str(), &end);
        if (end != token.c_str() && *end == '\0') {
            numbers.push_back(value);
            continue;
        }
        if (token == "cm" && numbers.size() >= 6)
            last.assign(numbers.end() - 6, numbers.end());
        else if (token == "Do")
            matrices.push_back(last);
        numbers.clear();
    }
    return matrices;
}

// Page n of a PDF as pdftoppm draws it at dpi.
MagickWandPtr renderPage(const TempDir& dir, const std::string& pdf, int page, int dpi)
{
    const std::string prefix = dir.file("page");
    const CommandResult r = runCommand("pdftoppm -singlefile -r " + std::to_string(dpi) + " -f " +
                                       std::to_string(page) + " -l " + std::to_string(page) + " " +
                                       shellQuote(pdf) + " " + shellQuote(prefix));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    MagickWandPtr wand(NewMagickWand());
    EXPECT_NE(MagickReadImage(wand.get(), (prefix + ".ppm").c_str()), MagickFalse);
    return wand;
}

// The root mean square difference (0 to 1) between the card picture, scaled to its size at dpi,
// and the page's pixels at a place; a 2-pixel border is left out, where the page's pixels mix
// with what is around the card.
double differenceAt(MagickWand* page, const Place& place, int dpi, const std::string& card)
{
    const double pixelsPerMm = dpi / 25.4;
    const auto width = static_cast<std::size_t>(std::lround(kCardWidth * pixelsPerMm));
    const auto height = static_cast<std::size_t>(std::lround(kCardHeight * pixelsPerMm));
    MagickWandPtr expected(NewMagickWand());
    MagickReadImageBlob(expected.get(), card.data(), card.size());
    MagickResizeImage(expected.get(), width, height, TriangleFilter, 1.0);
    MagickCropImage(expected.get(), width - 4, height - 4, 2, 2);
    MagickWandPtr seen(CloneMagickWand(page));
    MagickCropImage(seen.get(), width - 4, height - 4, std::lround(place.x * pixelsPerMm) + 2,
                    std::lround(place.y * pixelsPerMm) + 2);
    // Compared at a tenth of the size: the text and the dots of the card are resampled
    // differently by the reader and the image library; the colours and shapes must match.
    for (MagickWand* wand : {seen.get(), expected.get()}) {
        MagickSetImagePage(wand, 0, 0, 0, 0);
        MagickResizeImage(wand, width / 10, height / 10, BoxFilter, 1.0);
    }
    double distortion = 1;
    MagickWandPtr diff(
        MagickCompareImages(seen.get(), expected.get(), RootMeanSquaredErrorMetric, &distortion));
    return distortion;
}

TEST(SheetCommand, ExampleCardsAreEmbeddedAtTrueSizeWhereTheLayoutPutsThem)
{
    TempDir dir;
    const std::string cards = dir.file("cards");
    const CommandResult files = runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) +
                                           " " + shellQuote(TORVALE_BATCH_EXE) + " run " +
                                           shellQuote(kExample) + " --out " + shellQuote(cards));
    ASSERT_EQ(files.exitCode, 0) << files.err;
    const std::string pdf = dir.file("sheet.pdf");
    const CommandResult r =
        sheetTool(dir, shellQuote(kExample) + " --out " + shellQuote(pdf) + " --jobs 2");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("已将 24 张卡片排版为 3 页（每页 10 张）"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");

    const CommandResult info = runCommand("pdfinfo " + shellQuote(pdf));
    EXPECT_NE(info.out.find("Pages:           3"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("595.276 x 841.89 pts (A4)"), std::string::npos) << info.out;

    // Every card is in the file as the very bytes of its JPEG file.
    const std::string bytes = readFile(pdf);
    const auto cardFiles = folderContent(cards);
    ASSERT_EQ(cardFiles.size(), 24u);
    for (const auto& [name, card] : cardFiles)
        EXPECT_NE(bytes.find(card), std::string::npos) << name;

    // Placed at their true size, row by row: cairo flips the page first, so an image's matrix
    // is (width, 0, 0, -height, left, top + height) in points from the top.
    const auto matrices = imageMatrices(firstPageContent(bytes));
    ASSERT_EQ(matrices.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(matrices[i].size(), 6u);
        const Place place = examplePlace(i);
        EXPECT_NEAR(matrices[i][0], kCardWidth * kPointsPerMm, 0.01) << i;
        EXPECT_NEAR(matrices[i][3], -kCardHeight * kPointsPerMm, 0.01) << i;
        EXPECT_NEAR(matrices[i][4], place.x * kPointsPerMm, 0.01) << i;
        EXPECT_NEAR(matrices[i][5], (place.y + kCardHeight) * kPointsPerMm, 0.01) << i;
    }

    // A reader draws the cards of the first ten rows there, in row order.
    const MagickWandPtr page = renderPage(dir, pdf, 1, 100);
    std::vector<std::string> firstTen;
    for (const auto& [name, card] : cardFiles) {
        if (name.rfind("A00", 0) == 0 && std::stoi(name.substr(1, 4)) <= 10)
            firstTen.push_back(card);
    }
    ASSERT_EQ(firstTen.size(), 10u);
    // Each place shows its own card: closer to it than to any other card, and a millimetre off
    // the place is clearly worse.
    for (int i = 0; i < 10; ++i) {
        const double own = differenceAt(page.get(), examplePlace(i), 100, firstTen[i]);
        EXPECT_LT(own, 0.02) << i;
        for (int j = 0; j < 10; ++j) {
            if (j != i) {
                EXPECT_LT(own, differenceAt(page.get(), examplePlace(i), 100, firstTen[j])) << i;
            }
        }
        Place shifted = examplePlace(i);
        shifted.x += 1;
        EXPECT_GT(differenceAt(page.get(), shifted, 100, firstTen[i]), 0.025) << i;
    }
}

TEST(SheetCommand, CuttingMarksAreOutsideTheCards)
{
    TempDir dir;
    const std::string marked = dir.file("marked.pdf");
    const std::string plain = dir.file("plain.pdf");
    ASSERT_EQ(sheetTool(dir, shellQuote(kExample) + " --out " + shellQuote(marked)).exitCode, 0);
    ASSERT_EQ(
        sheetTool(dir, shellQuote(kExample) + " --no-marks --out " + shellQuote(plain)).exitCode,
        0);
    constexpr int kDpi = 150;
    const double pixelsPerMm = kDpi / 25.4;
    const MagickWandPtr withMarks = renderPage(dir, marked, 1, kDpi);
    const MagickWandPtr without = renderPage(dir, plain, 1, kDpi);
    const std::size_t width = MagickGetImageWidth(withMarks.get());
    const std::size_t height = MagickGetImageHeight(withMarks.get());
    ASSERT_EQ(width, MagickGetImageWidth(without.get()));
    std::vector<unsigned char> a(width * height);
    std::vector<unsigned char> b(width * height);
    MagickExportImagePixels(withMarks.get(), 0, 0, width, height, "I", CharPixel, a.data());
    MagickExportImagePixels(without.get(), 0, 0, width, height, "I", CharPixel, b.data());

    // The pages differ by the marks alone: dark pixels, none on a card or its edge (with no
    // gap, the marks between cards go), each near a card's corner.
    std::size_t markPixels = 0;
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            if (std::abs(a[y * width + x] - b[y * width + x]) < 40)
                continue;
            ++markPixels;
            const double mx = (x + 0.5) / pixelsPerMm;
            const double my = (y + 0.5) / pixelsPerMm;
            const double slack = 1 / pixelsPerMm;
            bool nearCorner = false;
            for (int i = 0; i < 10; ++i) {
                const Place p = examplePlace(i);
                EXPECT_FALSE(mx > p.x - slack && mx < p.x + kCardWidth + slack &&
                             my > p.y - slack && my < p.y + kCardHeight + slack)
                    << x << "," << y << " on card " << i;
                for (const double cx : {p.x, p.x + kCardWidth}) {
                    for (const double cy : {p.y, p.y + kCardHeight})
                        nearCorner |= std::hypot(mx - cx, my - cy) <= 7 + slack;
                }
            }
            EXPECT_TRUE(nearCorner) << x << "," << y;
        }
    }
    // Out of the grid of 2 x 5 cards: two lines at each of its 4 corners and one at each of
    // the 10 ends of the edges between cards, 5 mm each.
    EXPECT_GT(markPixels, static_cast<std::size_t>(18 * 5 * pixelsPerMm));
    // The line continuing the left edge of the first card upwards, 2 to 7 mm above it.
    const auto column = static_cast<std::size_t>(kLeft * pixelsPerMm);
    const auto row = static_cast<std::size_t>((kTop - 4.5) * pixelsPerMm);
    unsigned char darkest = 255;
    for (std::size_t x = column - 1; x <= column + 1; ++x)
        darkest = std::min(darkest, a[row * width + x]);
    EXPECT_LT(darkest, 160);
}

TEST(SheetCommand, PagesFollowTheRowsAndNoFileIsReplaced)
{
    TempDir dir;
    writeFile(dir.file("25.csv"), exampleRows(25));
    const std::string example = shellQuote(kExample);
    const std::string csv25 = " --csv " + shellQuote(dir.file("25.csv"));
    const struct {
        std::string arguments;
        int pages;
    } cases[] = {
        {"", 3},                            // 24 rows, 10 a page
        {csv25, 3},                         // 25 rows, 10 a page
        {" --portrait --gap 5", 3},         // 24 rows, 8 a page
        {csv25 + " --portrait --gap 5", 4}, // 25 rows, 8 a page
        {" --back " + example, 6},          // every page of fronts and one of backs
    };
    const std::string pdf = dir.file("sheet.pdf");
    std::string first;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = sheetTool(dir, example + c.arguments + " --out " + shellQuote(pdf));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string written =
            ++n == 1 ? pdf : dir.file("sheet(" + std::to_string(n) + ").pdf");
        EXPECT_NE(r.out.find("写入 " + written), std::string::npos) << r.out;
        EXPECT_EQ(pdfPages(written), c.pages);
        if (n == 1)
            first = readFile(pdf);
    }
    EXPECT_EQ(readFile(pdf), first);
    std::size_t pdfs = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        pdfs += entry.path().extension() == ".pdf" ? 1 : 0;
    EXPECT_EQ(pdfs, std::size(cases));
}

TEST(SheetCommand, RefusesBadInputAndLeavesNoFile)
{
    TempDir dir;
    fs::copy(kExampleFolder, dir.file("badge"), fs::copy_options::recursive);
    // The same card at 150 dpi is twice as large.
    std::string large = readFile(kExample);
    large.replace(large.find("\"dpi\":\t300"), 10, "\"dpi\":\t150");
    writeFile(dir.file("badge/large.dat"), large);
    writeFile(dir.file("empty.csv"), "");
    writeFile(dir.file("broken.dat"), "{");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
    writeFile(dir.file("bare.dat"), readFile(kExample)); // without its background picture
    writeFile(dir.file("badge/dot.dat"), exampleOnCanvas(1, 1, 1200));
    writeFile(dir.file("badge/tiny.dat"), exampleOnCanvas(12, 12, 300));
    // Size boxes of 1011 x 638, a pixel height that is no number: a 1-pixel card passed the check.
    std::string noHeight = exampleOnCanvas(1011, 638, 300);
    noHeight.replace(noHeight.find("\"height\": \"638\""), 15,
                     "\"height\": \"abc\", \"szWidth\": \"1011\", \"szHeight\": \"638\"");
    writeFile(dir.file("badge/no-height.dat"), noHeight);
    writeFile(dir.file("other.csv"), "工号,名字,部门,照片\nA1,张三,研发部,a.jpg\n");
    const std::string out = dir.file("out");
    fs::create_directory(out);
    const std::string sheet = " --out " + shellQuote(out + "/sheet.pdf");
    const std::string example = shellQuote(kExample) + sheet;
    const struct {
        std::string command; // arguments, or a whole command line
        int exitCode;
        std::string err;
    } cases[] = {
        {example + " --paper B5", 2, "unknown paper 'B5'"},
        {example + " --paper 60x60", 2,
         "卡片 85.6 x 54.0 mm 大于纸张 60x60mm 的可打印区域：纵向 40.0 x 40.0 mm，横向 40.0 x "
         "40.0 mm（页边距 10 mm）; --fit scales the card down"},
        {example + " --paper A5 --portrait --margin 40", 2, "纵向的可打印区域 68.0 x 130.0 mm"},
        {example + " --landscape --portrait", 2, "exclude each other"},
        {example + " --margin -1", 2, "--margin takes a length"},
        {example + " --gap 1e9", 2, "--gap takes a length"},
        {example + " --back " + shellQuote(dir.file("badge/large.dat")), 2,
         "背面卡片 171.2 x 108.0 mm（1011 x 638 像素，150 dpi）与正面卡片 85.6 x 54.0 mm（1011 x "
         "638 像素，300 dpi）大小不同"},
        {example + " --back " + shellQuote(dir.file("missing.dat")), 2,
         "背面模版 '" + dir.file("missing.dat") + "': 读取文件时出错"},
        {example + " --back " + shellQuote(dir.file("broken.dat")), 2,
         "背面模版 '" + dir.file("broken.dat") + "': 文件格式不对！\n"},
        {example + " --back " + shellQuote(dir.file("bare.dat")), 1,
         "背面模版 '" + dir.file("bare.dat") + "': 背景图片不存在"},
        // A pixel at 1200 dpi: a count of cards a page beyond 32 bits, and too small to cut out.
        {shellQuote(dir.file("badge/dot.dat")) + sheet + " --paper 5000x5000 --margin 0 --back " +
             shellQuote(dir.file("badge/dot.dat")),
         2, "卡片 0.02 x 0.02 mm 太小：卡片的宽和高至少要 1 mm\n"},
        {shellQuote(dir.file("badge/tiny.dat")) + sheet + " --paper 5000x5000 --margin 0 --back " +
             shellQuote(dir.file("badge/tiny.dat")),
         2,
         "每页能放 24216241 张 1.0 x 1.0 mm 的卡片（4921 列 x 4921 行），超过了每页最多 5000 张"},
        {shellQuote(dir.file("badge/no-height.dat")) + sheet, 1,
         "【背景层】尺寸无效: 模版文件中画布的像素宽度或高度不是大于 0 "
         "的整数，请重新输入宽度和高度\n"},
        {example + " --fit --paper 10x10 --margin 4.9999999", 2,
         "页边距 4.9999999 mm 太大：纸张 10x10mm 只有 10 x 10 mm，可打印区域的宽和高至少要 1 mm"},
        // Scaled down to the printable 1 x 1 mm the card would be 0.63 mm high: no --fit advice.
        {example + " --paper 10x10 --margin 4.5", 2,
         "卡片 85.6 x 54.0 mm 大于纸张 10x10mm 的可打印区域：纵向 1.0 x 1.0 mm，横向 1.0 x 1.0 "
         "mm（页边距 4.5 mm）\n"},
        // The layers are bound; the CSV files lack their columns.
        {example + " --csv " + shellQuote(dir.file("other.csv")), 1,
         "CSV文件没有【姓名】列: 图层#2 绑定的列【姓名】不在CSV文件 '" + dir.file("other.csv") +
             "' 的表头中\n"},
        {example + " --csv " + shellQuote(dir.file("empty.csv")), 1,
         "CSV文件没有数据: CSV文件 '" + dir.file("empty.csv") +
             "' 是空的：没有表头，也没有数据行\n"},
        {shellQuote(kExample), 2, "missing --out FILE.pdf"},
        {shellQuote(kExample) + " --out " + shellQuote(out), 2, "not a folder"},
        // A pipe would have taken the name, the sheet going beside it as fifo.pdf.
        {shellQuote(kExample) + " --out " + shellQuote(dir.file("fifo")), 2,
         "--out '" + dir.file("fifo") + "' is not a regular file: name a PDF file"},
        {shellQuote(kExample) + " --out " + shellQuote(dir.file("other.csv/sheet.pdf")), 2,
         "--out: '" + dir.file("other.csv") + "' is not a folder"},
        // A file size limit far below the PDF's size.
        {"sh -c " +
             shellQuote("ulimit -f 600; TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) +
                        " " + shellQuote(TORVALE_BATCH_EXE) + " sheet " + example),
         1, "写入PDF文件 '" + out + "/sheet.pdf' 时发生错误: File too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const CommandResult r =
            c.command.rfind("sh -c", 0) == 0 ? runCommand(c.command) : sheetTool(dir, c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_TRUE(folderContent(out).empty());
    }
    EXPECT_FALSE(fs::exists(dir.file("fifo.pdf")));
}

TEST(SheetCommand, InterruptLeavesNoFile)
{
    TempDir dir;
    writeFile(dir.file("many.csv"), exampleRows(600));
    const std::string folder = dir.file("out");
    fs::create_directory(folder);
    const std::string outFile = dir.file("stdout");
    const pid_t pid = test::spawnTool({"sheet", kExample, "--out", folder + "/sheet.pdf", "--csv",
                                       dir.file("many.csv"), "--jobs", "1"},
                                      dir.file("config"), outFile);
    ASSERT_GT(pid, 0);

    // Stopped once the first page is in the temporary file (the wait is bounded for safety).
    const auto pageWritten = [&folder] {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            // A file that goes while it is looked at gives an error, not its size.
            const std::uintmax_t size = entry.file_size(ec);
            if (!ec && size > 100000)
                return true;
        }
        return false;
    };
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!pageWritten() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(pageWritten());
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(readFile(outFile).find("已停止：未生成PDF文件"), std::string::npos)
        << readFile(outFile);
    EXPECT_TRUE(folderContent(folder).empty());
}

} // namespace
} // namespace torvale
