#include "batch/card_record.h"
#include "render/magick.h"
#include "support/test_support.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

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

// "torvale-batch run ARGS" with settings kept in the test's own folder.
std::string runLine(const TempDir& dir, const std::string& arguments)
{
    return "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
           shellQuote(TORVALE_BATCH_EXE) + " run " + arguments;
}

CommandResult runTool(const TempDir& dir, const std::string& arguments)
{
    return runCommand(runLine(dir, arguments));
}

bool isCompleteJpeg(const std::string& bytes)
{
    return bytes.size() > 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
           bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
}

// Every file is a whole card and no temporary file is left behind.
void expectOnlyCompleteCards(const std::map<std::string, std::string>& files)
{
    for (const auto& [name, bytes] : files) {
        EXPECT_NE(name.rfind(".torvale-", 0), 0u) << name;
        EXPECT_TRUE(isCompleteJpeg(bytes)) << name;
    }
}

TEST(RunCommand, SameCardsForAnyJobCountAndNothingOverwritten)
{
    TempDir dir;
    const std::string one = dir.file("one");
    const std::string two = dir.file("two");
    for (const auto& [folder, jobs] : {std::pair{one, "1"}, std::pair{two, "2"}}) {
        const CommandResult r =
            runTool(dir, shellQuote(kExample) + " --out " + shellQuote(folder) + " --jobs " + jobs);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("24"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    }
    const auto first = folderContent(one);
    EXPECT_EQ(first.size(), 24u);
    EXPECT_TRUE(first.count("A0001-张伟.jpg"));
    EXPECT_TRUE(first == folderContent(two));
    expectOnlyCompleteCards(first);

    // A second run into the same folder adds "(2)" to every name and keeps the first cards.
    const CommandResult again = runTool(dir, shellQuote(kExample) + " --out " + shellQuote(one));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("其中 24 张因同名文件已存在而加了编号。"), std::string::npos)
        << again.out;
    const auto both = folderContent(one);
    EXPECT_EQ(both.size(), 48u);
    for (const auto& [name, bytes] : first) {
        EXPECT_EQ(both.at(name), bytes) << name;
        const std::string second = name.substr(0, name.size() - 4) + "(2).jpg";
        ASSERT_TRUE(both.count(second)) << second;
        EXPECT_EQ(both.at(second), bytes) << second;
    }
}

