#include "support/test_support.h"

#include "batch/card_record.h"
#include "common/settings_store.h"
#include "render/fonts.h"
#include "render/magick.h"

#include <zbar.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace torvale::test {

TempDir::TempDir()
{
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        m_path = base / ("torvale-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(m_path))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::file(const std::string& name) const
{
    const auto u8 =
        (m_path / std::filesystem::path(reinterpret_cast<const char8_t*>(name.c_str()))).u8string();
    return std::string(u8.begin(), u8.end());
}

std::string dataFile(const std::string& relative)
{
    return std::string(TORVALE_TEST_DATA) + "/" + relative;
}

std::string exampleRows(int rows)
{
    const std::filesystem::path folder =
        std::filesystem::path(TORVALE_SOURCE_DIR) / "examples/badge/photos";
    std::vector<std::string> photos;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        photos.push_back(entry.path().string());
    std::sort(photos.begin(), photos.end());
    std::string csv = "工号,姓名,部门,照片\n";
    for (int i = 1; i <= rows; ++i) {
        csv += "B" + std::to_string(i) + ",名" + std::to_string(i) + ",研发部," +
               photos[static_cast<std::size_t>(i) % photos.size()] + "\n";
    }
    return csv;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::map<std::string, std::string> folderContent(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().filename() != kCardRecordFileName)
            files[entry.path().filename().string()] = readFile(entry.path().string());
    }
    return files;
}

std::shared_ptr<const FontRegistry> sharedTestFonts()
{
    static TempDir dir;
    static const auto registry = std::make_shared<const FontRegistry>(
        FontRegistry::build(SettingsStore(dir.file("settings.json"))));
    return registry;
}

const FontRegistry& testFonts()
{
    return *sharedTestFonts();
}

bool copyInstalledCjkFont(const std::filesystem::path& path)
{
    const auto* entries = testFonts().family(kInstalledCjkFamily);
    if (!entries)
        return false;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    return std::filesystem::copy_file(std::filesystem::u8path(entries->front().fontReference), path,
                                      error);
}

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

CommandResult runCommand(const std::string& commandLine)
{
    TempDir dir;
    const std::string outFile = dir.file("out");
    const std::string errFile = dir.file("err");
    const std::string full = commandLine + " >" + shellQuote(outFile) + " 2>" + shellQuote(errFile);
    CommandResult result;
    const int status = std::system(full.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(outFile);
    result.err = readFile(errFile);
    return result;
}

int spawnTool(const std::vector<std::string>& args, const std::string& configDir,
              const std::string& outFile)
{
    std::vector<std::string> argv = {TORVALE_BATCH_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = {"TORVALE_CONFIG_DIR=" + configDir};
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (auto& text : texts)
            list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    };
    auto argvPointers = pointers(argv);
    auto envPointers = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int status = posix_spawn(&pid, argvPointers[0], &actions, nullptr,
                                   argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

std::vector<std::string> readCodes(const std::string& pictureBytes)
{
    MagickWandPtr wand(NewMagickWand());
    if (MagickReadImageBlob(wand.get(), pictureBytes.data(), pictureBytes.size()) == MagickFalse)
        return {};
    const std::size_t width = MagickGetImageWidth(wand.get());
    const std::size_t height = MagickGetImageHeight(wand.get());
    std::vector<unsigned char> grey(width * height);
    MagickExportImagePixels(wand.get(), 0, 0, width, height, "I", CharPixel, grey.data());
    zbar::ImageScanner scanner;
    zbar::Image image(static_cast<unsigned>(width), static_cast<unsigned>(height), "Y800",
                      grey.data(), grey.size());
    scanner.scan(image);
    std::vector<std::string> codes;
    for (auto symbol = image.symbol_begin(); symbol != image.symbol_end(); ++symbol)
        codes.push_back(symbol->get_data());
    std::sort(codes.begin(), codes.end());
    return codes;
}

} // namespace torvale::test
