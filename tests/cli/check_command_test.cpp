#include "support/test_support.h"

#include "common/c_resources.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace torvale {
namespace {

using test::CommandResult;
using test::folderContent;
using test::readFile;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

const std::string kExample = std::string(TORVALE_SOURCE_DIR) + "/examples/badge/badge.dat";

// Runs "torvale-batch check ARGS" with settings kept in a folder of its own.
CommandResult runCheck(const TempDir& dir, const std::string& arguments)
{
    return runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                      shellQuote(TORVALE_BATCH_EXE) + " check " + arguments);
}

TEST(CheckCommand, BundledExamplePassesAndCreatesTheFolder)
{
    TempDir dir;
    const CommandResult r =
        runCheck(dir, shellQuote(kExample) + " --out " + shellQuote(dir.file("cards")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "ok\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "cards"));
}

TEST(CheckCommand, ReportsTheFirstProblem)
{
    TempDir dir;
    // A copy without its background picture, and a CSV whose header lacks a bound column.
    writeFile(dir.file("badge.dat"), readFile(kExample));
    writeFile(dir.file("staff.csv"),
              readFile(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/staff.csv"));
    writeFile(dir.file("other.csv"), "工号,名字,部门,照片\nA1,张三,研发部,a.jpg\n");
    const std::string copy = shellQuote(dir.file("badge.dat"));
    const std::string example = shellQuote(kExample);
    const struct {
        std::string arguments;
        std::string out;
    } cases[] = {
        {copy + " --out " + shellQuote(dir.file("cards")),
         "背景图片不存在: 背景图片 'background.png' 已不存在，请重新选择\n"},
        {example + " --out " + shellQuote(dir.file("cards")) + " --csv " +
             shellQuote(dir.file("other.csv")),
         "图层#2 还没有绑定列名: 请绑定一个列名\n"},
        {example + " --out " + shellQuote(dir.file("a/b")),
         "【图片保存到】文件夹 '" + dir.file("a/b") + "' 创建失败, 请重新选择一个文件夹\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runCheck(dir, c.arguments);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(CheckCommand, FileNameColumnsOfATemplateWithoutItsOwnCsvComeFromCsvOption)
{
    TempDir dir;
    writeFile(dir.file("background.png"),
              readFile(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/background.png"));
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片\nB1,名1,研发部,\n");
    // The example without a CSV file of its own, its file-name columns replaced.
    const auto withNames = [&](const std::string& first, const std::string& second) {
        const JsonPtr tpl(cJSON_Parse(readFile(kExample).c_str()));
        for (const auto& [key, value] : {std::pair<const char*, std::string>{"csv_file_path", ""},
                                         {"file_name_bind_col_name", first},
                                         {"file_name_bind_col_name2", second}})
            cJSON_ReplaceItemInObject(tpl.get(), key, cJSON_CreateString(value.c_str()));
        const JsonText text(cJSON_Print(tpl.get()));
        const std::string path = dir.file(first + "_" + second + ".dat");
        writeFile(path, text.get());
        return shellQuote(path) + " --csv " + shellQuote(dir.file("rows.csv")) + " --out " +
               shellQuote(dir.file("cards"));
    };
    const std::string pickOne = "，请用 --name 选择一列\n";
    const struct {
        std::string arguments;
        std::string out;
    } cases[] = {
        {withNames("工号", "姓名"), "ok\n"},
        {withNames("编号", "姓名"), "ok\n"}, // the other column names the cards
        {withNames("编号", "别名"),
         "CSV文件没有【编号】【别名】列: 模版的文件名列【编号】【别名】不在CSV文件 '" +
             dir.file("rows.csv") + "' 的表头中" + pickOne},
        {withNames("编号", "别名") + " --name 工号", "ok\n"},
        {withNames("", ""), "请选择文件名绑定的【列名】: 根据绑定的列名生成图片文件名" + pickOne},
        {withNames("", "") + " --name2 姓名", "ok\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runCheck(dir, c.arguments);
        EXPECT_EQ(r.exitCode, c.out == "ok\n" ? 0 : 1) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(CheckCommand, RowsListsTheProblemsOfEveryRow)
{
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    writeFile(dir.file("notes.jpg"), "not a picture\n");
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片\n"
                                    "A1,张三,研发部,missing.jpg\n"
                                    "A2,李四,研发部,notes.jpg\n"
                                    "A3,王五,市场部,\n"
                                    "A3,王五,市场部,\n"
                                    ",赵六,市场部,\n"
                                    "A6,钱七,表情\U0010FFFD,\n"
                                    "A7,Alexander Maximilian Wolfeschlegelsteinhausen,市场部,\n"
                                    "A8,孙八,市场部,\n"
                                    "A9,周九,\"研发部\n第二组\n第三室\",\n");
    writeFile(dir.file("clean.csv"), "工号,姓名,部门,照片\nB1,周九,研发部,\n");
    const std::string base = shellQuote(folder + "/badge.dat") + " --out " +
                             shellQuote(dir.file("cards")) + " --rows --csv ";

    const CommandResult r = runCheck(dir, base + shellQuote(dir.file("rows.csv")));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::string missing = dir.file("missing.jpg");
    const std::string notes = dir.file("notes.jpg");
    EXPECT_EQ(r.out, "第 1 行，照片：图片不存在：" + missing + "\n" + "第 2 行，照片：不是图片：" +
                         notes + "\n" +
                         "第 4 行，工号：文件名“A3-王五.jpg”与第 3 行相同，将另存为带编号的名字\n"
                         "第 5 行，工号：文件名的这一部分为空，将用列名“工号”代替\n"
                         "第 6 行，部门：无法显示的字符：U+10FFFD\n"
                         "第 7 行，姓名：文字比图层宽，超出的部分不会显示（图层#2）\n"
                         "第 9 行，部门：文字的行比图层高，超出的部分不会显示（图层#3）\n");
    EXPECT_NE(r.err.find("已检查 9 行，发现 7 个问题。"), std::string::npos) << r.err;

    // Scripts get one object per problem; a card of that name already in the folder counts.
    writeFile(dir.file("cards/A8-孙八.jpg"), "");
    const CommandResult json = runCheck(dir, base + shellQuote(dir.file("rows.csv")) + " --json");
    EXPECT_EQ(json.exitCode, 1) << json.err;
    std::istringstream lines(json.out);
    std::vector<std::string> kinds;
    for (std::string line; std::getline(lines, line);) {
        const JsonPtr object(cJSON_Parse(line.c_str()));
        ASSERT_TRUE(object) << line;
        kinds.push_back(cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "kind")));
        if (kinds.size() == 1) {
            EXPECT_EQ(cJSON_GetNumberValue(cJSON_GetObjectItem(object.get(), "row")), 1);
            EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "path")),
                         missing.c_str());
        }
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"picture-missing", "not-a-picture", "same-file-name",
                                               "empty-file-name", "missing-characters",
                                               "text-clipped", "file-exists", "text-clipped"}));

    const CommandResult clean = runCheck(dir, base + shellQuote(dir.file("clean.csv")));
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "");
    EXPECT_NE(clean.err.find("已检查 1 行，没有发现问题。"), std::string::npos) << clean.err;
    EXPECT_EQ(runCheck(dir, shellQuote(folder + "/badge.dat") + " --out " +
                                shellQuote(dir.file("cards")) + " --json")
                  .exitCode,
              2);
}

TEST(CheckCommand, RowsSkipTheLayersARowHides)
{
    // The example with its photo shown only for 研发部.
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    std::string tpl = readFile(folder + "/badge.dat");
    const auto replaceFirst = [&tpl](const std::string& from, const std::string& to) {
        const std::size_t at = tpl.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        tpl.replace(at, from.size(), to);
    };
    replaceFirst("\"background.png\"", "\"" + folder + "/background.png\"");
    replaceFirst("\"overflow_style\":\t3\n",
                 "\"overflow_style\":\t3,\n\"showIfColumn\":\t\"部门\",\n"
                 "\"showIfValue\":\t\"研发部\"\n");
    writeFile(dir.file("ruled.dat"), tpl);
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片\n"
                                    "A1,张三,研发部,missing.jpg\n"
                                    "A2,李四,市场部,missing.jpg\n"
                                    "A3,王五, 研发部 ,gone.jpg\n");
    const CommandResult r = runCheck(dir, shellQuote(dir.file("ruled.dat")) + " --out " +
                                              shellQuote(dir.file("cards")) + " --rows --csv " +
                                              shellQuote(dir.file("rows.csv")));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // The cells are trimmed before the rule sees them.
    EXPECT_EQ(r.out, "第 1 行，照片：图片不存在：" + dir.file("missing.jpg") + "\n" +
                         "第 3 行，照片：图片不存在：" + dir.file("gone.jpg") + "\n");
}

// A PNG file of only its header and end chunk, claiming width x height.
std::string pngClaiming(std::uint32_t width, std::uint32_t height)
{
    const auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    return "\x89PNG\r\n\x1a\n" + be32(13) + "IHDR" + be32(width) + be32(height) +
           std::string("\x08\x02\x00\x00\x00", 5) + be32(0) + be32(0) + "IEND" + be32(0xAE426082);
}

TEST(CheckCommand, DamagedPicturesAreDamagedForTheCheckAndTheBatchAlike)
{
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    const std::string photo = readFile(folder + "/photos/p02.jpg");
    // Cut short, and corrupt in the middle with its end marker intact.
    writeFile(dir.file("cut.jpg"), photo.substr(0, photo.size() * 3 / 4));
    std::string corrupt = photo;
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 2000; ++i)
        corrupt[i] = static_cast<char>(i * 37);
    writeFile(dir.file("corrupt.jpg"), corrupt);
    for (const char* name : {"cut.jpg", "corrupt.jpg"}) {
        SCOPED_TRACE(name);
        writeFile(dir.file("rows.csv"),
                  std::string("工号,姓名,部门,照片\nA1,张三,研发部,") + name + "\n");
        const std::string arguments = shellQuote(folder + "/badge.dat") + " --out " +
                                      shellQuote(dir.file(std::string("cards-") + name)) +
                                      " --csv " + shellQuote(dir.file("rows.csv"));
        const CommandResult check = runCheck(dir, arguments + " --rows");
        EXPECT_EQ(check.exitCode, 1);
        EXPECT_EQ(check.out, "第 1 行，照片：图片已损坏：" + dir.file(name) + "\n");
        // The batch draws what decodes, says so, and --strict fails on it.
        const CommandResult run =
            runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                       shellQuote(TORVALE_BATCH_EXE) + " run --strict " + arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(std::string("图片已损坏：") + name), std::string::npos) << run.err;
    }
}

