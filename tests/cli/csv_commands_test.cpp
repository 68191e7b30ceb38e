#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace torvale {
namespace {

using test::CommandResult;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

CommandResult runBatch(const std::string& arguments)
{
    return runCommand(shellQuote(TORVALE_BATCH_EXE) + " " + arguments);
}

const std::string kCannotAccessTail =
    "' 无法访问。\n\n请检查文件是否存在或被别的软件【独占方式】打开。\n";

TEST(ColumnsCommand, PrintsNamesOnePerLine)
{
    TempDir dir;
    writeFile(dir.file("staff.csv"), "\xEF\xBB\xBF姓名, 部门 ,photo\r\n张三,IT,a.jpg\r\n");
    const CommandResult r = runBatch("columns " + shellQuote(dir.file("staff.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "姓名\n部门\nphoto\n");
    EXPECT_EQ(r.err, "");
}

TEST(ColumnsCommand, NoTrimKeepsSpaces)
{
    TempDir dir;
    writeFile(dir.file("staff.csv"), "name, dept\n");
    const CommandResult r = runBatch("columns --no-trim " + shellQuote(dir.file("staff.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "name\n dept\n");
}

TEST(ColumnsCommand, Gb18030AndUtf16FilesPrintUtf8)
{
    TempDir dir;
    writeFile(dir.file("gb.csv"), "\xD0\xD5\xC3\xFB,\xB2\xBF\xC3\xC5\n");
    writeFile(dir.file("u16.csv"), std::string("\xFF\xFE\xD3\x59\x0D\x54\x2C\x00\xE8\x90\xE8", 11));
    CommandResult r = runBatch("columns " + shellQuote(dir.file("gb.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "姓名\n部门\n");
    r = runBatch("columns " + shellQuote(dir.file("u16.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "姓名\n部\n"); // the odd last byte is ignored
}

TEST(ColumnsCommand, TerminalGetsNoControlCharactersPipeGetsTheBytes)
{
    TempDir dir;
    writeFile(dir.file("esc.csv"), "\x1b]0;title\x07名字,\x1b[2J清屏,\"a\nb\"\n");
    const std::string command =
        shellQuote(TORVALE_BATCH_EXE) + " columns " + shellQuote(dir.file("esc.csv"));
    // A pseudo-terminal as standard output; it ends lines with "\r\n".
    const CommandResult terminal = runCommand("script -qec " + shellQuote(command) + " /dev/null");
    EXPECT_EQ(terminal.exitCode, 0) << terminal.err;
    EXPECT_EQ(terminal.out, "\uFFFD]0;title\uFFFD名字\r\n\uFFFD[2J清屏\r\na\uFFFDb\r\n");
    const CommandResult pipe = runCommand(command);
    EXPECT_EQ(pipe.exitCode, 0);
    EXPECT_EQ(pipe.out, "\x1b]0;title\x07名字\n\x1b[2J清屏\na\nb\n");
}

TEST(ColumnsCommand, EmptyFilePrintsNothing)
{
    TempDir dir;
    writeFile(dir.file("empty.csv"), "");
    const CommandResult r = runBatch("columns " + shellQuote(dir.file("empty.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST(ColumnsCommand, MissingFile)
{
    TempDir dir;
    const std::string path = dir.file("missing.csv");
    const CommandResult r = runBatch("columns " + shellQuote(path));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "文件 '" + path + kCannotAccessTail);
}

TEST(ColumnsCommand, DirectoryCannotBeLoaded)
{
    TempDir dir;
    const CommandResult r = runBatch("columns " + shellQuote(dir.file("")));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("无法访问"), std::string::npos);
}

TEST(ColumnsCommand, Help)
{
    const CommandResult r = runBatch("columns --help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: torvale-batch columns FILE.csv [--no-trim]\n", 0), 0u);
    EXPECT_EQ(r.err, "");
}

TEST(ColumnsCommand, UsageErrors)
{
    for (const std::string args : {"", "a.csv b.csv", "--bogus a.csv", "a.csv -x"}) {
        const CommandResult r = runBatch("columns " + args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("torvale-batch: ", 0), 0u) << args;
        EXPECT_NE(r.err.find("Usage: torvale-batch columns"), std::string::npos) << args;
    }
}

TEST(RowsCommand, PrintsJsonArrays)
{
    TempDir dir;
    writeFile(dir.file("rows.csv"), "name,note\n"
                                    "张三,\"He said \"\"hi\"\"\"\n"
                                    "\"Li, Lei\",\"line1\nline2\"\n"
                                    "back\\slash,\"tab\there\"\n"
                                    " padded ,\"\"\n");
    const CommandResult r = runBatch("rows " + shellQuote(dir.file("rows.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "[\"张三\",\"He said \\\"hi\\\"\"]\n"
                     "[\"Li, Lei\",\"line1\\nline2\"]\n"
                     "[\"back\\\\slash\",\"tab\\there\"]\n"
                     "[\"padded\",\"\"]\n");
    EXPECT_EQ(r.err, "");
}

TEST(RowsCommand, ControlCharactersEscaped)
{
    TempDir dir;
    writeFile(dir.file("c.csv"), "a\n\"x\x01y\r\nz\x1f\"\n");
    const CommandResult r = runBatch("rows " + shellQuote(dir.file("c.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "[\"x\\u0001y\\r\\nz\\u001f\"]\n");
}

TEST(RowsCommand, NoTrim)
{
    TempDir dir;
    writeFile(dir.file("rows.csv"), "a, b\n 1 ,\t2\n");
    const CommandResult r = runBatch("rows --no-trim " + shellQuote(dir.file("rows.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "[\" 1 \",\"\\t2\"]\n");
}

TEST(RowsCommand, DroppedRowsReportedOnStderr)
{
    TempDir dir;
    writeFile(dir.file("rows.csv"), "a,b\r\n1,2\r\n1,2,3\r\n\r\n4\r\n5,6\r\n");
    const CommandResult r = runBatch("rows " + shellQuote(dir.file("rows.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "[\"1\",\"2\"]\n[\"5\",\"6\"]\n");
    // Every row under the header is a data row; the message names the file's line too.
    EXPECT_EQ(r.err, "第 2 行（文件第 3 行）有 3 个单元格，与表头的 2 个不同，已跳过。\n"
                     "第 3 行（文件第 5 行）有 1 个单元格，与表头的 2 个不同，已跳过。\n");
}

TEST(RowsCommand, HeaderOnlyAndEmptyPrintNothing)
{
    TempDir dir;
    writeFile(dir.file("h.csv"), "a,b\n");
    writeFile(dir.file("e.csv"), "");
    for (const char* name : {"h.csv", "e.csv"}) {
        const CommandResult r = runBatch("rows " + shellQuote(dir.file(name)));
        EXPECT_EQ(r.exitCode, 0) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_EQ(r.err, "") << name;
    }
}

TEST(RowsCommand, ManyRows)
{
    TempDir dir;
    std::string text = "n\n";
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        text += std::to_string(i) + "\n";
        expected += "[\"" + std::to_string(i) + "\"]\n";
    }
    writeFile(dir.file("many.csv"), text);
    const CommandResult r = runBatch("rows " + shellQuote(dir.file("many.csv")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected);
}

TEST(RowsCommand, MissingFile)
{
    TempDir dir;
    const std::string path = dir.file("missing.csv");
    const CommandResult r = runBatch("rows " + shellQuote(path));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "文件 '" + path + kCannotAccessTail);
}

TEST(RowsCommand, HelpAndUsageErrors)
{
    CommandResult r = runBatch("rows -h");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: torvale-batch rows FILE.csv [--no-trim]\n", 0), 0u);
    r = runBatch("rows");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Usage: torvale-batch rows"), std::string::npos);
    r = runBatch("rows --trim x.csv");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown option '--trim'"), std::string::npos);
}

TEST(RowsCommand, DoubleDashEndsOptions)
{
    TempDir dir;
    writeFile(dir.file("-x.csv"), "a\n1\n");
    const std::string command =
        "cd " + shellQuote(dir.path().string()) + " && " + shellQuote(TORVALE_BATCH_EXE);
    const CommandResult r = runCommand(command + " rows -- -x.csv");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "[\"1\"]\n");
}

TEST(CsvCommands, ExampleWorkbookReadsAsItsCsvTwin)
{
    const std::string folder = std::string(TORVALE_SOURCE_DIR) + "/examples/badge/";
    for (const char* command : {"columns ", "rows "}) {
        const CommandResult csv = runBatch(command + shellQuote(folder + "staff.csv"));
        const CommandResult xlsx = runBatch(command + shellQuote(folder + "staff.xlsx"));
        EXPECT_EQ(xlsx.exitCode, 0) << xlsx.err;
        EXPECT_EQ(xlsx.err, "");
        EXPECT_EQ(xlsx.out, csv.out) << command;
        EXPECT_NE(csv.out, "");
    }
    const CommandResult missing = runBatch("columns " + shellQuote(folder + "staff.xlsx#三月"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err,
              "无法读取 Excel 文件：'" + folder + "staff.xlsx' 里没有名为 '三月' 的工作表。\n");
}

} // namespace
} // namespace torvale
