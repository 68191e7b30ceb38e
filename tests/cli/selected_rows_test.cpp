#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace torvale {
namespace {

using test::CommandResult;
using test::folderContent;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

const std::string kExampleFolder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";

// Nine data rows named by 姓名 with names that repeat, a blank row 6 and a row 8 whose own name
// is the numbered name of the second 甲. A run of every row gives, row by row: 甲, 乙, 甲(2),
// 丙, 甲(3), none, 乙(2), 甲(2)(2), 丙(2).
class SelectedRows : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory_symlink(kExampleFolder + "/photos",
                                                  dir.path() / "photos");
        writeFile(dir.file("list.csv"),
                  "工号,姓名,部门,照片\nB1,甲,研发部,photos/p01.jpg\nB2,乙,市场部,photos/p02.jpg\n"
                  "B3,甲,研发部,photos/p03.jpg\nB4,丙,市场部,photos/p05.jpg\n"
                  "B5,甲,市场部,photos/p06.jpg\n,,,\nB7,乙,研发部,photos/p07.jpg\n"
                  "B8,甲(2),研发部,photos/p08.jpg\nB9,丙,研发部,photos/p01.jpg\n");
    }

    CommandResult tool(const std::string& command, const std::string& out,
                       const std::string& options)
    {
        return runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                          shellQuote(TORVALE_BATCH_EXE) + " " + command + " " +
                          shellQuote(kExampleFolder + "/badge.dat") + " --csv " +
                          shellQuote(dir.file("list.csv")) + " --name 姓名 --out " +
                          shellQuote(dir.file(out)) + " " + options);
    }

    // The cards of a run of every row, by file name.
    std::map<std::string, std::string> fullRun()
    {
        const CommandResult r = tool("run", "full", "--quiet --jobs 2");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return folderContent(dir.path() / "full");
    }

    TempDir dir;
};

TEST_F(SelectedRows, RowsAndConditionsMakeTheirCardsUnderTheFullRunNames)
{
    const auto full = fullRun();
    ASSERT_EQ(full.size(), 8u);
    const struct {
        std::string options;
        std::vector<std::string> files;
    } cases[] = {
        {"--rows 3-6,8", {"甲(2).jpg", "丙.jpg", "甲(3).jpg", "甲(2)(2).jpg"}},
        {"--rows 9 --rows 2", {"乙.jpg", "丙(2).jpg"}},
        {"--where 部门=研发部 --where '姓名 != 甲'", {"乙(2).jpg", "甲(2)(2).jpg", "丙(2).jpg"}},
        {"--rows 1-8 --where 部门=研发部 --part 2/3", {"甲(2)(2).jpg"}},
    };
    for (const auto& c : cases) {
        const std::string out = "sel" + std::to_string(&c - cases);
        const CommandResult r = tool("run", out, c.options + " --jobs 2");
        EXPECT_EQ(r.exitCode, 0) << c.options << r.err;
        const auto selected = folderContent(dir.path() / out);
        EXPECT_EQ(selected.size(), c.files.size()) << c.options;
        for (const std::string& file : c.files) {
            ASSERT_TRUE(selected.count(file)) << c.options << " " << file;
            EXPECT_EQ(selected.at(file), full.at(file)) << file;
        }
    }
}

TEST_F(SelectedRows, PartsMakeTheFullRunTogetherAndNothingIsOverwritten)
{
    const auto full = fullRun();
    for (const char* part : {"2/3", "3/3", "1/3"}) {
        const CommandResult r = tool("run", "parts", std::string("--quiet --part ") + part);
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    EXPECT_TRUE(folderContent(dir.path() / "parts") == full);

    // The name a row has in the full run is taken: it goes on to the next free number.
    std::filesystem::create_directory(dir.path() / "taken");
    writeFile(dir.file("taken/甲(3).jpg"), "mine");
    const CommandResult r = tool("run", "taken", "--rows 5");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("其中 1 张因同名文件已存在而加了编号。"), std::string::npos) << r.out;
    const auto taken = folderContent(dir.path() / "taken");
    EXPECT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken.at("甲(3).jpg"), "mine");
    EXPECT_EQ(taken.at("甲(4).jpg"), full.at("甲(3).jpg"));

    // The sheet lays out the selected cards only.
    const CommandResult sheet = tool("sheet", "cards.pdf", "--where 部门=市场部");
    EXPECT_EQ(sheet.exitCode, 0) << sheet.err;
    EXPECT_NE(sheet.out.find("已将 3 张卡片排版"), std::string::npos) << sheet.out;
}

TEST_F(SelectedRows, CheckWalksTheChosenRowsAndNamesThemAsTheRunDoes)
{
    const CommandResult all = tool("check", "cards", "--rows");
    EXPECT_NE(all.err.find("已检查 9 行"), std::string::npos) << all.err;
    // Row 3 alone is still the second 甲.
    const CommandResult one = tool("check", "cards", "--rows 3");
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(one.out, "第 3 行，姓名：文件名“甲.jpg”与第 1 行相同，将另存为带编号的名字\n");
    EXPECT_NE(one.err.find("已检查 1 行"), std::string::npos) << one.err;
    // --where alone walks the rows it chooses, here rows 1, 3 and 5.
    const CommandResult where = tool("check", "cards", "--where 姓名=甲 --json");
    EXPECT_EQ(where.out.find("\"row\":1,"), std::string::npos) << where.out;
    EXPECT_NE(where.out.find("\"row\":3,"), std::string::npos) << where.out;
    EXPECT_NE(where.out.find("\"row\":5,"), std::string::npos) << where.out;
    EXPECT_NE(where.err.find("已检查 3 行"), std::string::npos) << where.err;
}

TEST_F(SelectedRows, BadSelectionsAreUsageErrorsNamingThePart)
{
    const struct {
        const char* command;
        std::string options;
        std::string error;
    } cases[] = {
        {"run", "--rows 2,10", "--rows: '10' is beyond the data: it has 9 rows"},
        {"run", "--where 职务=经理", "--where: '职务=经理': the data has no column '职务'"},
        {"run", "--part 4/3", "--part: '4/3' is not a part K/N with 1 <= K <= N"},
        {"sheet", "--rows 7-3", "--rows: '7-3' is reversed: write 3-7"},
        {"check", "--rows 3-x", "--rows: '3-x' is not a row number or a range like 3-7"},
    };
    for (const auto& c : cases) {
        const CommandResult r =
            tool(c.command, std::string(c.command) == "sheet" ? "bad.pdf" : "bad", c.options);
        EXPECT_EQ(r.exitCode, 2) << c.options;
        EXPECT_EQ(r.err.rfind("torvale-batch: " + c.error, 0), 0u) << r.err;
        EXPECT_TRUE(folderContent(dir.path() / "bad").empty()) << c.options;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "bad.pdf"));
}

} // namespace
} // namespace torvale
