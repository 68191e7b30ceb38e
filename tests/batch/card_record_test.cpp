#include "batch/card_record.h"
#include "common/text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace torvale {
namespace {

using test::TempDir;
using test::writeFile;

class Lines : public LogSink {
public:
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

TEST(CardRecord, LinesQuoteTheirFieldsAndSummariesTellRowsApart)
{
    // After the time: one line per card, the log's line breaks gone.
    EXPECT_EQ(cardRecordLine(0, 7, "a,b\"c.jpg", {"照片不存在\r\n", "", "写入:\r\nNo space"}, 255)
                  .substr(19),
              ",7,\"a,b\"\"c.jpg\",照片不存在；写入: No space,00000000000000ff\r\n");

    Template tpl;
    const std::uint64_t ab_c = CardSummary(tpl, 96).of({"ab", "c"});
    EXPECT_NE(ab_c, CardSummary(tpl, 96).of({"a", "bc"}));
    EXPECT_NE(CardSummary(tpl, 96).of({"a"}), CardSummary(tpl, 96).of({"a", ""}));
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
    const struct {
        std::string line;
        std::string reason;
    } damaged[] = {
        {"2026-12-09 14:03:05,3,c.jp", "有 3 列"},
        {"2026-12-09 14:0", "有 1 列"},
        {"2026-12-09 14:03:05,三,c.jpg,,00000000000000ff", "行号不是数字"},
        {"2026-12-09 14:03:05,99999999999999999999,c.jpg,,00000000000000ff", "行号不是数字"},
        {"\xEF\xBB\xBF时间,行号,文件,问题,摘要", "字节顺序标记"},
        {"2026-12-09 14:03:05,3,\xFF.jpg,,00000000000000ff", "UTF-8"},
        {"2026-12-09 14:03:05,3,\"c.jpg,,00000000000000ff", "引号没有闭合"},
        {"2026-12-09 14:03:05,3,../c.jpg,,00000000000000ff", "文件名不对"},
        {"2026-12-09 14:03:05,3,c.jpg,,00000000000000fg", "摘要不对"},
        {"2026-12-09 14:3:05,3,c.jpg,,00000000000000ff", "时间不完整"},
    };
    std::string text = std::string("\xEF\xBB\xBF") + kCardRecordHeader + "\r\n" +
                       "2026-12-09 14:03:04,2,a.jpg,,0000000000000001\r\n";
    for (const auto& d : damaged)
        text += d.line + "\r\n";
    const std::string last = "2026-12-09 14:03:06,2,\"b,c.jpg\",照片不存在,00000000000000ff";
    text += "\n" + last;
    TempDir dir;
    writeFile(cardRecordPath(dir.path().string()), text);

    // A record over the size read is read from its end: the last whole lines count.
    for (const std::uint64_t size : {kMaxCardRecordBytes, std::uint64_t{last.size() + 2}}) {
        Lines log;
        const CardRecord record = readCardRecord(dir.path().string(), log, size);
        const bool whole = size == kMaxCardRecordBytes;
        ASSERT_EQ(log.lines.size(), whole ? std::size(damaged) : 1u);
        for (std::size_t i = 0; whole && i < std::size(damaged); ++i) {
            EXPECT_NE(log.lines[i].find(formatText("第 %zu 行", i + 3)), std::string::npos);
            EXPECT_NE(log.lines[i].find(damaged[i].reason), std::string::npos) << log.lines[i];
        }
        ASSERT_NE(record.latest(2), nullptr);
        EXPECT_EQ(record.latest(2)->file, "b,c.jpg");
        EXPECT_EQ(record.latest(2)->summary, 255u);
        EXPECT_EQ(record.latest(3), nullptr);
        EXPECT_EQ(record.problemRows(), std::vector<std::size_t>{2});
    }
}

TEST(CardRecord, AFifoIsRefusedWithoutWaitingAndALineCutShortStaysOnItsOwn)
{
    TempDir fifo;
    ASSERT_EQ(mkfifo(cardRecordPath(fifo.path().string()).c_str(), 0600), 0);
    Lines log;
    EXPECT_TRUE(readCardRecord(fifo.path().string(), log).empty());
    EXPECT_EQ(log.lines.size(), 1u);

    TempDir dir;
    writeFile(cardRecordPath(dir.path().string()),
              "2026-12-09 14:03:05,1,a.jpg,,0000000000000001\n2026-12-09 14:03:05,2,b.j");
    CardRecordWriter(dir.path().string()).append(3, "c.jpg", {}, 3, log);
    const CardRecord record = readCardRecord(dir.path().string(), log);
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_NE(record.latest(1), nullptr);
    EXPECT_NE(record.latest(3), nullptr);
}

} // namespace
} // namespace torvale
