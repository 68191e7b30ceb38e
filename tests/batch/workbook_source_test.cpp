#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "batch/workbook_source.h"
#include "common/paths.h"
#include "support/test_support.h"
#include "support/workbook_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

using test::readFile;
using test::TempDir;
using test::TestSheet;
using test::TestWorkbook;
using test::workbookParts;
using test::writeFile;
using test::writeWorkbook;
using test::writeZip;

// The status of opening a workbook's rows with the limits.
CsvStatus openStatus(const std::string& path, const WorkbookLimits& limits = {})
{
    std::unique_ptr<RowSource> source;
    const CsvStatus status = openWorkbookRows(path, true, source, {}, limits);
    EXPECT_EQ(source != nullptr, status == CsvStatus::Ok) << path;
    return status;
}

// The rows of a workbook that must open.
std::unique_ptr<RowSource> openRows(const std::string& path, bool trim = true)
{
    std::unique_ptr<RowSource> source;
    const CsvStatus status = openRowSource(path, trim, source);
    EXPECT_EQ(status, CsvStatus::Ok) << csvStatusMessage(path, status);
    return source;
}

// The lines of a workbook's data rows.
std::vector<std::size_t> linesOf(const std::string& path)
{
    std::vector<std::size_t> lines;
    const auto source = openRows(path);
    const auto rows = source->rows();
    for (CsvDataRow row; rows->next(row);)
        lines.push_back(row.line);
    return lines;
}

// The data rows a workbook gives the batch, cells joined by "|", skipped rows marked.
std::vector<std::string> rowsOf(const std::string& path, bool trim = true)
{
    const auto source = openRows(path, trim);
    if (!source)
        return {};
    std::vector<std::string> out;
    std::string header;
    for (std::size_t i = 0; i < source->columns().size(); ++i)
        header += (i ? "|" : "") + std::string(source->columns()[i]);
    out.push_back(header);
    const auto rows = source->rows();
    CsvDataRow row;
    while (rows->next(row)) {
        std::string line = row.skipped ? "skipped:" : "";
        for (std::size_t i = 0; i < row.cells.size(); ++i)
            line += (i ? "|" : "") + std::string(row.cells[i]);
        out.push_back(line);
    }
    return out;
}

