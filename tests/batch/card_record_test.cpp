#include "batch/card_record.h"
#include "common/text.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace torvale {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

class Lines : public LogSink {
public:
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

const std::string kHash = "00000000000000ff";

TEST(CardRecord, LinesQuoteTheirFieldsAndSummariesTellRowsApart)
{
    const struct {
        std::string file;
        std::vector<std::string> problems;
        std::string fields; // after the time
    } lines[] = {
        {"A1-张伟.jpg", {}, ",7,A1-张伟.jpg,,"},
        {"a,b\"c.jpg", {"照片不存在：x.jpg\r\n"}, ",7,\"a,b\"\"c.jpg\",照片不存在：x.jpg,"},
        {"b.jpg", {"写入:\r\nNo space\r\n", "", "放不下"}, ",7,b.jpg,写入: No space；放不下,"},
    };
    for (const auto& l : lines) {
        const std::string line = cardRecordLine(0, 7, l.file, l.problems, 255);
        EXPECT_EQ(line.substr(19), l.fields + kHash + "\r\n");
    }

    Template tpl;
    const CardSummary summary(tpl, 96);
    const std::uint64_t ab_c = summary.of({"ab", "c"});
    EXPECT_NE(ab_c, summary.of({"a", "bc"}));
    EXPECT_NE(summary.of({"a"}), summary.of({"a", ""}));
    EXPECT_NE(ab_c, CardSummary(tpl, 300).of({"ab", "c"}));
    // Where the cards go changes no card; what is on them does.
    tpl.output.outputFolder = "/elsewhere";
    EXPECT_EQ(ab_c, CardSummary(tpl, 96).of({"ab", "c"}));
    tpl.layers.push_back(
        makeLayer(LayerType::Text, LayerLevel::AboveBackground, OverflowStyle::FillScale));
    EXPECT_NE(ab_c, CardSummary(tpl, 96).of({"ab", "c"}));
}

TEST(CardRecord, DamagedLinesAreLeftOutWithTheirLineNumber)
{
    TempDir dir;
    const std::string good = "2026-12-09 14:03:05,2,b.jpg,照片不存在,00000000000000ff";
    const struct {
        std::string line;
        std::string reason;
    } damaged[] = {
        {"2026-12-09 14:03:05,3,c.jp", "有 3 列"},
        {"2026-12-09 14:03:05,3,c.jpg,,00ff,extra", "有 6 列"},
        {"2026-12-09 14:0", "有 1 列"},
        {"2026-12-09 14:03:05,三,c.jpg,,00000000000000ff", "行号不是数字"},
        {"2026-12-09 14:03:05,0,c.jpg,,00000000000000ff", "行号不是数字"},
        {"2026-12-09 14:03:05,99999999999999999999,c.jpg,,00000000000000ff", "行号不是数字"},
        {"\xEF\xBB\xBF时间,行号,文件,问题,摘要", "字节顺序标记"},
        {"2026-12-09 14:03:05,3,\xFF.jpg,,00000000000000ff", "UTF-8"},
        {"2026-12-09 14:03:05,3,\"c.jpg,,00000000000000ff", "引号没有闭合"},
        {"2026-12-09 14:03:05,3,../c.jpg,,00000000000000ff", "文件名不对"},
        {"2026-12-09 14:03:05,3,.torvale-card-0123456789abcdef,,00000000000000ff", "文件名不对"},
        {"2026-12-09 14:03:05,3,c.jpg,,00000000000000fg", "摘要不对"},
        {"2026-12-09 14:3:05,3,c.jpg,,00000000000000ff", "时间不完整"},
    };
    std::string text = std::string("\xEF\xBB\xBF") + kCardRecordHeader + "\r\n" +
                       "2026-12-09 14:03:04,2,a.jpg,,0000000000000001\r\n";
    for (const auto& d : damaged)
        text += d.line + "\r\n";
    text += good + "\n\n2026-12-09 14:03:06,1,\"x,y.jpg\",,0000000000000002";
    writeFile(cardRecordPath(dir.path().string()), text);

    Lines log;
    const CardRecord record = readCardRecord(dir.path().string(), log);
    ASSERT_EQ(log.lines.size(), std::size(damaged));
    for (std::size_t i = 0; i < std::size(damaged); ++i) {
        const std::string& line = log.lines[i];
        EXPECT_NE(line.find(formatText("第 %zu 行", i + 3)), std::string::npos) << line;
        EXPECT_NE(line.find(damaged[i].reason), std::string::npos) << line;
    }
    // The latest whole line of a row counts.
    ASSERT_NE(record.latest(2), nullptr);
    EXPECT_EQ(record.latest(2)->file, "b.jpg");
    EXPECT_EQ(record.latest(2)->summary, 255u);
    ASSERT_NE(record.latest(1), nullptr);
    EXPECT_EQ(record.latest(1)->file, "x,y.jpg");
    EXPECT_EQ(record.latest(3), nullptr);
    EXPECT_EQ(record.problemRows(), std::vector<std::size_t>{2});

    // A record larger than what is read is read from its end: the last whole lines count.
    Lines tail;
    const CardRecord last = readCardRecord(dir.path().string(), tail, good.size() + 60);
    ASSERT_EQ(tail.lines.size(), 1u);
    EXPECT_NE(tail.lines[0].find("太大"), std::string::npos);
    EXPECT_EQ(last.problemRows(), std::vector<std::size_t>{2});
    EXPECT_EQ(last.latest(1)->file, "x,y.jpg");
}

TEST(CardRecord, AnythingButAFileInItsPlaceIsRefusedWithoutWaiting)
{
    for (const bool fifo : {false, true}) {
        TempDir dir;
        const std::string path = cardRecordPath(dir.path().string());
        if (fifo)
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else
            std::filesystem::create_directory(path);
        Lines log;
        bool exists = false;
        EXPECT_TRUE(readCardRecord(dir.path().string(), log, kMaxCardRecordBytes, &exists).empty());
        EXPECT_TRUE(exists);
        CardRecordWriter writer(dir.path().string());
        EXPECT_FALSE(writer.append(1, "a.jpg", {}, 1, log));
        EXPECT_FALSE(writer.append(2, "b.jpg", {}, 2, log));
        ASSERT_EQ(log.lines.size(), 2u); // one for reading, one for writing
        EXPECT_NE(log.lines[1].find("卡片照常生成"), std::string::npos) << log.lines[1];
    }

    // A new record starts with the mark and the header; a line cut short stays on its own.
    TempDir dir;
    Lines log;
    CardRecordWriter(dir.path().string()).append(1, "a.jpg", {}, 1, log);
    const std::string path = cardRecordPath(dir.path().string());
    const std::string first = readFile(path);
    EXPECT_EQ(first.rfind(std::string("\xEF\xBB\xBF") + kCardRecordHeader + "\r\n2026-", 0), 0u)
        << first;
    writeFile(path, first + "2026-12-09 14:03:05,2,b.j");
    CardRecordWriter(dir.path().string()).append(3, "c.jpg", {}, 3, log);
    const CardRecord record = readCardRecord(dir.path().string(), log);
    EXPECT_EQ(log.lines.size(), 1u);
    EXPECT_NE(record.latest(1), nullptr);
    EXPECT_NE(record.latest(3), nullptr);
}

} // namespace
} // namespace torvale
