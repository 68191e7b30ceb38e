#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace torvale {
namespace {

using test::CommandResult;
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