std::string inlineCell(const std::string& ref, const std::string& text)
{
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

TEST(WorkbookSource, CellsShowAsTheSpreadsheetShowsThem)
{
    struct Case {
        const char* cell; // the attributes and content of a <c> element after its reference
        const char* shown;
    };
    const Case cases[] = {
        {R"(t="s"><v>0</v>)", "张三"},
        {R"(t="s"><v>1</v>)", "王 芳"}, // rich text runs joined, the reading left out
        {R"(t="inlineStr"><is><r><t>a_x000D_b</t></r><r><t>_x005F_x0041_</t></r></is>)",
         "a\rb_x0041_"},
        {R"(><v>42</v>)", "42"},
        {R"(><v>0.1</v>)", "0.1"},
        {R"(><v>0.30000000000000004</v>)", "0.3"},
        {R"(><v>110101199003071234</v>)", "110101199003071234"}, // every digit written
        {R"(><v>-0012345678901234567</v>)", "-12345678901234567"},
        {R"(><v>-0</v>)", "0"},
        {R"(><v>1.10101199003071E+17</v>)", "110101199003071000"},
        {R"(><v>1234567890123456789012</v>)", "1.23456789012346E+21"},
        {R"(><v>-3.5</v>)", "-3.5"},
        {R"(><v>1.5E+21</v>)", "1.5E+21"},
        {R"(s="1"><v>46096</v>)", "2026-03-15"},
        {R"(s="2"><v>0.3541666666666667</v>)", "08:30"},
        {R"(s="3"><v>0.35434027777777777</v>)", "08:30:15"},
        {R"(s="4"><v>46096.354166666667</v>)", "2026-03-15 08:30"},
        {R"(s="5"><v>46096</v>)", "2026-03-15"}, // 年月日 (a Chinese built-in format)
        {R"(s="1"><v>59</v>)", "1900-02-28"},
        {R"(s="1"><v>60</v>)", "1900-02-29"}, // the 1900 system's day that never was
        {R"(s="1"><v>61</v>)", "1900-03-01"},
        {R"(s="6"><v>1.5</v>)", "1.5"},      // "h" and "s" only inside quotes
        {R"(s="7"><v>2.25</v>)", "2.25"},    // [Red] is no date
        {R"(s="99"><v>7</v>)", "7"},         // a style that is not there
        {R"(s="8"><v>1.5</v>)", "36:00:00"}, // elapsed time, built in: [h]:mm:ss
        {R"(s="9"><v>1.5</v>)", "36:00"},    // [h]:mm
        {R"(t="b"><v>1</v>)", "TRUE"},
        {R"(t="b"><v>0</v>)", "FALSE"},
        {R"(t="str"><f>A1&amp;"x"</f><v>abc</v>)", "abc"},
        {R"(><f>1+1</f><v>2</v>)", "2"},
        {R"(t="e"><f>1/0</f><v>#DIV/0!</v>)", "#DIV/0!"},
        {R"(t="d"><v>2026-03-15T08:30:00</v>)", "2026-03-15T08:30:00"},
        {R"(t="inlineStr"><is><t>a, "b"</t></is>)", "a, \"b\""},
    };
    std::string rows = "<row r=\"1\">" + inlineCell("A1", "值") + "</row>";
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string n = std::to_string(i + 2);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" " + cases[i].cell + "</c></row>";
    }
    TestWorkbook book;
    book.sheets = {{"Sheet1", rows}};
    book.sharedStrings = "<si><t>张三</t></si><si><r><t>王</t></r><r><rPr><b/></rPr>"
                         "<t xml:space=\"preserve\"> 芳</t></r><rPh sb=\"0\" eb=\"1\"><t>ワン</t>"
                         "</rPh><phoneticPr fontId=\"1\"/></si>";
    book.styles = R"(<numFmts count="4"><numFmt numFmtId="164" formatCode="hh:mm:ss"/>)"
                  R"(<numFmt numFmtId="165" formatCode="yyyy/m/d\ h:mm;@"/>)"
                  R"(<numFmt numFmtId="166" formatCode="0.00&quot; hrs&quot;"/>)"
                  R"(<numFmt numFmtId="167" formatCode="[Red]0.00"/>)"
                  R"(<numFmt numFmtId="168" formatCode="[h]:mm"/></numFmts>)"
                  R"(<cellXfs count="10"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="20"/>)"
                  R"(<xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="31"/>)"
                  R"(<xf numFmtId="166"/><xf numFmtId="167"/><xf numFmtId="46"/>)"
                  R"(<xf numFmtId="168"/></cellXfs>)";
    TempDir dir;
    writeWorkbook(dir.file("cells.xlsx"), book);
    const std::vector<std::string> got = rowsOf(dir.file("cells.xlsx"), false);
    ASSERT_EQ(got.size(), std::size(cases) + 1);
    EXPECT_EQ(got[0], "值");
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(got[i + 1], cases[i].shown) << cases[i].cell;
}

TEST(WorkbookSource, Date1904CountsFrom1904)
{
    TestWorkbook book;
    book.date1904 = true;
    book.styles = R"(<cellXfs><xf numFmtId="0"/><xf numFmtId="22"/></cellXfs>)";
    book.sheets = {{"S", "<row r=\"1\">" + inlineCell("A1", "日期") + "</row>" +
                             R"(<row r="2"><c r="A2" s="1"><v>44634.5</v></c></row>)"}};
    TempDir dir;
    writeWorkbook(dir.file("mac.xlsx"), book);
    EXPECT_EQ(rowsOf(dir.file("mac.xlsx")), (std::vector<std::string>{"日期", "2026-03-15 12:00"}));
}

