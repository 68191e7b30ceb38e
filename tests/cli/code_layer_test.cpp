#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace torvale {
namespace {

using test::CommandResult;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

// A 600 x 300 card at 300 dpi with an EAN-13 bound to 码 and a fixed QR of a link with a field.
const char* kTemplate = R"({
 "background_type": 1, "width": "600", "height": "300", "szWidth": "600", "szHeight": "300",
 "unit": 0, "dpi": 300, "background_color": "#ffffff", "csv_file_path": "codes.csv",
 "is_trim_csv_cell_value": 1, "pictures_show_select_area": 1, "pictures_show_picture": 1,
 "picture_items": [
  {"x": 10, "y": 20, "width": 300, "height": 200, "type": 2, "bind_col_name": "码",
   "text": "400638133393", "fontName": "宋体", "fontSize": 10, "isBold": 0, "isUnderline": 0,
   "isItalic": 0, "color": 0, "htmlColor": "#000000", "tHAlign": 0, "tVAlign": 1,
   "characterSpacing": 0, "filePath": "", "pHAlign": 1, "pVAlign": 1, "layer_level": 0,
   "overflow_style": 1, "codeType": "EAN13", "codeShowText": 1},
  {"x": 340, "y": 20, "width": 250, "height": 250, "type": 2, "bind_col_name": "",
   "text": "https://id.example/{工号}", "fontName": "宋体", "fontSize": 10, "isBold": 0,
   "isUnderline": 0, "isItalic": 0, "color": 0, "htmlColor": "#000000", "tHAlign": 0,
   "tVAlign": 1, "characterSpacing": 0, "filePath": "", "pHAlign": 1, "pVAlign": 1,
   "layer_level": 0, "overflow_style": 1, "isFixed": 1}],
 "format": "JPG", "quality": 90, "colorspace": "sRGB",
 "file_name_bind_col_name": "工号", "file_name_bind_col_name2": ""})";

TEST(CodeLayers, RunReportsValuesThatCannotBeEncodedAndSheetsKeepCodesReadable)
{
    TempDir dir;
    writeFile(dir.file("codes.dat"), kTemplate);
    writeFile(dir.file("codes.csv"), "工号,码\nA0001,400638133393\nA0002,ABC\n");
    const std::string tool = "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                             shellQuote(TORVALE_BATCH_EXE) + " ";
    const std::string tpl = shellQuote(dir.file("codes.dat"));
    const std::string problem = "图层#1 的内容无法生成条码（只能是数字）：ABC";

    for (const bool strict : {false, true}) {
        const CommandResult run = runCommand(tool + "run " + tpl + (strict ? " --strict" : "") +
                                             " --out " + shellQuote(dir.file(strict ? "b" : "a")));
        EXPECT_EQ(run.exitCode, strict ? 1 : 0) << run.err;
        EXPECT_NE((run.out + run.err).find(problem), std::string::npos) << run.out << run.err;
    }
    EXPECT_EQ(test::readCodes(test::readFile(dir.file("a/A0001.jpg"))),
              (std::vector<std::string>{"4006381333931", "https://id.example/A0001"}));

    const CommandResult rows =
        runCommand(tool + "check " + tpl + " --rows --out " + shellQuote(dir.file("a")));
    EXPECT_NE(rows.out.find("第 2 行，码：" + problem), std::string::npos) << rows.out;

    // A card whose layer is too small for the demo value is refused before any card is made.
    std::string small = kTemplate;
    const std::string large = "\"width\": 250, \"height\": 250";
    small.replace(small.find(large), large.size(), "\"width\": 20, \"height\": 20");
    writeFile(dir.file("small.dat"), small);
    const CommandResult refused = runCommand(tool + "check " + shellQuote(dir.file("small.dat")) +
                                             " --out " + shellQuote(dir.file("a")));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("图层#2 太小，放不下条码"), std::string::npos) << refused.out;

    const CommandResult sheet =
        runCommand(tool + "sheet " + tpl + " --quiet --out " + shellQuote(dir.file("codes.pdf")));
    EXPECT_EQ(sheet.exitCode, 0) << sheet.err;
    const CommandResult page =
        runCommand("pdftoppm -singlefile -r 300 " + shellQuote(dir.file("codes.pdf")) + " " +
                   shellQuote(dir.file("page")));
    ASSERT_EQ(page.exitCode, 0) << page.err;
    const auto codes = test::readCodes(test::readFile(dir.file("page.ppm")));
    for (const char* code :
         {"4006381333931", "https://id.example/A0001", "https://id.example/A0002"})
        EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
}