TEST(RunCommand, WorkbookGivesTheSameCardsAsItsCsvTwin)
{
    TempDir dir;
    for (const char* data : {"staff.csv", "staff.xlsx"}) {
        const CommandResult r = runTool(dir, shellQuote(kExample) + " --csv " +
                                                 shellQuote(kExampleFolder + "/" + data) +
                                                 " --out " + shellQuote(dir.file(data)));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
    const auto cards = folderContent(dir.file("staff.csv"));
    EXPECT_EQ(cards.size(), 24u);
    EXPECT_TRUE(cards == folderContent(dir.file("staff.xlsx")));
}

TEST(RunCommand, LargePhotosGiveTheSameCardsForAnyJobCount)
{
    // Photos that each fit the image library's limits alone but not four at once: the workers
    // take turns instead of dropping them. The badge's photo layer crops, so it needs the
    // photo at full size.
    TempDir dir;
    MagickWandPtr photo = newCanvas(8000, 6000, "#3366cc");
    ASSERT_TRUE(photo);
    MagickSetImageFormat(photo.get(), "JPEG");
    ASSERT_TRUE(MagickWriteImage(photo.get(), dir.file("big.jpg").c_str()));
    photo.reset();
    std::string csv = "工号,姓名,部门,照片\n";
    for (int i = 1; i <= 5; ++i)
        csv += "B" + std::to_string(i) + ",名,研发部," + dir.file("big.jpg") + "\n";
    writeFile(dir.file("big.csv"), csv);
    for (const char* jobs : {"1", "4"}) {
        const CommandResult r = runTool(dir, shellQuote(kExample) + " --strict --csv " +
                                                 shellQuote(dir.file("big.csv")) + " --out " +
                                                 shellQuote(dir.file(jobs)) + " --jobs " + jobs);
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    const auto one = folderContent(dir.file("1"));
    EXPECT_EQ(one.size(), 5u);
    EXPECT_TRUE(one == folderContent(dir.file("4")));
}

TEST(RunCommand, ExamplesDrawEveryCardAlikeOnAnyJobCount)
{
    // Thirteen scripts, an emoji and mixed directions; bands by category, a turned code-side
    // text and a vertical title: no problem for --strict (every code reads back), and the same
    // bytes whether one worker or four draw them (each keeps faces and glyphs of its own).
    const struct {
        const char* example;
        std::size_t cards;
    } cases[] = {{"international/international.dat", 13}, {"event-badge/event-badge.dat", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.example);
        TempDir dir;
        const std::string example = std::string(TORVALE_SOURCE_DIR) + "/examples/" + c.example;
        for (const char* jobs : {"1", "4"}) {
            const CommandResult r = runTool(dir, shellQuote(example) + " --strict --out " +
                                                     shellQuote(dir.file(jobs)) + " --jobs " + jobs);
            EXPECT_EQ(r.exitCode, 0) << r.err;
        }
        const auto one = folderContent(dir.file("1"));
        EXPECT_EQ(one.size(), c.cards);
        EXPECT_TRUE(one == folderContent(dir.file("4")));
    }
}

TEST(RunCommand, StaffCardExampleDrawsTheSameCardsOnEveryPath)
{
    // Fixed texts with fields, a logo, a round cover-cropped photo with a placeholder, wrapped
    // titles: run, card and sheet draw them through the same renderer.
    TempDir dir;
    const std::string example =
        shellQuote(std::string(TORVALE_SOURCE_DIR) + "/examples/staff-card/staff-card.dat");
    const CommandResult run =
        runTool(dir, example + " --strict --quiet --out " + shellQuote(dir.file("cards")));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto cards = folderContent(dir.path() / "cards");
    EXPECT_EQ(cards.size(), 8u);
    const std::string config = "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                               shellQuote(TORVALE_BATCH_EXE);
    const CommandResult card =
        runCommand(config + " card " + example + " --row 6 --out " + shellQuote(dir.file("one")));
    EXPECT_EQ(card.exitCode, 0) << card.err;
    EXPECT_EQ(folderContent(dir.path() / "one").at("A0006-陈静.png"), cards.at("A0006-陈静.png"));
    const CommandResult sheet = runCommand(config + " sheet " + example + " --strict --quiet --out " +
                                           shellQuote(dir.file("cards.pdf")));
    EXPECT_EQ(sheet.exitCode, 0) << sheet.err;
    EXPECT_TRUE(fs::exists(dir.path() / "cards.pdf"));

    // The row check names the photo the placeholder stands in for.
    writeFile(dir.file("missing.csv"), "工号,姓名,职务,照片\nB1,名,职务,gone.jpg\n");
    const CommandResult rows = runCommand(config + " check " + example + " --rows --csv " +
                                          shellQuote(dir.file("missing.csv")) + " --out " +
                                          shellQuote(dir.file("cards")));
    EXPECT_NE(rows.out.find("gone.jpg（将使用占位图片）"), std::string::npos) << rows.out;
}

TEST(RunCommand, RefusesBadInput)
{
    TempDir dir;
    writeFile(dir.file("empty.dat"), "");
    writeFile(dir.file("other.csv"), "工号,名字,部门,照片\nA1,张三,研发部,a.jpg\n");
    const std::string example = shellQuote(kExample);
    const std::string out = " --out " + shellQuote(dir.file("cards"));
    const struct {
        std::string arguments;
        int exitCode;
        std::string err;
    } cases[] = {
        {example + out + " --csv " + shellQuote(dir.file("other.csv")), 1,
         "图层#2 还没有绑定列名: 请绑定一个列名\n"},
        {example + out + " --jobs 0", 2, "--jobs"},
        {example + out + " --bogus", 2, "--bogus"},
        {example, 2, "--out"},
        {shellQuote(dir.file("empty.dat")) + out, 2, ""},
        {shellQuote(dir.file("missing.dat")) + out, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runTool(dir, c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_TRUE(folderContent(dir.file("cards")).empty());
    }
}

// Grey levels of a card's rectangle x, y, width, height.
std::vector<unsigned char> cardArea(const std::string& bytes, long x, long y, std::size_t width,
                                    std::size_t height)
{
    MagickWandPtr card(NewMagickWand());
    std::vector<unsigned char> grey(width * height);
    EXPECT_TRUE(MagickReadImageBlob(card.get(), bytes.data(), bytes.size()));
    EXPECT_TRUE(MagickExportImagePixels(card.get(), x, y, width, height, "I", CharPixel,
                                        grey.data()));
    return grey;
}

TEST(RunCommand, NameColumnsAndFallbackTextForATemplateWithoutItsOwnCsv)
{
    TempDir dir;
    // The example without a CSV file, its department layer in a font without Chinese.
    std::string tpl = readFile(kExample);
    for (const auto& [from, to] : {std::pair{"\"staff.csv\"", "\"\""},
                                   std::pair{"\"宋体\",\n\t\t\t\"fontSize\":\t24",
                                             "\"DejaVu Sans\",\n\t\t\t\"fontSize\":\t24"}}) {
        const auto at = tpl.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        tpl.replace(at, std::string(from).size(), to);
    }
    writeFile(dir.file("badge.dat"), tpl);
    fs::copy_file(kExampleFolder + "/background.png", dir.file("background.png"));
    writeFile(dir.file("rows.csv"), "工号,姓名,部门,照片\nB1,名1,研发部,\nB2,名2,,\n");
    const std::string base = shellQuote(dir.file("badge.dat")) + " --csv " +
                             shellQuote(dir.file("rows.csv")) + " --out ";

    // The template's own file-name columns are those of the CSV file given.
    const CommandResult own = runTool(dir, base + shellQuote(dir.file("a")));
    EXPECT_EQ(own.exitCode, 0) << own.err;
    EXPECT_TRUE(folderContent(dir.file("a")).count("B1-名1.jpg"));
    const CommandResult unknown = runTool(dir, base + shellQuote(dir.file("a")) + " --name 没有");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("--name: the CSV file has no column '没有'"), std::string::npos)
        << unknown.err;

    const CommandResult one = runTool(dir, base + shellQuote(dir.file("one")) + " --name 工号");
    EXPECT_EQ(one.exitCode, 0) << one.err;
    const auto cards = folderContent(dir.file("one"));
    ASSERT_TRUE(cards.count("B1.jpg") && cards.count("B2.jpg"));
    // The department is drawn, in a font that has its characters: the layer is not blank.
    const auto drawn = cardArea(cards.at("B1.jpg"), 360, 300, 600, 70);
    const auto blank = cardArea(cards.at("B2.jpg"), 360, 300, 600, 70);
    std::size_t ink = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i)
        ink += drawn[i] + 80 < blank[i];
    EXPECT_GT(ink, 300u);

    const CommandResult two =
        runTool(dir, base + shellQuote(dir.file("two")) + " --name 工号 --name2 姓名");
    EXPECT_EQ(two.exitCode, 0) << two.err;
    EXPECT_TRUE(folderContent(dir.file("two")).count("B1-名1.jpg"));
}

TEST(RunCommand, FullDiskKeepsWrittenCardsWholeAndFails)
{
    TempDir dir;
    const std::string reference = dir.file("reference");
    ASSERT_EQ(runTool(dir, shellQuote(kExample) + " --out " + shellQuote(reference)).exitCode, 0);
    const auto cards = folderContent(reference);
    std::vector<std::size_t> sizes;
    for (const auto& [name, bytes] : cards)
        sizes.push_back(bytes.size());
    std::sort(sizes.begin(), sizes.end());
    // A file size limit (512-byte blocks) that about half of the cards exceed.
    const std::size_t blocks = sizes[sizes.size() / 2] / 512;
    std::size_t fitting = 0;
    for (std::size_t size : sizes)
        fitting += size <= blocks * 512 ? 1 : 0;
    ASSERT_GT(fitting, 0u);
    ASSERT_LT(fitting, sizes.size());

    const std::string folder = dir.file("limited");
    const CommandResult r =
        runCommand("sh -c " + shellQuote("ulimit -f " + std::to_string(blocks) + "; " +
                                         runLine(dir, shellQuote(kExample) + " --out " +
                                                          shellQuote(folder) + " --jobs 2")));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto written = folderContent(folder);
    EXPECT_EQ(written.size(), fitting);
    for (const auto& [name, bytes] : written)
        EXPECT_EQ(bytes, cards.at(name)) << name;
    for (const auto& [name, bytes] : cards) {
        if (written.count(name))
            continue;
        const std::string logged = "写入文件 '" + folder + "/" + name + "' 时发生错误:";
        EXPECT_NE(r.err.find(logged), std::string::npos) << name;
    }
    EXPECT_NE(r.out.find("已写入 " + std::to_string(fitting) + " 张"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("有 " + std::to_string(sizes.size() - fitting) + " 张卡片未能写入"),
              std::string::npos)
        << r.out;
}

// Starts "run" over 600 rows with one job and returns once its first card is there.
pid_t startRunAndWaitForFirstCard(const TempDir& dir, const std::string& folder,
                                  const std::string& outFile)
{
    writeFile(dir.file("many.csv"), exampleRows(600));
    const pid_t pid = test::spawnTool(
        {"run", kExample, "--out", folder, "--csv", dir.file("many.csv"), "--jobs", "1"},
        dir.file("config"), outFile);
    if (pid <= 0)
        return pid;

    // The wait is bounded only for safety.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    const auto cardSeen = [&folder] {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".torvale-", 0) != 0 && name != kCardRecordFileName)
                return true;
        }
        return false;
    };
    while (!cardSeen() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(cardSeen());
    return pid;
}

TEST(RunCommand, InterruptStopsCleanly)
{
    TempDir dir;
    const std::string folder = dir.file("cards");
    const std::string outFile = dir.file("stdout");
    const pid_t pid = startRunAndWaitForFirstCard(dir, folder, outFile);
    ASSERT_GT(pid, 0);
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(readFile(outFile).find("已停止"), std::string::npos) << readFile(outFile);
    const auto files = folderContent(folder);
    EXPECT_GE(files.size(), 1u);
    EXPECT_LT(files.size(), 600u);
    expectOnlyCompleteCards(files);
}

} // namespace
} // namespace torvale