TEST(WorkbookSource, RowsKeepTheirPlacesAndWidths)
{
    // A gap in the references leaves empty cells, cells without a reference follow the one
    // before, blank and missing rows make no data row, short rows are padded to the header and
    // a row with a cell beyond the header is skipped as a CSV row would be.
    TestWorkbook book;
    book.sheets = {{"S", "<row r=\"2\">" + inlineCell("A2", " 姓名 ") + inlineCell("C2", "部门") +
                             "<c r=\"D2\" s=\"0\"/></row>"
                             "<row r=\"4\">" +
                             inlineCell("A4", "张三") +
                             "<c t=\"inlineStr\"><is><t>x</t></is></c><c><v>3</v></c></row>"
                             "<row r=\"5\"><c r=\"A5\" s=\"0\"/></row>"
                             "<row r=\"6\">" +
                             inlineCell("B6", "李四") + "</row><row r=\"7\">" +
                             inlineCell("D7", "多") + "</row>"}};
    TempDir dir;
    const std::string path = dir.file("gaps.xlsx");
    writeWorkbook(path, book);
    EXPECT_EQ(rowsOf(path),
              (std::vector<std::string>{"姓名||部门", "张三|x|3", "|李四|", "skipped:|||多"}));

    EXPECT_EQ(openRows(path)->headerLine(), 2u);
    EXPECT_EQ(linesOf(path), (std::vector<std::size_t>{4, 6, 7})) << "the sheet's row numbers";

    // Rows stored out of order (row 3 after row 9) come in the order of their numbers, each
    // on its own line, as a spreadsheet shows them.
    TestWorkbook shuffled;
    shuffled.sheets = {{"S", "<row r=\"1\">" + inlineCell("A1", "名") + "</row><row r=\"2\">" +
                                 inlineCell("A2", "a") + "</row><row r=\"9\">" +
                                 inlineCell("A9", "c") + "</row><row r=\"3\">" +
                                 inlineCell("A3", "b\nb") + "</row>"}};
    writeWorkbook(dir.file("shuffled.xlsx"), shuffled);
    EXPECT_EQ(rowsOf(dir.file("shuffled.xlsx")),
              (std::vector<std::string>{"名", "a", "b\nb", "c"}));
    EXPECT_EQ(linesOf(dir.file("shuffled.xlsx")), (std::vector<std::size_t>{2, 3, 9}));

    // A header cell in the last column pads no row: a row keeps its cells up to its last value
    // and is filled as it is read; a row of blanks alone is still a row.
    TestWorkbook far;
    far.sheets = {{"S", "<row r=\"1\">" + inlineCell("A1", "名") + inlineCell("XFD1", "末") +
                            "</row><row r=\"2\">" + inlineCell("A2", " ") + "</row>"}};
    for (int r = 3; r <= 1000; ++r)
        far.sheets[0].rows += "<row>" + inlineCell("B" + std::to_string(r), "x") + "</row>";
    writeWorkbook(dir.file("far.xlsx"), far);
    const auto source = openRows(dir.file("far.xlsx"));
    const auto filled = source->rows();
    std::vector<std::string> seen;
    for (CsvDataRow row; filled->next(row);) {
        ASSERT_FALSE(row.skipped) << row.line;
        ASSERT_EQ(row.cells.size(), 16384u);
        seen.push_back(std::to_string(row.line) + ":" + std::string(row.cells[1]));
    }
    ASSERT_EQ(seen.size(), 999u);
    EXPECT_EQ(seen[0], "2:");
    EXPECT_EQ(seen[998], "1000:x");

    // A tag far longer than the chunks the sheet is unpacked in, between ordinary rows, and one
    // at the very end of the part.
    TestWorkbook longTag;
    const std::string attribute = " x=\"" + std::string(1u << 20, 'a') + "\"";
    longTag.sheets = {{"S", "<row>" + inlineCell("A1", "名") + "</row><row" + attribute + ">" +
                                inlineCell("A2", "甲") + "</row><row>" + inlineCell("A3", "乙") +
                                "</row><row" + attribute + "/>"}};
    writeWorkbook(dir.file("long-tag.xlsx"), longTag);
    EXPECT_EQ(rowsOf(dir.file("long-tag.xlsx")), (std::vector<std::string>{"名", "甲", "乙"}));
}

