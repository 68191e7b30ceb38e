#include "batch/csv_source.h"
#include "common/text.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace torvale {
namespace {

using test::TempDir;
using test::writeFile;
using Cells = std::vector<std::string>;
using Rows = std::vector<Cells>;

struct Skipped {
    std::size_t line = 0;
    std::size_t cells = 0;
};

// What the walker gives: the header, the rows the batch reads and the rows it skips.
struct Table {
    Cells header;
    Rows rows;
    std::vector<Skipped> skipped;
};

Table readCsv(std::string_view text, const CsvFormat& format)
{
    Table table;
    CsvRows rows(text, format);
    table.header = rows.header().toVector();
    CsvDataRow row;
    while (rows.next(row)) {
        if (row.skipped)
            table.skipped.push_back({row.line, row.cells.size()});
        else
            table.rows.push_back(row.cells.toVector());
    }
    return table;
}

std::optional<Table> loadCsvFile(const std::string& path, bool trim)
{
    std::string text;
    if (loadCsvText(path, text) != CsvStatus::Ok)
        return std::nullopt;
    return readCsv(text, csvFormatFor(trim));
}

std::optional<Cells> columnsOf(const std::string& path, bool trim)
{
    const auto columns = loadCsvColumns(path, trim);
    return columns ? std::optional(columns->toVector()) : std::nullopt;
}

// ---------------------------------------------------------------- reader, table-driven

struct ReadCase {
    const char* name;
    std::string text;
    bool trim;
    Cells header;
    Rows rows;
    std::vector<Skipped> dropped = {};
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c)
{
    return out << c.name;
}

class ReadCsvTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadCsvTest, ReadsHeaderRowsAndDropped)
{
    const ReadCase& c = GetParam();
    const Table table = readCsv(c.text, csvFormatFor(c.trim));
    EXPECT_EQ(table.header, c.header);
    EXPECT_EQ(table.rows, c.rows);
    ASSERT_EQ(table.skipped.size(), c.dropped.size());
    for (std::size_t i = 0; i < c.dropped.size(); ++i) {
        EXPECT_EQ(table.skipped[i].line, c.dropped[i].line) << "dropped " << i;
        EXPECT_EQ(table.skipped[i].cells, c.dropped[i].cells) << "dropped " << i;
    }
}