// The row check and the batch agree on the texts of an international list: a name with an
// emoji is drawn (in colour where a colour emoji font is installed) and reported by neither;
// a character no font has and an Arabic name too long for its layer are reported by both.
TEST(CheckCommand, RowsAndTheBatchAgreeOnTexts)
{
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片\n"
                                    "A1,Lily 🌸 Chen,研发部,\n"
                                    "A2,王\U0010FFFD,研发部,\n"
                                    "A3,عبد الرحمن بن محمد بن عبد العزيز الأحمد الهاشمي,研发部,\n"
                                    "A4,محمد الأحمد,研发部,\n");
    const std::string arguments = shellQuote(folder + "/badge.dat") + " --out " +
                                  shellQuote(dir.file("cards")) + " --csv " +
                                  shellQuote(dir.file("rows.csv"));
    const CommandResult check = runCheck(dir, arguments + " --rows");
    EXPECT_EQ(check.out, "第 2 行，姓名：无法显示的字符：U+10FFFD\n"
                         "第 3 行，姓名：文字比图层宽，超出的部分不会显示（图层#2）\n");
    const CommandResult run =
        runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                   shellQuote(TORVALE_BATCH_EXE) + " run --strict --quiet " + arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.find("A1-"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("无法显示的字符：U+10FFFD（A2-"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("文字比图层宽，超出的部分不会显示：图层#2（A3-"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("A4-"), std::string::npos) << run.err;
    EXPECT_EQ(folderContent(dir.file("cards")).size(), 4u);
}

TEST(CheckCommand, RowsNameAShrunkTextTooSmallToReadOncePrinted)
{
    // The international example's name at 13 (17 pixels, 4.1 points printed at 300 dpi) shrinks
    // down to 8 for the long name; the short one keeps its size and is not called shrunk.
    TempDir dir;
    const std::filesystem::path examples = std::filesystem::path(TORVALE_SOURCE_DIR) / "examples";
    for (const char* folder : {"international", "staff-card"}) // the logo is the staff card's
        std::filesystem::copy(examples / folder, dir.path() / folder,
                              std::filesystem::copy_options::recursive);
    std::string tpl = readFile(dir.file("international/international.dat"));
    const std::string minimum = "\"minFontSize\":\t20";
    ASSERT_NE(tpl.find(minimum), std::string::npos);
    tpl.replace(tpl.find(minimum), minimum.size(), "\"minFontSize\":\t8");
    const std::string size = "\"fontSize\":\t44";
    ASSERT_NE(tpl.find(size), std::string::npos);
    writeFile(dir.file("international/small.dat"),
              tpl.replace(tpl.find(size), size.size(), "\"fontSize\":\t13"));
    writeFile(dir.file("names.csv"), "编号,姓名,语言\nI1,李娜,中文\nI2," +
                                         std::string(80, 'W') + ",英语\n");
    const CommandResult check =
        runCheck(dir, shellQuote(dir.file("international/small.dat")) + " --out " +
                          shellQuote(dir.file("cards")) +
                          " --rows --json --csv " + shellQuote(dir.file("names.csv")));
    EXPECT_EQ(check.exitCode, 1) << check.err;
    const JsonPtr object(cJSON_Parse(check.out.c_str()));
    ASSERT_TRUE(object) << check.out;
    EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "kind")), "text-tiny");
    EXPECT_EQ(cJSON_GetNumberValue(cJSON_GetObjectItem(object.get(), "row")), 2);
    EXPECT_NE(std::string(cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "message")))
                  .find("打印后字高约"),
              std::string::npos)
        << check.out;
}