TEST(WorkbookSource, SheetsByNameAndPartsFoundThroughRelationships)
{
    // The workbook part lives elsewhere, a chart sheet comes first and targets are absolute
    // and relative: the relationships tell where everything is.
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    const auto sheet = [&](const std::string& rows) {
        return "<x:worksheet xmlns:x=\"" + main + "\"><x:sheetData>" + rows +
               "</x:sheetData></x:worksheet>";
    };
    const std::vector<test::ZipEntry> parts = {
        {"_rels/.rels", "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"a\" Type=\"" +
                            rel + "/officeDocument\" Target=\"/book/main.xml\"/></Relationships>"},
        {"book/main.xml", "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                              "\"><sheets><sheet name=\"图表\" sheetId=\"3\" r:id=\"c\"/>"
                              "<sheet name=\"一月\" sheetId=\"1\" r:id=\"s1\"/>"
                              "<sheet name=\"二月入职\" sheetId=\"2\" r:id=\"s2\"/></sheets>"
                              "</workbook>"},
        {"book/_rels/main.xml.rels",
         "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"c\" Type=\"" + rel +
             "/chartsheet\" Target=\"charts/c.xml\"/><Relationship Id=\"s1\" Type=\"" + rel +
             "/worksheet\" Target=\"/book/sheets/one.xml\"/><Relationship Id=\"s2\" Type=\"" + rel +
             "/worksheet\" Target=\"./sheets/../sheets/two%20b.xml\"/></Relationships>"},
        {"book/charts/c.xml", "<chartsheet/>"},
        {"book/sheets/one.xml", sheet("<x:row>" + inlineCell("A1", "一月") + "</x:row>")},
        {"book/sheets/two b.xml", sheet("<x:row>" + inlineCell("A1", "二月") + "</x:row>")},
    };
    TempDir dir;
    const std::string path = dir.file("book.XLSX");
    writeZip(path, parts);
    EXPECT_EQ(workbookSheetNames(path), (std::vector<std::string>{"一月", "二月入职"}));
    EXPECT_EQ(rowsOf(path), (std::vector<std::string>{"一月"}));
    EXPECT_EQ(rowsOf(path + "#二月入职"), (std::vector<std::string>{"二月"}));
    const auto columns = loadCsvColumns(path + "#二月入职", true);
    ASSERT_TRUE(columns);
    EXPECT_EQ(columns->toVector(), (std::vector<std::string>{"二月"}));

    EXPECT_EQ(openStatus(path + "#图表"), CsvStatus::WorkbookSheetMissing);
    EXPECT_EQ(csvStatusMessage(path + "#图表", CsvStatus::WorkbookSheetMissing),
              "无法读取 Excel 文件：'" + path + "' 里没有名为 '图表' 的工作表。");
}

TEST(WorkbookSource, SheetPathsSplitOnlyAfterAWorkbook)
{
    struct Case {
        const char* path;
        const char* file;
        const char* sheet;
        bool hasSheet;
    };
    const Case cases[] = {
        {"staff.xlsx#二月入职", "staff.xlsx", "二月入职", true},
        {"a/b.XLSX#S#2", "a/b.XLSX", "S#2", true},
        {"a#1/staff.xlsx", "a#1/staff.xlsx", "", false},
        {"old.xlsx#x/staff.xlsx#S", "old.xlsx#x/staff.xlsx", "S", true},
        {"list.csv#1", "list.csv#1", "", false},
        {"staff.xlsx#", "staff.xlsx", "", true},
    };
    for (const Case& c : cases) {
        const SheetPath where = splitSheetPath(c.path);
        EXPECT_EQ(where.file, c.file) << c.path;
        EXPECT_EQ(where.sheet, c.sheet) << c.path;
        EXPECT_EQ(where.hasSheet, c.hasSheet) << c.path;
    }
}

