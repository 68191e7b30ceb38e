#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace torvale {
class FontRegistry;
}

namespace torvale::test {

/// Every code a reader finds in a picture (its encoded bytes), of any symbology, sorted.
std::vector<std::string> readCodes(const std::string& pictureBytes);

/// A fresh temporary folder, removed with its content when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// The UTF-8 path of a file name inside the folder.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

/// The absolute path of a file under tests/data.
std::string dataFile(const std::string& relative);

/// The example badge's data: rows rows under its header (工号 B1, B2, ...), each with the
/// absolute path of one of the example's photos in turn, starting with the second.
std::string exampleRows(int rows);

/// Writes bytes to a file (replacing it).
void writeFile(const std::string& path, const std::string& bytes);

/// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::string& path);

/// File name to content of every file in a folder but the record of the cards made there.
std::map<std::string, std::string> folderContent(const std::filesystem::path& folder);

/// The installed fonts, without any font mapping (built once per test program).
const FontRegistry& testFonts();
/// testFonts() for the options that share their font tables.
std::shared_ptr<const FontRegistry> sharedTestFonts();

/// The name and file of an installed font that draws Chinese and Latin text.
inline constexpr const char* kInstalledCjkFamily = "WenQuanYi Zen Hei";
/// Copies the installed CJK font's file to path (folders created); false when it cannot.
bool copyInstalledCjkFont(const std::filesystem::path& path);

/// Result of running a command.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs a shell command line, capturing standard output and standard error.
CommandResult runCommand(const std::string& commandLine);

/// Starts the command-line tool with args (after the program name), its settings in configDir,
/// its standard output into outFile and its standard error discarded, without waiting for it;
/// the child's process id, or -1 when it could not be started.
int spawnTool(const std::vector<std::string>& args, const std::string& configDir,
              const std::string& outFile);

/// Quotes text for the shell.
std::string shellQuote(const std::string& text);

} // namespace torvale::test