// One list holding the hostile cases of pictures, codes and texts: every row the batch reports
// a problem for (--strict) is a row the row check reports, and no other.
TEST(CheckCommand, RowsAndTheBatchAgreeOnAHostileList)
{
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    std::filesystem::create_directories(dir.path() / "pics");
    const std::string photo = readFile(folder + "/photos/p02.jpg");
    writeFile(dir.file("pics/ok.jpg"), photo);
    std::string corrupt = photo;
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 2000; ++i)
        corrupt[i] = static_cast<char>(i * 37);
    writeFile(dir.file("pics/corrupt.jpg"), corrupt);
    writeFile(dir.file("secret.jpg"), photo);
    std::filesystem::create_directory_symlink("..", dir.path() / "pics" / "up");
    // An uncompressed grey 200 x 200 TIFF with its directory before the pixels, cut at 60 %.
    std::string tiff("II*\0\x08\0\0\0\x09\0", 10);
    const auto put = [&tiff](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff += static_cast<char>(value >> (8 * i));
    };
    const std::uint32_t pixels = 10 + 9 * 12 + 4;
    const std::uint32_t entries[][3] = {{256, 3, 200}, {257, 3, 200}, {258, 3, 8},
                                        {259, 3, 1},   {262, 3, 1},   {273, 4, pixels},
                                        {277, 3, 1},   {278, 3, 200}, {279, 4, 40000}};
    for (const auto& entry : entries) { // tag, type, one value
        put(entry[0], 2);
        put(entry[1], 2);
        put(1, 4);
        put(entry[2], 4);
    }
    put(0, 4);
    for (int i = 0; i < 40000; ++i)
        tiff += static_cast<char>(i * 7);
    writeFile(dir.file("pics/cut.tif"), tiff.substr(0, tiff.size() * 6 / 10));
    // The badge with its photo looked up in the folder, a Code 39 of the number and a QR code
    // of the column 码 that runs off the card's bottom edge.
    std::string tpl = readFile(folder + "/badge.dat");
    const std::string bound = "\"bind_col_name\":\t\"照片\",";
    ASSERT_NE(tpl.find(bound), std::string::npos);
    tpl.replace(tpl.find(bound), bound.size(),
                bound + "\n\t\t\t\"pictureFolder\":\t\"" + dir.file("pics") + "\",");
    const std::string layers = "\"picture_items\":\t[";
    tpl.replace(tpl.find(layers), layers.size(),
                layers + R"({"x": 700, "y": 440, "width": 300, "height": 120, "type": 2,
                "bind_col_name": "工号", "text": "A1", "fontName": "宋体", "fontSize": 10,
                "isBold": 0, "isUnderline": 0, "isItalic": 0, "color": 0, "htmlColor": "#000000",
                "tHAlign": 0, "tVAlign": 1, "characterSpacing": 0, "filePath": "", "pHAlign": 1,
                "pVAlign": 1, "layer_level": 0, "overflow_style": 1, "codeType": "Code39"},
                {"x": 850, "y": 560, "width": 130, "height": 130, "type": 2,
                "bind_col_name": "码", "text": "Q", "fontName": "宋体", "fontSize": 10,
                "isBold": 0, "isUnderline": 0, "isItalic": 0, "color": 0, "htmlColor": "#000000",
                "tHAlign": 0, "tVAlign": 1, "characterSpacing": 0, "filePath": "", "pHAlign": 1,
                "pVAlign": 1, "layer_level": 0, "overflow_style": 1, "codeType": "QR"},)");
    writeFile(dir.file("badge.dat"), tpl);
    std::filesystem::copy_file(folder + "/background.png", dir.file("background.png"));
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片,码\n"
                                    "A1,张三,研发部,ok,\n"         // no problem
                                    "A2,李四,研发部,corrupt,\n"    // damaged picture
                                    "A3,王五,研发部,up/secret,\n"  // a link out of the folder
                                    "a4,赵六,研发部,ok,\n"         // lower case in Code 39
                                    "A5,钱\U0010FFFD,研发部,ok,\n" // a character no font has
                                    "A6,Lily 🌸 Chen,研发部,ok,\n"  // no problem
                                    "A7,孙七,研发部,cut.tif,\n"    // a TIFF cut short
                                    "A8,周八,研发部,o\x01k,\n"     // a control character
                                    "A9,吴九,研发部,ok,A9\n");     // a code off the card
    const std::string arguments = shellQuote(dir.file("badge.dat")) + " --csv " +
                                  shellQuote(dir.file("rows.csv")) + " --out " +
                                  shellQuote(dir.file("cards"));
    const CommandResult check = runCheck(dir, arguments + " --rows");
    std::set<std::string> checked;
    std::istringstream lines(check.out);
    for (std::string line; std::getline(lines, line);)
        checked.insert(line.substr(0, line.find("，")));
    EXPECT_EQ(checked, (std::set<std::string>{"第 2 行", "第 3 行", "第 4 行", "第 5 行", "第 7 行",
                                              "第 8 行", "第 9 行"}))
        << check.out;
    EXPECT_NE(check.out.find("第 7 行，照片：图片已损坏"), std::string::npos) << check.out;
    const CommandResult run =
        runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                   shellQuote(TORVALE_BATCH_EXE) + " run --strict --quiet " + arguments);
    EXPECT_EQ(run.exitCode, 1);
    for (const char* card : {"A2-", "A3-", "a4-", "A5-", "A7-", "A8-", "A9-"})
        EXPECT_NE(run.err.find(card), std::string::npos) << card << "\n" << run.err;
    for (const char* card : {"A1-", "A6-"})
        EXPECT_EQ(run.err.find(card), std::string::npos) << card << "\n" << run.err;
}