// Patches the unpacked size of every entry named name, in its local header and in the central
// directory, so that the archive says less than the entry holds.
void understateSize(std::string& zip, const std::string& name, std::uint32_t size)
{
    const auto put = [&zip](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            zip[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    for (std::size_t at = zip.find(name); at != std::string::npos; at = zip.find(name, at + 1)) {
        if (at >= 30 && zip.compare(at - 30, 4, "PK\x03\x04") == 0)
            put(at - 30 + 22, size);
        else if (at >= 46 && zip.compare(at - 46, 4, "PK\x01\x02") == 0)
            put(at - 46 + 24, size);
    }
}

TEST(WorkbookSource, HostileAndBrokenFilesAreRefusedWithTheReason)
{
    TempDir dir;
    const std::string header = "<row>" + inlineCell("A1", "名") + "</row>";
    std::string manyRows;
    for (int i = 0; i < 2000; ++i)
        manyRows +=
            "<row><c t=\"inlineStr\"><is><t>第" + std::to_string(i) + "行</t></is></c></row>";
    TestWorkbook good;
    good.sheets = {{"S", header + manyRows}};
    writeWorkbook(dir.file("good.xlsx"), good);
    const std::string goodBytes = readFile(dir.file("good.xlsx"));

    writeFile(dir.file("locked.xlsx"),
              std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
    writeFile(dir.file("text.xlsx"), "姓名,部门\n张三,IT\n");
    writeFile(dir.file("cut.xlsx"), goodBytes.substr(0, goodBytes.size() / 2));

    writeWorkbook(dir.file("nosheet.xlsx"), TestWorkbook());
    TestWorkbook broken;
    broken.sheets = {{"S", "<row><c><v>1</v></row>"}};
    writeWorkbook(dir.file("broken.xlsx"), broken);
    auto doctypeParts = workbookParts(good);
    doctypeParts[4].second = "<!DOCTYPE x [<!ENTITY a \"aaaa\">]>" +
                             doctypeParts[4].second.substr(doctypeParts[4].second.find('\n') + 1);
    writeZip(dir.file("doctype.xlsx"), doctypeParts);
    TestWorkbook dangling;
    dangling.sheets = {{"S", "<row><c t=\"s\"><v>5</v></c></row>"}};
    writeWorkbook(dir.file("dangling.xlsx"), dangling);
    writeZip(dir.file("word.xlsx"), {{"word/document.xml", "<document/>"}});

    // A bomb: 8 MiB of spaces inside the sheet pack into a few kilobytes.
    auto bombParts = workbookParts(good);
    bombParts[4].second.insert(bombParts[4].second.find("<sheetData>"), 8u << 20, ' ');
    writeZip(dir.file("bomb.xlsx"), bombParts);
    // An archive that understates what the sheet unpacks to.
    std::string lying = goodBytes;
    understateSize(lying, "xl/worksheets/sheet1.xml", 1000);
    writeFile(dir.file("lying.xlsx"), lying);

    struct Case {
        const char* file;
        CsvStatus status;
        const char* tail; // the message after "无法读取 Excel 文件：'<path>'"
    };
    const Case cases[] = {
        {"locked.xlsx", CsvStatus::WorkbookEncrypted, " 有密码保护。"},
        {"text.xlsx", CsvStatus::WorkbookNotXlsx, " 不是 Excel 工作簿（xlsx）。"},
        {"word.xlsx", CsvStatus::WorkbookNotXlsx, " 不是 Excel 工作簿（xlsx）。"},
        {"cut.xlsx", CsvStatus::WorkbookBroken, " 已损坏。"},
        {"nosheet.xlsx", CsvStatus::WorkbookNoSheet, " 里没有工作表。"},
        {"broken.xlsx", CsvStatus::WorkbookBroken, " 已损坏。"},
        {"doctype.xlsx", CsvStatus::WorkbookBroken, " 已损坏。"},
        {"dangling.xlsx", CsvStatus::WorkbookBroken, " 已损坏。"},
        {"bomb.xlsx", CsvStatus::WorkbookTooLarge, " 解压后太大，不会读取。"},
        {"lying.xlsx", CsvStatus::WorkbookTooLarge, " 解压后太大，不会读取。"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.file);
        EXPECT_EQ(openStatus(path), c.status) << c.file;
        EXPECT_EQ(csvStatusMessage(path + "#S", c.status),
                  "无法读取 Excel 文件：'" + path + "'" + c.tail);
    }

    // The caps: a part larger than allowed, and a sheet whose text grows past the limit.
    WorkbookLimits limits;
    limits.maxPartBytes = 16 * 1024;
    EXPECT_EQ(openStatus(dir.file("good.xlsx"), limits), CsvStatus::WorkbookTooLarge);
    limits = WorkbookLimits();
    limits.maxTextBytes = 1000;
    EXPECT_EQ(openStatus(dir.file("good.xlsx"), limits), CsvStatus::WorkbookTooLarge);
    // A small workbook whose cells all repeat one long shared string is refused as its text
    // grows, inside the row, not once the row is whole.
    TestWorkbook repeating;
    std::string wideRow = "<row r=\"1\">";
    for (int i = 0; i < 5000; ++i)
        wideRow += "<c t=\"s\"><v>0</v></c>";
    repeating.sheets = {{"S", wideRow + "</row>"}};
    repeating.sharedStrings = "<si><t>" + std::string(20000, 'x') + "</t></si>";
    writeWorkbook(dir.file("repeating.xlsx"), repeating);
    limits = WorkbookLimits();
    limits.maxTextBytes = 1024 * 1024;
    EXPECT_EQ(openStatus(dir.file("repeating.xlsx"), limits), CsvStatus::WorkbookTooLarge);
    limits = WorkbookLimits();
    limits.maxFileBytes = 100;
    EXPECT_EQ(openStatus(dir.file("good.xlsx"), limits), CsvStatus::TooLarge);
    EXPECT_EQ(openStatus(dir.file("good.xlsx")), CsvStatus::Ok);
    // The column names need the header only: a sheet broken after it still gives them.
    TestWorkbook brokenLater;
    brokenLater.sheets = {{"S", header + "<row><c t=\"s\"><v>9</v></c></row>"}};
    writeWorkbook(dir.file("later.xlsx"), brokenLater);
    const auto columns = loadCsvColumns(dir.file("later.xlsx"), true);
    ASSERT_TRUE(columns);
    EXPECT_EQ(columns->toVector(), (std::vector<std::string>{"名"}));
    EXPECT_EQ(openStatus(dir.file("later.xlsx")), CsvStatus::WorkbookBroken);

    std::filesystem::create_directory(dir.file("folder.xlsx"));
    EXPECT_EQ(openStatus(dir.file("folder.xlsx")), CsvStatus::CannotAccess);
}

TEST(WorkbookSource, ChoiceRuleAcceptsWorkbooks)
{
    TempDir dir;
    TestWorkbook book;
    book.sheets = {{"A", "<row>" + inlineCell("A1", "姓名") + "</row>"},
                   {"B", "<row>" + inlineCell("A1", "工号") + "</row>"}};
    writeWorkbook(dir.file("staff.xlsx"), book);
    CsvChoiceResult choice = checkCsvChoice(dir.file("staff.xlsx") + "#B", true);
    EXPECT_EQ(choice.status, CsvChoice::Ok) << choice.message;
    EXPECT_EQ(choice.columns, (std::vector<std::string>{"工号"}));
    choice = checkCsvChoice(dir.file("gone.xlsx") + "#B", true);
    EXPECT_EQ(choice.message, "文件 '" + dir.file("gone.xlsx") + "' 已不存在，请重新选择。");
    choice = checkCsvChoice(dir.file("staff.xlsx") + "#C", true);
    EXPECT_EQ(choice.status, CsvChoice::CannotAccess);
    EXPECT_EQ(choice.message,
              "无法读取 Excel 文件：'" + dir.file("staff.xlsx") + "' 里没有名为 'C' 的工作表。");
}

} // namespace
} // namespace torvale
