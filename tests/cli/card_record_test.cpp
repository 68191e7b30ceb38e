#include "batch/card_record.h"
#include "common/text.h"
#include "support/test_support.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace torvale {
namespace {

using test::CommandResult;
using test::folderContent;
using test::readFile;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

const std::string kExampleFolder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge";

class CardRecordRun : public testing::Test {
protected:
    CommandResult run(const std::string& out, const std::string& options)
    {
        return test::runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                                shellQuote(TORVALE_BATCH_EXE) + " run " +
                                shellQuote(kExampleFolder + "/badge.dat") + " --csv " +
                                shellQuote(dir.file("list.csv")) + " --out " +
                                shellQuote(dir.file(out)) + " --quiet " + options);
    }

    // The cards in a folder, without the temporary files a killed run leaves.
    std::map<std::string, std::string> cards(const std::string& out)
    {
        auto files = folderContent(dir.path() / out);
        std::erase_if(files, [](const auto& file) { return file.first.starts_with(".torvale-"); });
        return files;
    }

    TempDir dir;
};

TEST_F(CardRecordRun, AKilledRunIsFinishedByResumeAsOneRun)
{
    // Every card is named 研发部, so all but the first take a "(n)" decided over the list.
    writeFile(dir.file("list.csv"), test::exampleRows(300));
    const std::string options = "--name 部门 --jobs 2";
    ASSERT_EQ(run("full", options).exitCode, 0);
    const auto expected = cards("full");
    ASSERT_EQ(expected.size(), 300u);

    // The record of a whole run: the mark, the header and one line per card, row by row.
    std::istringstream record(readFile(cardRecordPath(dir.file("full"))));
    std::string line;
    std::getline(record, line);
    EXPECT_EQ(line, std::string("\xEF\xBB\xBF") + kCardRecordHeader + "\r");
    std::size_t row = 0;
    while (std::getline(record, line)) {
        const std::string file = ++row == 1 ? "研发部.jpg" : formatText("研发部(%zu).jpg", row);
        // Between the time and the summary.
        EXPECT_EQ(line.substr(19, line.size() - 36), formatText(",%zu,%s,,", row, file.c_str()));
    }
    EXPECT_EQ(row, 300u);

    const std::string out = dir.file("killed");
    const pid_t pid =
        test::spawnTool({"run", kExampleFolder + "/badge.dat", "--csv", dir.file("list.csv"),
                         "--out", out, "--name", "部门", "--jobs", "2"},
                        dir.file("config"), dir.file("stdout"));
    ASSERT_GT(pid, 0);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (cards("killed").size() < 30 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::size_t made = cards("killed").size();
    ASSERT_LT(made, 300u);

    const CommandResult resumed = run("killed", options + " --resume");
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.out.find(formatText("有 %zu 张卡片按制作记录已经做过", made)),
              std::string::npos)
        << resumed.out;
    EXPECT_TRUE(cards("killed") == expected);

    // The record names every card.
    const std::string after = readFile(cardRecordPath(out));
    for (const auto& [name, bytes] : expected)
        EXPECT_NE(after.find("," + name + ",,"), std::string::npos) << name;
}

TEST_F(CardRecordRun, RedoProblemsRemakesOnlyTheRowsThatHadOne)
{
    // Rows 2 and 5 name photos that are not there yet.
    const std::string photos = kExampleFolder + "/photos/";
    std::string csv = "工号,姓名,部门,照片\n";
    for (int i = 1; i <= 6; ++i) {
        const std::string photo =
            i == 2 || i == 5 ? dir.file(formatText("p%d.jpg", i)) : photos + "p01.jpg";
        csv += formatText("B%d,名%d,研发部,%s\n", i, i, photo.c_str());
    }
    writeFile(dir.file("list.csv"), csv);
    ASSERT_EQ(run("cards", "--name 工号").exitCode, 0);
    for (const int i : {2, 5})
        std::filesystem::copy_file(photos + "p02.jpg", dir.file(formatText("p%d.jpg", i)));
    ASSERT_EQ(run("fresh", "--name 工号").exitCode, 0);
    const auto fresh = cards("fresh");

    // Row 3 changes, which only --resume makes again. Each step names the files it adds; a
    // card made again takes the next free name.
    const std::string row3 = "B3,名3,研发部";
    writeFile(dir.file("list.csv"), csv.replace(csv.find(row3), row3.size(), "B3,名3,市场部"));
    const struct {
        std::string options;
        std::set<std::string> added;
    } steps[] = {
        {"--redo-problems --rows 4-6", {"B5(2).jpg"}},
        {"--redo-problems", {"B2(2).jpg"}},
        {"--redo-problems", {}},
        {"--resume", {"B3(2).jpg"}},
    };
    auto before = cards("cards");
    for (const auto& step : steps) {
        const CommandResult r = run("cards", "--name 工号 " + step.options);
        EXPECT_EQ(r.exitCode, 0) << step.options << r.err;
        const auto now = cards("cards");
        std::set<std::string> added;
        for (const auto& [name, bytes] : now) {
            if (!before.count(name))
                added.insert(name);
            else
                EXPECT_EQ(bytes, before.at(name)) << name;
        }
        EXPECT_EQ(added, step.added) << step.options;
        before = now;
    }
    // The remade cards show the photos that are there now.
    EXPECT_EQ(before.at("B2(2).jpg"), fresh.at("B2.jpg"));
    EXPECT_EQ(before.at("B5(2).jpg"), fresh.at("B5.jpg"));
    EXPECT_NE(before.at("B2.jpg"), fresh.at("B2.jpg"));
}

} // namespace
} // namespace torvale