namespace torvale {
namespace {

TEST(RunCommand, QuietStillListsCardProblemsAndStrictFailsOnThem)
{
    TempDir dir;
    const std::string csv = dir.file("staff.csv");
    writeFile(csv, exampleRows(3) + "B9,缺照片,研发部," + dir.file("gone.jpg") + "\n");
    const std::string common = shellQuote(kExample) + " --csv " + shellQuote(csv) + " --out ";
    for (const bool strict : {false, true}) {
        const std::string out = dir.file(strict ? "strict" : "quiet");
        const CommandResult result =
            runTool(dir, common + shellQuote(out) + " --quiet" + (strict ? " --strict" : ""));
        EXPECT_EQ(result.exitCode, strict ? 1 : 0);
        EXPECT_NE(result.err.find("gone.jpg"), std::string::npos) << result.err;
        EXPECT_NE(result.out.find("其中 1 张有问题"), std::string::npos) << result.out;
        EXPECT_EQ(folderContent(out).size(), 4u);
    }
}

TEST(RunCommand, RowsTheFileLosesAreLoggedAndFailStrict)
{
    TempDir dir;
    const std::string csv = dir.file("lost.csv");
    // Row 2 has a fifth cell; the quote of row 3 is never closed and takes row 4 with it.
    writeFile(csv, exampleRows(1) + "B2,名2,研发部,,多余\nB3,\"名3,研发部,\nB4,名4,研发部,\n");
    const std::string common = shellQuote(kExample) + " --csv " + shellQuote(csv) + " --out ";
    for (const bool strict : {false, true}) {
        const std::string out = dir.file(strict ? "strict" : "plain");
        const CommandResult result =
            runTool(dir, common + shellQuote(out) + " --quiet" + (strict ? " --strict" : ""));
        EXPECT_EQ(result.exitCode, strict ? 1 : 0) << result.err;
        EXPECT_NE(
            result.err.find("第 2 行（文件第 3 行）有 5 个单元格，与表头的 4 个不同，已跳过。"),
            std::string::npos)
            << result.err;
        EXPECT_NE(
            result.err.find(
                "第 3 行（文件第 4 行）的引号没有闭合，文件第 4 行到末尾的内容都读进了这一行。"),
            std::string::npos)
            << result.err;
        EXPECT_NE(result.out.find("有 2 行数据被跳过"), std::string::npos) << result.out;
        EXPECT_EQ(folderContent(out).size(), 1u);
    }
}

} // namespace
} // namespace torvale