// Row 3 of a list numbered from 41 carries 0043 in a fixed code, also when it is made alone.
TEST(CodeLayers, FixedCodeCarriesThePaddedSerialOfItsRow)
{
    TempDir dir;
    std::string text = kTemplate;
    const std::string link = "https://id.example/{工号}";
    text.replace(text.find(link), link.size(), "{工号}-{#:0000}");
    text.replace(text.rfind('}'), 1, ", \"serialStart\": 41}");
    writeFile(dir.file("codes.dat"), text);
    writeFile(dir.file("codes.csv"),
              "工号,码\nA0001,400638133393\nA0002,400638133393\nA0003,400638133393\n");
    const std::string tool = "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                             shellQuote(TORVALE_BATCH_EXE) + " ";
    const std::string tpl =
        shellQuote(dir.file("codes.dat")) + " --out " + shellQuote(dir.file("a"));
    EXPECT_EQ(runCommand(tool + "run --quiet --strict --rows 3 " + tpl).exitCode, 0);
    EXPECT_EQ(test::readCodes(test::readFile(dir.file("a/A0003.jpg"))),
              (std::vector<std::string>{"4006381333931", "A0003-0043"}));
}

// A code layer far larger than its card, or running off it: only the part on the card is drawn
// (no abort, memory bounded by the card), and the batch and the row check both say the code
// cannot be read from the card.
TEST(CodeLayers, CodesOffTheCardAreReportedByTheBatchAndTheRowCheckAlike)
{
    TempDir dir;
    writeFile(dir.file("codes.csv"), "工号,码\nA0001,400638133393\n");
    const std::string tool = "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                             shellQuote(TORVALE_BATCH_EXE) + " ";
    const std::string geometry = "{\"x\": 340, \"y\": 20, \"width\": 250, \"height\": 250";
    for (const char* placed : {"{\"x\": 0, \"y\": 0, \"width\": 12000, \"height\": 12000",
                               "{\"x\": 0, \"y\": 0, \"width\": 100000, \"height\": 100000",
                               "{\"x\": 340, \"y\": 102, \"width\": 250, \"height\": 250"}) {
        SCOPED_TRACE(placed);
        std::string text = kTemplate;
        text.replace(text.find(geometry), geometry.size(), placed);
        writeFile(dir.file("off.dat"), text);
        const std::string tpl = shellQuote(dir.file("off.dat"));
        const std::string out = shellQuote(dir.file(std::string("cards") + placed));
        const CommandResult rows = runCommand(tool + "check " + tpl + " --rows --out " + out);
        EXPECT_EQ(rows.out, "第 1 行，图层#2：图层#2 条码无法识别\n");
        const CommandResult run =
            runCommand(tool + "run --strict --quiet " + tpl + " --out " + out);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("图层#2 条码无法识别"), std::string::npos) << run.err;
    }
}

