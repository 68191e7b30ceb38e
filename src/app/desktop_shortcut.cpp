#include "app/desktop_shortcut.h"

#include "common/file_io.h"
#include "common/paths.h"

#include <string>
#include <system_error>

namespace torvale {

namespace {

// A quoted argument of an Exec key: inside double quotes, '"', '`', '$' and '\' are escaped
// with a backslash, and as the value is a string, every backslash is then escaped again.
std::string quoteExecArgument(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        else if (c == '\\')
            quoted += "\\\\\\";
        quoted += c;
    }
    return quoted + "\"";
}

// A string value: backslashes, line breaks and tabs escaped.
std::string escapeValue(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\t':
            escaped += "\\t";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

std::filesystem::path desktopLauncherPath(const std::filesystem::path& desktopFolder)
{
    return desktopFolder / kDesktopLauncherName;
}

bool writeDesktopLauncher(const std::filesystem::path& desktopFolder,
                          const std::filesystem::path& executable, const std::string& icon)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(desktopFolder, ec))
        return false;
    const std::filesystem::path target = desktopLauncherPath(desktopFolder);
    const std::string exe = pathToUtf8(executable);
    const std::string folder = pathToUtf8(executable.parent_path());
    const std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Torvale\n"
                       "Exec=" +
                       quoteExecArgument(exe) +
                       " %f\n"
                       "Path=" +
                       escapeValue(folder) +
                       "\n"
                       "Icon=" +
                       escapeValue(icon) +
                       "\n"
                       "Terminal=false\n";
    // A failed write leaves an old launcher as it was; a launcher must be executable.
    return replaceFileAtomically(pathToUtf8(target), text, 0755).ok();
}

bool shouldOfferDesktopLauncher(bool checkShortcutStatus,
                                const std::filesystem::path& programFolder,
                                const std::filesystem::path& desktopFolder)
{
    if (!checkShortcutStatus)
        return false;
    const std::string program = pathToUtf8(programFolder);
    const std::string desktop = pathToUtf8(desktopFolder);
    if (!desktop.empty() && program.find(desktop) != std::string::npos)
        return false;
    std::error_code ec;
    return !std::filesystem::exists(desktopLauncherPath(desktopFolder), ec);
}

} // namespace torvale
