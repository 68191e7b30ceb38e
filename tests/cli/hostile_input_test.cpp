#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace torvale {
namespace {

using test::CommandResult;
using test::folderContent;
using test::readFile;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

namespace fs = std::filesystem;

const std::string kExampleFolder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";

// "torvale-batch ARGS" run from folder, with settings kept in the test's own folder, ended
// after a minute whatever happens (a FIFO that blocked would otherwise hang the test).
CommandResult runIn(const TempDir& dir, const std::string& folder, const std::string& arguments,
                    const std::string& shellPrefix = "")
{
    return runCommand("cd " + shellQuote(folder) + " && " + shellPrefix +
                      "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) +
                      " timeout -s KILL 60 " + shellQuote(TORVALE_BATCH_EXE) + " " + arguments);
}

// The example copied into the test folder, with its CSV replaced.
void copyExample(const TempDir& dir, const std::string& csv)
{
    fs::copy(kExampleFolder, dir.path() / "badge", fs::copy_options::recursive);
    writeFile(dir.file("badge/staff.csv"), csv);
}

TEST(HostileInput, BareFileNamesMeanTheCurrentFolder)
{
    TempDir dir;
    // Photo paths in the CSV are relative to the CSV file, which is named without a folder.
    const CommandResult bare =
        runIn(dir, kExampleFolder,
              "card badge.dat --csv staff.csv --out " + shellQuote(dir.file("bare")));
    const CommandResult dotted =
        runIn(dir, kExampleFolder, "card ./badge.dat --out " + shellQuote(dir.file("dotted")));
    ASSERT_EQ(bare.exitCode, 0) << bare.err;
    ASSERT_EQ(dotted.exitCode, 0) << dotted.err;
    EXPECT_EQ(bare.err, "");
    const auto bareCards = folderContent(dir.file("bare"));
    ASSERT_EQ(bareCards.size(), 1u);
    EXPECT_EQ(bareCards, folderContent(dir.file("dotted")));
}

TEST(HostileInput, FifosAndDevicesAreRefusedWithoutBlocking)
{
    TempDir dir;
    copyExample(dir, "工号,姓名,部门,照片\nA1,张三,研发部,fifo.jpg\n");
    const std::string folder = dir.file("badge");
    ASSERT_EQ(mkfifo(dir.file("badge/fifo.jpg").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.file("badge/fifo.csv").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.file("badge/fifo.dat").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.file("badge/fifo.png").c_str(), 0644), 0);
    writeFile(
        dir.file("badge/fifo-background.dat"),
        readFile(dir.file("badge/badge.dat"))
            .replace(readFile(dir.file("badge/badge.dat")).find("background.png"), 14, "fifo.png"));
    const std::string out = " --out " + shellQuote(dir.file("cards"));

    const struct {
        std::string arguments;
        int exitCode;
        std::string message; // on standard output or error
    } cases[] = {
        {"template fifo.dat", 2, "读取文件时出错, 无法打开文件句柄"},
        {"template /dev/zero", 2, "读取文件时出错, 无法打开文件句柄"},
        {"columns fifo.csv", 2, "fifo.csv"},
        {"check badge.dat --csv fifo.csv" + out, 1,
         "csv文件无法访问: 请检查文件是否存在或被别的软件【独占方式】打开（fifo.csv）"},
        {"check fifo-background.dat" + out, 1, "背景图片 'fifo.png' 已不存在"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runIn(dir, folder, c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    }

    // A picture cell naming a FIFO is an unusable picture: logged, the card made without it.
    const CommandResult card = runIn(dir, folder, "run badge.dat" + out);
    EXPECT_EQ(card.exitCode, 0) << card.err;
    EXPECT_NE(card.err.find("无效图片:fifo.jpg"), std::string::npos) << card.err;
    EXPECT_EQ(folderContent(dir.file("cards")).size(), 1u);
}

TEST(HostileInput, ProblemsThatWouldFailEveryCardFailTheCheck)
{
    TempDir dir;
    copyExample(dir, readFile(kExampleFolder + "/staff.csv"));
    const std::string folder = dir.file("badge");
    const std::string out = " --out " + shellQuote(dir.file("cards"));

    // A file size limit below one block (but above what is printed) stands in for a full disk.
    const CommandResult full = runIn(dir, folder, "check badge.dat" + out, "ulimit -f 1; ");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.out.find("' 无法写入文件（"), std::string::npos) << full.out;
    EXPECT_TRUE(folderContent(dir.file("cards")).empty());

    // A background that exists but cannot be decoded no longer becomes a 1 x 1 card.
    writeFile(dir.file("badge/background.png"), "\x89PNG\r\n\x1a\n broken");
    const CommandResult broken = runIn(dir, folder, "run badge.dat" + out);
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("背景图片无法读取: 背景图片 'background.png' 已损坏"),
              std::string::npos)
        << broken.err;
    EXPECT_TRUE(folderContent(dir.file("cards")).empty());
    const CommandResult card = runIn(dir, folder, "card badge.dat" + out);
    EXPECT_EQ(card.exitCode, 1);
    EXPECT_NE(card.err.find("背景图片无法读取"), std::string::npos) << card.err;
}

TEST(HostileInput, HugeFilesAreRefusedBeforeTheyAreRead)
{
    TempDir dir;
    writeFile(dir.file("huge.dat"), "{");
    fs::resize_file(dir.path() / "huge.dat", 65 * 1024 * 1024); // sparse: no disk, no memory
    const CommandResult r = runIn(dir, dir.path().string(), "template huge.dat");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("文件太大（超过 64 MB）"), std::string::npos) << r.err;
}

