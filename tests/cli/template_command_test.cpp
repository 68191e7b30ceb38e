#include "batch/csv_source.h"
#include "model/template_file.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace torvale {
namespace {

using test::CommandResult;
using test::dataFile;
using test::readFile;
using test::runCommand;
using test::shellQuote;
using test::TempDir;
using test::writeFile;

// Runs "torvale-batch template ARGS" with settings kept in a folder of its own.
CommandResult runTemplate(const TempDir& dir, const std::string& arguments)
{
    return runCommand("TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
                      shellQuote(TORVALE_BATCH_EXE) + " template " + arguments);
}

TEST(TemplateCommand, PrintsTheSavedBytes)
{
    TempDir dir;
    const std::string golden = readFile(dataFile("templates/custom_other.dat"));
    writeFile(dir.file("card.dat"), golden);
    writeFile(dir.file("people.csv"), "姓名,工号,照片\n张三,001,a.png\n");
    const CommandResult r = runTemplate(dir, shellQuote(dir.file("card.dat")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, golden);
    EXPECT_EQ(r.err, "");
}

TEST(TemplateCommand, PathsInsideTheTemplatesFolderAreSavedRelative)
{
    // The badge example in a folder of its own, its files named by absolute paths as the
    // editor's file choosers give them, and one placeholder outside the folder.
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path a = dir.path() / "a";
    fs::copy(fs::path(TORVALE_SOURCE_DIR) / "examples/badge", a, fs::copy_options::recursive);
    fs::create_directory(dir.path() / "outside");
    fs::copy_file(a / "photos/p02.jpg", dir.path() / "outside/nobody.jpg");
    const auto loadColumns = [](const std::string& path, bool trim) {
        return loadCsvColumns(path, trim);
    };
    Template tpl;
    ASSERT_TRUE(readTemplateFile((a / "badge.dat").string(), tpl, 72, loadColumns).ok());
    tpl.csv_file_path = (a / "staff.xlsx").string() + "#员工";
    tpl.background.background_path = (a / "background.png").string();
    Layer& photo = tpl.layers.at(0);
    ASSERT_EQ(photo.type, LayerType::Picture);
    photo.filePath = (a / "photos/../photos/p01.jpg").string();
    photo.pictureFolder = a.string(); // the cells name photos/p01.jpg and so on
    photo.placeholderPath = dir.file("outside/nobody.jpg");
    ASSERT_TRUE(saveTemplateFile((a / "badge.dat").string(), tpl, 72).ok());
    const std::string saved = readFile((a / "badge.dat").string());
    for (const std::string& stored : std::vector<std::string>{
             "\"staff.xlsx#员工\"", "\"background.png\"", "\"photos/p01.jpg\"", "\".\"",
          "\"" + dir.file("outside/nobody.jpg") + "\""})
        EXPECT_NE(saved.find(stored), std::string::npos) << stored;
    EXPECT_EQ(runTemplate(dir, shellQuote((a / "badge.dat").string())).out, saved);

    // The folder moves: every file is still found. Saved into another folder, the template
    // names the same files.
    fs::rename(a, dir.path() / "b");
    const std::string moved = dir.file("b/badge.dat");
    Template again;
    ASSERT_TRUE(readTemplateFile(moved, again, 72, loadColumns).ok());
    fs::create_directory(dir.path() / "c");
    ASSERT_TRUE(saveTemplateFile(dir.file("c/copy.dat"), again, 72).ok());
    EXPECT_NE(readFile(dir.file("c/copy.dat")).find("\"" + dir.file("b") + "\""),
              std::string::npos);
    for (const std::string& path : {moved, dir.file("c/copy.dat")}) {
        const CommandResult check = runCommand(
            "TORVALE_CONFIG_DIR=" + shellQuote(dir.file("config")) + " " +
            shellQuote(TORVALE_BATCH_EXE) + " check " + shellQuote(path) + " --rows --out " +
            shellQuote(dir.file("cards")));
        EXPECT_EQ(check.exitCode, 0) << path << "\n" << check.out << check.err;
    }
}

TEST(TemplateCommand, PictureBackgroundWithoutDpiTakesTheSetting)
{
    TempDir dir;
    std::string text = readFile(dataFile("templates/picture.dat"));
    const std::string dpiLine = "\t\"dpi\":\t150,\n";
    text.erase(text.find(dpiLine), dpiLine.size());
    writeFile(dir.file("card.dat"), text);
    const CommandResult r = runTemplate(dir, shellQuote(dir.file("card.dat")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\t\"dpi\":\t72,\n"), std::string::npos) << r.out;
}

TEST(TemplateCommand, UnreadableCsvWarnsButPrints)
{
    TempDir dir;
    writeFile(dir.file("card.dat"), readFile(dataFile("templates/custom_other.dat")));
    const CommandResult r = runTemplate(dir, shellQuote(dir.file("card.dat")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "csv文件无法访问: 请检查文件是否存在或被别的软件【独占方式】打开（" +
                         dir.file("people.csv") + "）\n");
    EXPECT_NE(r.out.find("\t\"file_name_bind_col_name\":\t\"\",\n"), std::string::npos);
    EXPECT_EQ(r.out.back(), '}');
}

TEST(TemplateCommand, FailuresAndUsage)
{
    TempDir dir;
    writeFile(dir.file("bad.dat"), "{\"background_type\": 1");
    writeFile(dir.file("empty.dat"), "");
    const struct {
        std::string arguments;
        int exitCode;
        std::string err; // expected stderr, or its start when it ends with "..."
    } cases[] = {
        {shellQuote(dir.file("bad.dat")), 2, "文件格式不对！\n"},
        {shellQuote(dir.file("empty.dat")), 2, "这是一个空白文件\n"},
        {shellQuote(dir.file("missing.dat")), 2, "读取文件时出错, 无法打开文件句柄\n"},
        {"", 2, "torvale-batch: expected one template file\n..."},
        {"a.dat b.dat", 2, "torvale-batch: expected one template file\n..."},
        {"--bogus a.dat", 2, "torvale-batch: unknown option '--bogus'\n..."},
        {"--help", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult r = runTemplate(dir, c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode);
        if (c.err.ends_with("...")) {
            EXPECT_EQ(r.err.substr(0, c.err.size() - 3), c.err.substr(0, c.err.size() - 3));
            EXPECT_NE(r.err.find("Usage: torvale-batch template FILE.dat"), std::string::npos);
            EXPECT_EQ(r.out, "");
        } else {
            EXPECT_EQ(r.err, c.err);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("config"))); // reading never writes settings

    // "help COMMAND" prints that command's help, "help" alone the general usage.
    const auto tool = [](const std::string& arguments) {
        return runCommand(shellQuote(TORVALE_BATCH_EXE) + " " + arguments);
    };
    EXPECT_EQ(tool("help run").out, tool("run --help").out);
    EXPECT_NE(tool("help run").out.find("Usage: torvale-batch run"), std::string::npos);
    EXPECT_EQ(tool("help").out, tool("--help").out);
    EXPECT_EQ(tool("help nothing").exitCode, 2);
}

} // namespace
} // namespace torvale