TEST(CheckCommand, RowsReportWhatTheBatchSkipsOrCannotRead)
{
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    writeFile(dir.file("huge.png"), pngClaiming(60000, 60000));
    writeFile(dir.file("square.png"), pngClaiming(16000, 16000));
    const std::string background = readFile(folder + "/background.png");
    writeFile(dir.file("cut.png"), background.substr(0, background.size() / 2));
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片\n"
                                    "A1,张三,研发部,huge.png\n"
                                    "A2,李四,研发部,square.png\n"
                                    "A3,王五,研发部,cut.png\n"
                                    "\u200b\ufeff,周九,研发部,\n"
                                    "\n"
                                    "A5,赵六,研发部\n"
                                    "A6,钱七,\"市场部,\n"
                                    "A7,孙八,市场部,\n");
    const std::string arguments = shellQuote(folder + "/badge.dat") + " --out " +
                                  shellQuote(dir.file("cards")) + " --rows --csv " +
                                  shellQuote(dir.file("rows.csv"));
    const CommandResult r = runCheck(dir, arguments);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out,
              "第 1 行，照片：图片太大（60000 x 60000 像素），无法读取：" + dir.file("huge.png") +
                  "\n" + "第 2 行，照片：图片太大（16000 x 16000 像素），无法读取：" +
                  dir.file("square.png") + "\n" + "第 3 行，照片：图片已损坏：" +
                  dir.file("cut.png") + "\n" +
                  "第 4 行，工号：文件名的这一部分为空，将用列名“工号”代替\n"
                  "第 5 行（文件第 7 行）：有 3 个单元格，与表头的 4 个不同，这一行会被跳过\n"
                  "第 6 行（文件第 8 行）：引号没有闭合，文件第 8 行到末尾的内容都读进了这一行\n"
                  "第 6 行（文件第 8 行）：有 3 个单元格，与表头的 4 个不同，这一行会被跳过\n");
    EXPECT_NE(r.err.find("已检查 6 行，发现 7 个问题。"), std::string::npos) << r.err;

    const CommandResult json = runCheck(dir, arguments + " --json");
    std::istringstream lines(json.out);
    std::vector<std::string> kinds;
    std::vector<double> lineNumbers;
    for (std::string line; std::getline(lines, line);) {
        const JsonPtr object(cJSON_Parse(line.c_str()));
        ASSERT_TRUE(object) << line;
        kinds.push_back(cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "kind")));
        lineNumbers.push_back(cJSON_GetNumberValue(cJSON_GetObjectItem(object.get(), "line")));
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"picture-too-large", "picture-too-large",
                                               "picture-damaged", "empty-file-name", "row-skipped",
                                               "unclosed-quote", "row-skipped"}));
    EXPECT_EQ(lineNumbers, (std::vector<double>{2, 3, 4, 5, 7, 8, 8}));

    // What the check reports, the batch refuses: the three pictures and the two rows.
    const CommandResult run = runCommand(
        "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
        shellQuote(TORVALE_BATCH_EXE) + " run " + shellQuote(folder + "/badge.dat") + " --out " +
        shellQuote(dir.file("cards")) + " --csv " + shellQuote(dir.file("rows.csv")));
    for (const char* picture : {"huge.png", "square.png", "cut.png"})
        EXPECT_NE(run.err.find(std::string("无效图片:") + picture), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("有 2 行数据被跳过"), std::string::npos) << run.out;
}