TEST(HostileInput, CellTextReachesTheTerminalWithoutControlCharacters)
{
    TempDir dir;
    copyExample(
        dir, "工号,姓名,部门,照片\nA1,张三,研发部,\"\x1b]0;title\x07\x1b[2J\xe2\x80\xae.jpg\"\n");
    const CommandResult r =
        runIn(dir, dir.file("badge"), "run badge.dat --out " + shellQuote(dir.file("cards")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(
        r.err.find("无效图片:\xEF\xBF\xBD]0;title\xEF\xBF\xBD\xEF\xBF\xBD[2J\xEF\xBF\xBD.jpg"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

TEST(HostileInput, InvisibleCharactersNameNothingAndLineBreaksFakeNoLogLine)
{
    TempDir dir;
    copyExample(dir, "工号,姓名,部门,照片\n"
                     "\xEF\xBB\xBF,张三,研发部,\"a.jpg\n12:00:00 完成：已写入 9 张卡片\"\n"
                     "A2\u200b,李四\u2028,研发部,\n");
    const CommandResult r =
        runIn(dir, dir.file("badge"), "run badge.dat --out " + shellQuote(dir.file("cards")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto cards = folderContent(dir.file("cards"));
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards.begin()->first, "A2-李四-.jpg");
    EXPECT_EQ(std::next(cards.begin())->first, "工号-张三.jpg");
    EXPECT_NE(r.err.find("无效图片:a.jpg\uFFFD12:00:00 完成"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\n12:00:00 完成"), std::string::npos) << r.err;
}

// AddressSanitizer reserves address space and keeps freed memory of its own: memory limits and
// peaks say nothing about the program then.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The peak resident memory, in KiB, of a shell command line that ends by exec'ing the tool: the
// child waited for is the tool itself. -1 when it could not be run or did not exit with 0.
long peakMemoryKib(const std::string& commandLine)
{
    const std::string line = "exec " + commandLine;
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

TEST(HostileInput, ReadingACsvFileTakesAFewTimesItsSize)
{
    if (kSanitized)
        GTEST_SKIP() << "memory use of a sanitized build";
    TempDir dir;
    constexpr long kCommas = 20'000'000;
    writeFile(dir.file("commas.csv"), std::string(kCommas, ',') + "\n");
    writeFile(dir.file("tiny.csv"), "a\n");
    const std::string tool = shellQuote(TORVALE_BATCH_EXE);
    const long base =
        peakMemoryKib(tool + " columns " + shellQuote(dir.file("tiny.csv")) + " >/dev/null");
    ASSERT_GT(base, 0);
    for (const char* command : {" columns ", " rows "}) {
        SCOPED_TRACE(command);
        const long peak =
            peakMemoryKib(tool + command + shellQuote(dir.file("commas.csv")) + " >/dev/null");
        ASSERT_GT(peak, 0);
        // The bytes, and four bytes for each of the header's 20 000 001 cells.
        EXPECT_LT(peak - base, 6 * kCommas / 1024);
    }
}

TEST(HostileInput, RunningOutOfMemoryIsTheCsvFilesProblem)
{
    if (kSanitized)
        GTEST_SKIP() << "memory limits of a sanitized build";
    TempDir dir;
    copyExample(dir, "工号,姓名,部门,照片\nA1,张三,研发部,\n");
    writeFile(dir.file("badge/commas.csv"), std::string(20'000'000, ',') + "\n");
    // The header of the template's columns, and a row too wide for the memory left.
    writeFile(dir.file("badge/wide.csv"),
              "工号,姓名,部门,照片\n" + std::string(20'000'000, ',') + "\n");
    const std::string out = " --out " + shellQuote(dir.file("cards"));
    // Room for the program, not for the rows: the small file passes under the same limit.
    const std::string limit = "ulimit -v 120000; ";
    const struct {
        std::string arguments;
        int exitCode;
        std::string message; // on standard output or error
    } cases[] = {
        {"columns staff.csv", 0, "工号"},
        {"run badge.dat --jobs 1" + out, 0, "完成：已写入 1 张卡片"},
        {"columns commas.csv", 2, "文件 'commas.csv' 太大，内存不足，无法读取。"},
        {"rows commas.csv", 2, "文件 'commas.csv' 太大，内存不足，无法读取。"},
        {"check badge.dat --csv wide.csv --rows" + out, 1,
         "文件 'wide.csv' 太大，内存不足，无法读取。"},
        {"run badge.dat --csv wide.csv --jobs 1" + out, 1,
         "文件 'wide.csv' 太大，内存不足，无法读取。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runIn(dir, dir.file("badge"), c.arguments, limit);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    }
}

TEST(HostileInput, CardRefusesAnEmptyFolderAndBlankRows)
{
    TempDir dir;
    copyExample(dir, "工号,姓名,部门,照片\n , ,\t,\nA1,张三,研发部,\n");
    const std::string folder = dir.file("badge");
    const auto before = folderContent(folder);
    const CommandResult empty = runIn(dir, folder, "card badge.dat --out ''");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.err.find("请选择【图片保存到】文件夹"), std::string::npos) << empty.err;
    EXPECT_EQ(folderContent(folder), before) << "no card in the template's folder";

    const CommandResult blank =
        runIn(dir, folder, "card badge.dat --row 1 --out " + shellQuote(dir.file("cards")));
    EXPECT_EQ(blank.exitCode, 1);
    EXPECT_NE(blank.err.find("第 1 行数据是空白的"), std::string::npos) << blank.err;
    EXPECT_FALSE(fs::exists(dir.path() / "cards"));
}

} // namespace
} // namespace torvale