const ReadCase kReadCases[] = {
    {"plain", "a,b\n1,2\n3,4\n", true, {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
    {"no_final_break", "a,b\n1,2", true, {"a", "b"}, {{"1", "2"}}},
    {"crlf", "a,b\r\n1,2\r\n3,4\r\n", true, {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
    {"cr_only", "a,b\r1,2\r3,4", true, {"a", "b"}, {{"1", "2"}, {"3", "4"}}},
    {"mixed_breaks",
     "a,b\r\n1,2\r3,4\n5,6",
     true,
     {"a", "b"},
     {{"1", "2"}, {"3", "4"}, {"5", "6"}}},
    {"empty_cells", "a,b,c\n,,\n1,,3\n", true, {"a", "b", "c"}, {{"", "", ""}, {"1", "", "3"}}},
    {"quoted_comma", "name,dept\n\"Li, Lei\",IT\n", true, {"name", "dept"}, {{"Li, Lei", "IT"}}},
    {"doubled_quote", "a,b\n\"say \"\"hi\"\"\",x\n", true, {"a", "b"}, {{"say \"hi\"", "x"}}},
    {"only_doubled_quotes", "a\n\"\"\"\"\n", true, {"a"}, {{"\""}}},
    {"empty_quoted", "a,b\n\"\",\"\"\n", true, {"a", "b"}, {{"", ""}}},
    {"line_break_in_quotes",
     "a,b\n\"one\ntwo\",x\n\"three\r\nfour\",y\n",
     true,
     {"a", "b"},
     {{"one\ntwo", "x"}, {"three\r\nfour", "y"}}},
    {"quoted_header", "\"a,1\",\"b\"\nx,y\n", true, {"a,1", "b"}, {{"x", "y"}}},
    {"quote_inside_cell_is_text", "a,b\n5\" disk,x\"y\n", true, {"a", "b"}, {{"5\" disk", "x\"y"}}},
    {"text_after_closing_quote",
     "a,b\n\"ab\"cd,\"x\"\"\"y\"z\n",
     true,
     {"a", "b"},
     {{"abcd", "x\"y\"z"}}},
    {"spaces_before_quote_trim", "a,b\n1,  \"x,y\"  \n", true, {"a", "b"}, {{"1", "x,y"}}},
    {"spaces_before_quote_no_trim", "a,b\n1,  \"x,y\"  \n", false, {"a", "b"}, {{"1", "  x,y  "}}},
    {"trim_header_and_cells", "a, name\n 1 ,\t2\t\n", true, {"a", "name"}, {{"1", "2"}}},
    {"no_trim_header_and_cells", "a, name\n 1 ,\t2\t\n", false, {"a", " name"}, {{" 1 ", "\t2\t"}}},
    {"trim_quoted_value", "a\n\"  x  \"\n", true, {"a"}, {{"x"}}},
    {"no_trim_quoted_value", "a\n\"  x  \"\n", false, {"a"}, {{"  x  "}}},
    {"trim_keeps_inner_spaces", "a\n  x  y  \n", true, {"a"}, {{"x  y"}}},
    {"dropped_rows_next_still_read",
     "a,b\n1,2\n1,2,3\n4\n5,6\n",
     true,
     {"a", "b"},
     {{"1", "2"}, {"5", "6"}},
     {{3, 3}, {4, 1}}},
    {"dropped_line_counts_breaks_in_quotes",
     "a,b\n\"x\ny\",1\n\"p\r\nq\",2,3\nz,9\n",
     true,
     {"a", "b"},
     {{"x\ny", "1"}, {"z", "9"}},
     {{4, 3}}},
    {"dropped_line_counts_blank_lines",
     "a,b\n\n\r\n1\n2,3\n",
     true,
     {"a", "b"},
     {{"2", "3"}},
     {{4, 1}}},
    {"duplicate_columns", "name,name,id\n1,2,3\n", true, {"name", "name", "id"}, {{"1", "2", "3"}}},
    {"header_only", "a,b\n", true, {"a", "b"}, {}},
    {"header_only_no_break", "a,b", true, {"a", "b"}, {}},
    {"empty", "", true, {}, {}},
    {"only_mark", "\xEF\xBB\xBF", true, {}, {}},
    {"only_blank_lines", "\n\r\n  \n\t\n", true, {}, {}},
    {"mark_skipped",
     "\xEF\xBB\xBF"
     "a,b\n1,2\n",
     true,
     {"a", "b"},
     {{"1", "2"}}},
    {"blank_lines_give_no_row",
     "\n\na,b\n\n1,2\r\n\r\n   \n3,4\n\n",
     true,
     {"a", "b"},
     {{"1", "2"}, {"3", "4"}}},
    {"space_line_one_column", "a\n  \nx\n", false, {"a"}, {{"x"}}},
    {"lone_quote_runs_to_end", "a,b\n1,\"open\n2,3\n", true, {"a", "b"}, {{"1", "open\n2,3\n"}}},
    {"lone_quote_drops_short_row",
     "a,b\n1,2\n\"open,x\n4,5\n",
     true,
     {"a", "b"},
     {{"1", "2"}},
     {{3, 1}}},
    {"lone_quote_in_header", "\"a,b\n1,2\n", true, {"a,b\n1,2\n"}, {}},
    {"trailing_comma_extra_cell", "a,b\n1,2,\n", true, {"a", "b"}, {}, {{2, 3}}},
    {"utf8_cells", "姓名,部门\n张三,技术部\n", true, {"姓名", "部门"}, {{"张三", "技术部"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadCsvTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(CsvRows, NumberEveryRowUnderTheHeaderAndTellWhereAQuoteStayedOpen)
{
    struct Row {
        std::size_t number, line;
        bool skipped;
        std::size_t quoteLine;
        bool operator==(const Row&) const = default;
    };
    const struct {
        const char* name;
        std::string text;
        std::size_t headerQuoteLine;
        std::vector<Row> rows;
    } cases[] = {
        {"skipped_rows_count",
         "a,b\n1,2\n\n1,2,3\n4\n5,6\n",
         0,
         {{1, 2, false, 0}, {2, 4, true, 0}, {3, 5, true, 0}, {4, 6, false, 0}}},
        {"quote_takes_the_rest",
         "a,b\n1,2\n2,\"open\n3,4\n5,6\n",
         0,
         {{1, 2, false, 0}, {2, 3, false, 3}}},
        {"quote_opened_on_a_later_line", "a,b\n\"x\ny\",\"p\nq\n", 0, {{1, 2, false, 3}}},
        {"quote_in_header", "\n\na,\"b\n1,2\n", 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CsvRows rows(c.text, csvFormatFor(true));
        EXPECT_EQ(rows.headerUnclosedQuoteLine(), c.headerQuoteLine);
        std::vector<Row> got;
        CsvDataRow row;
        while (rows.next(row))
            got.push_back({row.number, row.line, row.skipped, row.unclosedQuoteLine});
        EXPECT_TRUE(got == c.rows);
    }
    // The log lines of the batch, the row command and a card of such a row.
    CsvDataRow row;
    row.cells = {"1", "2", "3"};
    row.number = 2;
    row.line = 4;
    row.skipped = true;
    row.unclosedQuoteLine = 5;
    EXPECT_EQ(
        csvRowNotes(row, 2),
        (Cells{"第 2 行（文件第 4 行）的引号没有闭合，文件第 5 行到末尾的内容都读进了这一行。",
               "第 2 行（文件第 4 行）有 3 个单元格，与表头的 2 个不同，已跳过。"}));
}

TEST(CsvFormat, ForTrim)
{
    const CsvFormat on = csvFormatFor(true);
    EXPECT_EQ(on.delimiter, ',');
    EXPECT_EQ(on.quote, '"');
    EXPECT_TRUE(on.trimSpacesTabs);
    EXPECT_FALSE(csvFormatFor(false).trimSpacesTabs);
}

// ---------------------------------------------------------------- decoding

std::string utf16Bytes(const std::string& utf8, bool bigEndian, bool mark = true)
{
    std::u16string units = utf8ToUtf16(utf8);
    if (mark)
        units.insert(units.begin(), u'\xFEFF');
    std::string bytes;
    for (char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

const std::string kChineseCsv = "姓名,部门\n张三,技术部\n";
const Cells kChineseHeader = {"姓名", "部门"};

TEST(DecodeCsvText, Utf8WithoutMarkUnchanged)
{
    EXPECT_EQ(decodeCsvText(kChineseCsv), kChineseCsv);
    EXPECT_EQ(decodeCsvText(""), "");
}

TEST(DecodeCsvText, Utf8WithMarkUnchanged)
{
    const std::string withMark = "\xEF\xBB\xBF" + kChineseCsv;
    EXPECT_EQ(decodeCsvText(withMark), withMark);
    EXPECT_EQ(readCsv(decodeCsvText(withMark), csvFormatFor(true)).header, kChineseHeader);
}

TEST(DecodeCsvText, WhatIsTakenAsUtf8ComesOutValid)
{
    // After a mark nothing was checked; without one, the lead/continuation pattern lets
    // over-long forms, surrogates and five-byte sequences through. None may reach a cell.
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        std::string in, out;
    } cases[] = {
        {"\xEF\xBB\xBF名,x\xFF\n", "\xEF\xBB\xBF名,x" + r + "\n"},
        {"\xEF\xBB\xBF\xD5\xC5\xC8\xFD", "\xEF\xBB\xBF" + r + r + r + r},
        {"a\xC0\xAF"
         "b",
         "a" + r + "b"}, // over-long "/"
        {"a\xED\xA0\x80"
         "b",
         "a" + r + "b"}, // surrogate
        {"a\xF8\x88\x80\x80\x80"
         "b",
         "a" + r + r + r + r + r + "b"},
        {"ok \xEF\xBF\xBD stays", "ok \xEF\xBF\xBD stays"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeCsvText(c.in), c.out) << c.in;
}

TEST(DecodeCsvText, Utf16LittleEndianWithMark)
{
    const std::string decoded = decodeCsvText(utf16Bytes(kChineseCsv, false));
    EXPECT_EQ(decoded, "\xEF\xBB\xBF" + kChineseCsv);
    const Table table = readCsv(decoded, csvFormatFor(true));
    const Table twin = readCsv(kChineseCsv, csvFormatFor(true));
    EXPECT_EQ(table.header, twin.header);
    EXPECT_EQ(table.rows, twin.rows);
}

TEST(DecodeCsvText, Utf16BigEndianWithMark)
{
    const std::string decoded = decodeCsvText(utf16Bytes(kChineseCsv, true));
    EXPECT_EQ(decoded, "\xEF\xBB\xBF" + kChineseCsv);
    EXPECT_EQ(readCsv(decoded, csvFormatFor(true)).header, kChineseHeader);
}

TEST(DecodeCsvText, Utf16SurrogatePairs)
{
    const std::string text = "名\n😀\n";
    EXPECT_EQ(decodeCsvText(utf16Bytes(text, false)), "\xEF\xBB\xBF" + text);
    EXPECT_EQ(decodeCsvText(utf16Bytes(text, true)), "\xEF\xBB\xBF" + text);
}

TEST(DecodeCsvText, Utf16OddByteCountIgnoresLastByte)
{
    EXPECT_EQ(decodeCsvText(utf16Bytes("a,b\n", false) + "x"), "\xEF\xBB\xBF"
                                                               "a,b\n");
    EXPECT_EQ(decodeCsvText(utf16Bytes("a,b\n", true) + "x"), "\xEF\xBB\xBF"
                                                              "a,b\n");
    EXPECT_EQ(decodeCsvText(std::string("\xFF\xFE", 2)), "\xEF\xBB\xBF");
    EXPECT_EQ(decodeCsvText(std::string("\xFF\xFE\x41", 3)), "\xEF\xBB\xBF");
}

TEST(DecodeCsvText, Utf16UnpairedSurrogateBecomesReplacement)
{
    const std::string bytes = std::string("\xFF\xFE", 2) + std::string("\x00\xD8\x41\x00", 4);
    EXPECT_EQ(decodeCsvText(bytes), "\xEF\xBB\xBF\xEF\xBF\xBD"
                                    "A");
}

TEST(DecodeCsvText, Gb18030GivesChineseNames)
{
    // "姓名,部门\n" in GB18030, written out so the test does not depend on the converter under
    // test for its input.
    const std::string gb("\xD0\xD5\xC3\xFB,\xB2\xBF\xC3\xC5\n\xD5\xC5\xC8\xFD,IT\n");
    ASSERT_FALSE(isValidUtf8(gb));
    const std::string decoded = decodeCsvText(gb);
    EXPECT_EQ(decoded, "姓名,部门\n张三,IT\n");
    const Table table = readCsv(decoded, csvFormatFor(true));
    EXPECT_EQ(table.header, kChineseHeader);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0], (Cells{"张三", "IT"}));
}

TEST(DecodeCsvText, Gb18030AndUtf8TwinsGiveSameColumns)
{
    const auto gb = utf8ToGb18030(kChineseCsv);
    ASSERT_TRUE(gb);
    const Table fromGb = readCsv(decodeCsvText(*gb), csvFormatFor(true));
    const Table fromUtf8 = readCsv(decodeCsvText(kChineseCsv), csvFormatFor(true));
    const Table fromMark = readCsv(decodeCsvText("\xEF\xBB\xBF" + kChineseCsv), csvFormatFor(true));
    EXPECT_EQ(fromGb.header, kChineseHeader);
    EXPECT_EQ(fromUtf8.header, kChineseHeader);
    EXPECT_EQ(fromMark.header, kChineseHeader);
    EXPECT_EQ(fromGb.rows, fromUtf8.rows);
}

TEST(DecodeCsvText, InvalidEverywhereStillGivesUtf8)
{
    // 0xFF is no GB18030 lead byte and a final 0x81 is a cut-off sequence: each becomes U+FFFD,
    // the valid GB18030 around them is still converted.
    const std::string bytes("\xD0\xD5,\xFF\n\xC3\xFB\x81", 8);
    const std::string decoded = decodeCsvText(bytes);
    EXPECT_TRUE(isValidUtf8(decoded));
    EXPECT_EQ(decoded, "姓,\xEF\xBF\xBD\n名\xEF\xBF\xBD");
}

// ---------------------------------------------------------------- files

TEST(CsvFile, LoadsAllEncodingsToSameColumns)
{
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"utf8.csv", kChineseCsv},
        {"utf8bom.csv", "\xEF\xBB\xBF" + kChineseCsv},
        {"utf16le.csv", utf16Bytes(kChineseCsv, false)},
        {"utf16be.csv", utf16Bytes(kChineseCsv, true)},
        {"gb18030.csv", *utf8ToGb18030(kChineseCsv)},
    };
    for (const auto& [name, bytes] : files) {
        writeFile(dir.file(name), bytes);
        const auto columns = columnsOf(dir.file(name), true);
        ASSERT_TRUE(columns) << name;
        EXPECT_EQ(*columns, kChineseHeader) << name;
        const auto table = loadCsvFile(dir.file(name), true);
        ASSERT_TRUE(table) << name;
        ASSERT_EQ(table->rows.size(), 1u) << name;
        EXPECT_EQ(table->rows[0], (Cells{"张三", "技术部"})) << name;
    }
}

TEST(CsvFile, ReadsEveryByteAndDecodes)
{
    TempDir dir;
    const std::string bytes("a,b\n\0\xFF\r\n", 8);
    writeFile(dir.file("x.csv"), bytes);
    std::string text = "old";
    EXPECT_EQ(loadCsvText(dir.file("x.csv"), text), CsvStatus::Ok);
    EXPECT_EQ(text, decodeCsvText(bytes));
    writeFile(dir.file("empty.csv"), "");
    EXPECT_EQ(loadCsvText(dir.file("empty.csv"), text), CsvStatus::Ok);
    EXPECT_EQ(text, "");
}

TEST(CsvFile, EmptyFileGivesNoColumns)
{
    TempDir dir;
    writeFile(dir.file("empty.csv"), "");
    const auto columns = loadCsvColumns(dir.file("empty.csv"), true);
    ASSERT_TRUE(columns);
    EXPECT_TRUE(columns->empty());
}

TEST(CsvFile, HeaderOnlyGivesColumnsAndNoRows)
{
    TempDir dir;
    writeFile(dir.file("h.csv"), "name, photo\r\n");
    EXPECT_EQ(columnsOf(dir.file("h.csv"), true), (Cells{"name", "photo"}));
    EXPECT_EQ(columnsOf(dir.file("h.csv"), false), (Cells{"name", " photo"}));
    const auto table = loadCsvFile(dir.file("h.csv"), true);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->rows.empty());
}

TEST(CsvFile, MissingFileFails)
{
    TempDir dir;
    std::string text;
    EXPECT_EQ(loadCsvText(dir.file("missing.csv"), text), CsvStatus::CannotAccess);
    CsvStatus status = CsvStatus::Ok;
    EXPECT_FALSE(loadCsvColumns(dir.file("missing.csv"), true, &status));
    EXPECT_EQ(status, CsvStatus::CannotAccess);
}

TEST(CsvFile, DirectoryFails)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.csv");
    std::string text;
    EXPECT_EQ(loadCsvText(dir.file("folder.csv"), text), CsvStatus::CannotAccess);
    EXPECT_FALSE(loadCsvColumns(dir.file("folder.csv"), true));
}

TEST(CsvFile, UnreadableFileFails)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads files whatever their permissions";
    TempDir dir;
    writeFile(dir.file("locked.csv"), "a,b\n");
    ASSERT_EQ(chmod(dir.file("locked.csv").c_str(), 0), 0);
    std::string text;
    EXPECT_EQ(loadCsvText(dir.file("locked.csv"), text), CsvStatus::CannotAccess);
    EXPECT_FALSE(loadCsvColumns(dir.file("locked.csv"), true));
}

TEST(CsvFile, HundredThousandRows)
{
    TempDir dir;
    constexpr std::size_t kRows = 100000;
    std::string text = "id,姓名,照片,备注\r\n";
    for (std::size_t i = 0; i < kRows; ++i) {
        text += std::to_string(i) + ",员工" + std::to_string(i) + ",photos/" + std::to_string(i) +
                ".jpg,";
        text += (i % 10 == 0) ? "\"引号, 逗号\"\r\n" : "普通\r\n";
    }
    text += "1,2\r\n"; // one short row at the end
    writeFile(dir.file("big.csv"), text);
    const auto table = loadCsvFile(dir.file("big.csv"), true);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->header, (Cells{"id", "姓名", "照片", "备注"}));
    ASSERT_EQ(table->rows.size(), kRows);
    EXPECT_EQ(table->rows[0], (Cells{"0", "员工0", "photos/0.jpg", "引号, 逗号"}));
    EXPECT_EQ(table->rows[kRows - 1], (Cells{"99999", "员工99999", "photos/99999.jpg", "普通"}));
    ASSERT_EQ(table->skipped.size(), 1u);
    EXPECT_EQ(table->skipped[0].line, kRows + 2);
    EXPECT_EQ(table->skipped[0].cells, 2u);
}

// ---------------------------------------------------------------- choice rule

TEST(CheckCsvChoice, MissingFile)
{
    TempDir dir;
    const std::string path = dir.file("没有.csv");
    const CsvChoiceResult result = checkCsvChoice(path, true);
    EXPECT_EQ(result.status, CsvChoice::Missing);
    EXPECT_EQ(result.message, "文件 '" + path + "' 已不存在，请重新选择。");
    EXPECT_TRUE(result.columns.empty());
}

TEST(CheckCsvChoice, NotCsv)
{
    TempDir dir;
    writeFile(dir.file("data.txt"), "a,b\n");
    const CsvChoiceResult result = checkCsvChoice(dir.file("data.txt"), true);
    EXPECT_EQ(result.status, CsvChoice::NotCsv);
    EXPECT_EQ(result.message, "请选择一个 csv 文件");
}

TEST(CheckCsvChoice, CannotAccess)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.csv");
    const std::string path = dir.file("folder.csv");
    const CsvChoiceResult result = checkCsvChoice(path, true);
    EXPECT_EQ(result.status, CsvChoice::CannotAccess);
    EXPECT_EQ(result.message,
              "文件 '" + path + "' 无法访问。\n\n请检查文件是否存在或被别的软件【独占方式】打开。");
}

TEST(CheckCsvChoice, OkAnyCaseExtension)
{
    TempDir dir;
    writeFile(dir.file("Staff.CSV"), "name, photo\n");
    const CsvChoiceResult trimmed = checkCsvChoice(dir.file("Staff.CSV"), true);
    EXPECT_EQ(trimmed.status, CsvChoice::Ok);
    EXPECT_TRUE(trimmed.message.empty());
    EXPECT_EQ(trimmed.columns, (Cells{"name", "photo"}));
    EXPECT_EQ(checkCsvChoice(dir.file("Staff.CSV"), false).columns, (Cells{"name", " photo"}));
}

TEST(CheckCsvChoice, EmptyFileIsOk)
{
    TempDir dir;
    writeFile(dir.file("empty.csv"), "");
    const CsvChoiceResult result = checkCsvChoice(dir.file("empty.csv"), true);
    EXPECT_EQ(result.status, CsvChoice::Ok);
    EXPECT_TRUE(result.columns.empty());
}

} // namespace
} // namespace torvale
