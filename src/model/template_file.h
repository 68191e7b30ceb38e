#pragma once

#include "common/packed_strings.h"
#include "model/template.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// The JSON text of a template as the editor saves it (the bytes of cJSON_Print). A picture
/// background writes currentDpi as its dpi; a custom canvas writes its own dpi.
std::string templateToJson(const Template& tpl, std::int32_t currentDpi);

/// Loads the column names of a CSV file (its path already resolved against the template's
/// folder, and the template's trim switch); nothing when the file cannot be loaded.
using CsvColumnLoader =
    std::function<std::optional<PackedStrings>(const std::string& csvPath, bool trim)>;

enum class TemplateReadStatus {
    Ok,
    CannotOpen, // 读取文件时出错, 无法打开文件句柄
    Empty,      // 这是一个空白文件
    ReadFailed, // 读取文件时出错
    BadFormat,  // 文件格式不对！
    TooLarge,   // larger than any template (kMaxTemplateBytes)
};

/// A template file larger than this is refused without reading it: templates are a few
/// kilobytes, and a device or a huge file must not fill the memory.
inline constexpr std::uint64_t kMaxTemplateBytes = 64ULL * 1024 * 1024;

inline constexpr const char* kMsgCannotOpen = "读取文件时出错, 无法打开文件句柄";
inline constexpr const char* kMsgEmptyFile = "这是一个空白文件";
inline constexpr const char* kMsgReadFailed = "读取文件时出错";
inline constexpr const char* kMsgBadFormat = "文件格式不对！";
inline constexpr const char* kMsgTemplateTooLarge = "文件太大（超过 64 MB），不是模版文件";
inline constexpr const char* kCsvBalloonTitle = "csv文件无法访问";
inline constexpr const char* kCsvBalloonText = "请检查文件是否存在或被别的软件【独占方式】打开";

/// What reading a template left for the caller to do or show.
struct TemplateReadResult {
    TemplateReadStatus status = TemplateReadStatus::Ok;
    /// The message box text for a failure ("提示", error icon); empty on success.
    std::string message;
    /// The dpi the file holds: the caller makes it the current DPI setting and stores it.
    std::optional<std::int32_t> dpi;
    /// The background is a picture: the caller loads it from background_path.
    bool loadBackgroundPicture = false;
    /// The CSV path was set and its columns loaded (in header order).
    PackedStrings csvColumns;
    /// The CSV path was set but could not be loaded: show the "csv文件无法访问" balloon.
    bool csvUnreadable = false;
    /// The two file-name columns as the file names them, before they were matched against the
    /// CSV file's columns (empty when the file holds none), for a caller that reads the rows
    /// from another CSV file.
    std::array<std::string, 2> fileNameColumnsInFile;
    /// At least one layer was read: select the first row of the layer list.
    bool selectFirstLayer = false;
    /// Values the file holds that are not valid and were read as their defaults (a code
    /// layer's "qr"), one line each, for the batch check to name.
    std::vector<std::string> replacedValues;

    bool ok() const { return status == TemplateReadStatus::Ok; }
};

/// Reads a template file into tpl the way the editor opens it: tpl is reset first
/// (resetTemplate, no file link), then the members are applied in file order. On a missing
/// required member or invalid JSON the members applied so far stay and the result is BadFormat.
/// On success tpl.templatePath and tpl.templateName name the file. currentDpi is the current
/// DPI setting (taken by the background when the file holds no dpi). Never writes settings.
TemplateReadResult readTemplateFile(const std::string& path, Template& tpl, std::int32_t currentDpi,
                                    const CsvColumnLoader& loadColumns);

/// Same as readTemplateFile, for JSON text already in memory (path only names it).
TemplateReadResult readTemplateText(const std::string& text, const std::string& path, Template& tpl,
                                    std::int32_t currentDpi, const CsvColumnLoader& loadColumns);

enum class TemplateSaveStatus { Ok, CannotCreate, WriteFailed };

inline constexpr const char* kMsgSaveCannotCreate = "写入文件时出错，文件句柄打开出错";
inline constexpr const char* kMsgSaveWriteFailed = "写入文件时出错";

struct TemplateSaveResult {
    TemplateSaveStatus status = TemplateSaveStatus::Ok;
    /// Log lines for the information log on failure: "保存模版文件 '%s' 时发生错误:" and the
    /// system's error text.
    std::vector<std::string> logLines;
    /// Message box text ("错误") on failure.
    std::string message;
    bool ok() const { return status == TemplateSaveStatus::Ok; }
};

/// Expresses the paths a template stores (data file, background, layers' pictures, placeholders
/// and picture folders) for its file at templatePath: a path to something inside that file's
/// folder, or below it, becomes relative with "/" separators, anything else absolute. Stored
/// paths are first resolved for the template's present file (resolveTemplatePath), so that a
/// template saved into another folder still names the same files.
void storePathsFor(Template& tpl, const std::string& templatePath);

/// Writes templateToJson to path through a temporary file in the same folder renamed over the
/// target, so a failed save leaves the old file intact; the paths are stored for path
/// (storePathsFor). On success sets templatePath and templateName, and the template holds its
/// paths as stored.
TemplateSaveResult saveTemplateFile(const std::string& path, Template& tpl,
                                    std::int32_t currentDpi);

/// True when saving would lose nothing less than before: a template without layers whose
/// templateToJson equals untouched (the bytes of a new template) is never modified; otherwise
/// it is when it has no file link, its file cannot be read or the file's bytes differ.
bool isTemplateModified(const Template& tpl, std::int32_t currentDpi, std::string_view untouched);

/// The column a file-name column name selects (compared without regard to ASCII case, the
/// column's own text returned), "" when there is none.
std::string matchColumn(const PackedStrings& columns, const std::string& name);
std::string matchColumn(const std::vector<std::string>& columns, const std::string& name);

/// Resolves a path stored in a template: absolute paths as they are; relative ones against the
/// template's own folder first, then the program folder. When neither exists the path relative
/// to the template's folder is returned (or the text itself for a template without a file). A
/// workbook's "#sheet" (splitSheetPath) stays after the resolved file.
std::string resolveTemplatePath(const std::string& stored, const std::string& templatePath);

} // namespace torvale