// Codes on a transparent card are read back as the card is seen (over white), so they are no
// problem; a code's problem names its card; Code 39 refuses lower-case letters it would change.
TEST(CodeLayers, TransparentCardsReadBackAndProblemsNameTheirCard)
{
    TempDir dir;
    std::string text = kTemplate;
    const auto replace = [&text](const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    replace("\"background_color\": \"#ffffff\"", "\"background_color\": \"none\"");
    replace(
        "\"format\": \"JPG\", \"quality\": 90, \"colorspace\": \"sRGB\"",
        "\"format\": \"PNG\", \"transparent_open\": 1, \"isSaveToPng8\": 0, \"colorCount\": 256");
    writeFile(dir.file("clear.dat"), text);
    replace("\"codeType\": \"EAN13\"", "\"codeType\": \"Code39\"");
    replace("\"text\": \"400638133393\"", "\"text\": \"AB1\"");
    writeFile(dir.file("code39.dat"), text);
    writeFile(dir.file("codes.csv"), "工号,码\nA0001,400638133393\nA0002,ABC-12\n");
    writeFile(dir.file("code39.csv"), "工号,码\nA0002,ABC-12\nA0003,abc\n");
    const std::string tool = "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                             shellQuote(TORVALE_BATCH_EXE) + " ";
    const CommandResult clear =
        runCommand(tool + "run --strict --quiet " + shellQuote(dir.file("clear.dat")) + " --csv " +
                   shellQuote(dir.file("codes.csv")) + " --out " + shellQuote(dir.file("a")));
    // Only the values EAN-13 cannot hold are problems, each naming its card.
    EXPECT_EQ(clear.err.find("条码无法识别"), std::string::npos) << clear.err;
    EXPECT_NE(clear.err.find("只能是数字）：ABC-12（A0002）"), std::string::npos) << clear.err;

    const std::string problem =
        "图层#1 的内容无法生成条码（含有小写字母，这种码只能表示大写字母）：abc";
    const std::string code39 = shellQuote(dir.file("code39.dat")) + " --csv " +
                               shellQuote(dir.file("code39.csv")) + " --out ";
    const CommandResult run =
        runCommand(tool + "run --strict --quiet " + code39 + shellQuote(dir.file("b")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(problem + "（A0003）"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("A0002"), std::string::npos) << run.err;
    const CommandResult rows =
        runCommand(tool + "check --rows " + code39 + shellQuote(dir.file("c")));
    EXPECT_EQ(rows.out, "第 2 行，码：" + problem + "\n");
}

// Code settings a file holds that are not valid still read as the defaults (other tools rely
// on it), but the check names each once, as a warning that does not stop the batch.
TEST(CodeLayers, InvalidCodeSettingsAreNamedByTheCheck)
{
    TempDir dir;
    writeFile(dir.file("codes.csv"), "工号,码\nA0001,400638133393\n");
    const std::string tool = "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                             shellQuote(TORVALE_BATCH_EXE) + " check ";
    const struct {
        const char* members;
        const char* warning; // "" for none
    } cases[] = {
        {R"("codeType": "qr")", "图层#2 的码制 'qr' 无法识别，使用 QR"},
        {R"("codeType": 7)", "图层#2 的码制 '7' 无法识别，使用 QR"},
        {R"("codeErrorLevel": "X")", "图层#2 的纠错级别 'X' 无法识别，使用 M"},
        {R"("codeQuietZone": -5)", "图层#2 的静区 '-5' 无法识别，使用 标准静区"},
        {R"("codeQuietZone": 101)", "图层#2 的静区 '101' 无法识别，使用 标准静区"},
        {R"("codeBackground": "transparent")",
         "图层#2 的码背景 'transparent' 无法识别，使用 #FFFFFF"},
        {R"("codeType": "QR", "codeQuietZone": 4, "codeBackground": "")", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.members);
        std::string text = kTemplate;
        const std::string fixed = "\"isFixed\": 1}";
        text.replace(text.find(fixed), fixed.size(),
                     "\"isFixed\": 1, " + std::string(c.members) + "}");
        writeFile(dir.file("codes.dat"), text);
        const CommandResult check = runCommand(tool + shellQuote(dir.file("codes.dat")) +
                                               " --out " + shellQuote(dir.file("cards")));
        EXPECT_EQ(check.exitCode, 0) << check.err;
        EXPECT_EQ(check.out, "ok\n");
        EXPECT_EQ(check.err, *c.warning ? "警告：" + std::string(c.warning) + "\n" : "");
    }
}

} // namespace
} // namespace torvale