TEST(CheckCommand, RowsKeepAHundredThousandProblemsAndCountTheRest)
{
    TempDir dir;
    std::string csv = "工号,姓名,部门,照片\n";
    for (int i = 0; i < 100002; ++i)
        csv += "x\n";
    writeFile(dir.file("short.csv"), csv);
    const CommandResult r =
        runCheck(dir, shellQuote(kExample) + " --out " + shellQuote(dir.file("cards")) +
                          " --rows --csv " + shellQuote(dir.file("short.csv")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 100000);
    EXPECT_NE(r.err.find("已检查 100002 行，发现 100002 个问题。只列出了前 100000 个。"),
              std::string::npos)
        << r.err;
}

TEST(CheckCommand, FailedTemplateCheckIsCleanedAndJsonInJsonMode)
{
    TempDir dir;
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";
    const std::string escape = "\\u001b]0;title\\u0007\\u001b[2J";
    const std::string example = readFile(kExample);
    std::string badFont = example;
    badFont.replace(badFont.find("黑体"), std::string("黑体").size(), escape);
    std::string badBackground = example;
    badBackground.replace(badBackground.find("background.png"), 14, escape + ".png");
    const struct {
        std::string dat;
        std::string text; // in the message, after cleaning
        int layer;
    } cases[] = {
        {badFont, "没找到【\uFFFD]0;title\uFFFD\uFFFD[2J】字体: 请重新选择一个字体", 2},
        {badBackground, "背景图片 '\uFFFD]0;title\uFFFD\uFFFD[2J.png' 已不存在", 0},
    };
    std::filesystem::copy(folder, dir.path() / "badge", std::filesystem::copy_options::recursive);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(dir.file("badge/bad.dat"), c.dat);
        const std::string arguments =
            shellQuote(dir.file("badge/bad.dat")) + " --out " + shellQuote(dir.file("cards"));
        const CommandResult plain = runCheck(dir, arguments + " --rows");
        EXPECT_EQ(plain.exitCode, 1);
        EXPECT_EQ(plain.out.find('\x1b'), std::string::npos);
        EXPECT_NE(plain.out.find(c.text), std::string::npos) << plain.out;

        const CommandResult json = runCheck(dir, arguments + " --rows --json");
        EXPECT_EQ(json.exitCode, 1);
        ASSERT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
        const JsonPtr object(cJSON_Parse(json.out.c_str()));
        ASSERT_TRUE(object) << json.out;
        EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "kind")), "template");
        const char* message = cJSON_GetStringValue(cJSON_GetObjectItem(object.get(), "message"));
        ASSERT_TRUE(message);
        EXPECT_NE(std::string(message).find(c.text), std::string::npos) << message;
        const cJSON* layer = cJSON_GetObjectItem(object.get(), "layer");
        EXPECT_EQ(layer ? cJSON_GetNumberValue(layer) : 0, c.layer);
    }
}

TEST(CheckCommand, UsageAndUnreadableTemplate)
{
    TempDir dir;
    writeFile(dir.file("empty.dat"), "");
    const struct {
        std::string arguments;
        int exitCode;
    } cases[] = {
        {shellQuote(kExample), 2},
        {shellQuote(kExample) + " --out", 2},
        {shellQuote(dir.file("empty.dat")) + " --out " + shellQuote(dir.file("cards")), 2},
        {"--help", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runCheck(dir, c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode);
        if (c.exitCode == 0)
            EXPECT_EQ(r.out.rfind("Usage: torvale-batch check", 0), 0u);
        else
            EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "cards"));
}

} // namespace
} // namespace torvale
