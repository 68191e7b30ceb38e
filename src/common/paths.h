#pragma once

#include <filesystem>
#include <string>

namespace torvale {

/// Folder holding the running program (from /proc/self/exe on Linux).
std::filesystem::path programFolder();

/// The user's desktop folder (XDG desktop directory, else ~/Desktop, else the home folder).
std::filesystem::path desktopFolder();

/// Folder of the user's settings: $TORVALE_CONFIG_DIR when set, else
/// $XDG_CONFIG_HOME/Torvale, else ~/.config/Torvale.
std::filesystem::path configFolder();

/// The folder of a file path; "." for a bare file name, whose folder is the current one.
std::filesystem::path folderOf(const std::string& path);

/// A std::filesystem path from UTF-8 text, and back.
std::filesystem::path pathFromUtf8(const std::string& text);
std::string pathToUtf8(const std::filesystem::path& path);

/// A data file path split into the file and the sheet it names: "staff.xlsx#二月入职" is the
/// sheet 二月入职 of staff.xlsx.
struct SheetPath {
    std::string file;
    std::string sheet;
    bool hasSheet = false;
};

/// Splits a data file path at the first "#" that follows ".xlsx" (any case) when the rest names
/// no folder; any other path is all file, without a sheet.
SheetPath splitSheetPath(const std::string& path);

/// The path of a sheet of a workbook: file, "#", sheet.
std::string joinSheetPath(const std::string& file, const std::string& sheet);

/// True when the file of a data file path (splitSheetPath) ends with ".xlsx", any case.
bool isWorkbookPath(const std::string& path);

} // namespace torvale
