#include "model/template_file.h"

#include "common/c_resources.h"
#include "common/file_io.h"
#include "common/paths.h"
#include "common/text.h"
#include "model/layer_fields.h"
#include "model/settings.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace torvale {

namespace {

// Writes members into a cJSON object.
struct JsonWriter {
    cJSON* object;

    void number(const char* key, double value) { cJSON_AddNumberToObject(object, key, value); }
    void text(const char* key, const std::string& value)
    {
        cJSON_AddStringToObject(object, key, value.c_str());
    }
    template <typename E> void enumeration(const char* key, E value, int /*last*/)
    {
        number(key, static_cast<int>(value));
    }
};

// A colour value read whole, so that what a save writes reads back the same (a negative value
// is saved as its 32-bit unsigned twin, which cJSON's int would saturate).
std::uint32_t colorValue(const cJSON* item)
{
    const double value = item->valuedouble;
    if (value >= 0)
        return value >= 4294967295.0 ? UINT32_MAX : static_cast<std::uint32_t>(value);
    return static_cast<std::uint32_t>(value <= INT32_MIN ? INT32_MIN
                                                         : static_cast<std::int32_t>(value));
}

// Reads members of a cJSON object; a member that is missing or of another type clears ok and
// every later call is ignored.
struct JsonReader {
    const cJSON* object;
    bool ok = true;

    const cJSON* item(const char* key) const
    {
        return ok ? cJSON_GetObjectItemCaseSensitive(object, key) : nullptr;
    }
    bool number(const char* key, std::int32_t& field)
    {
        const cJSON* found = item(key);
        if (cJSON_IsNumber(found))
            field = found->valueint; // cJSON saturates values outside the int range
        else
            ok = false;
        return ok;
    }
    bool number(const char* key, std::uint32_t& field)
    {
        const cJSON* found = item(key);
        if (cJSON_IsNumber(found))
            field = colorValue(found);
        else
            ok = false;
        return ok;
    }
    bool text(const char* key, std::string& field)
    {
        const cJSON* found = item(key);
        if (cJSON_IsString(found) && found->valuestring)
            field = found->valuestring;
        else
            ok = false;
        return ok;
    }
};

// A layer's members in the field table's order. Members added after the first file format are
// written only when the table says so, mostly when not at their default, so a template that
// does not use them is written as before and older readers skip them.
void writeLayer(JsonWriter& out, const Layer& layer)
{
    bool previousWritten = true;
    for (const LayerFieldInfo& field : layerFields()) {
        switch (field.rule) {
        case FileRule::Required:
            previousWritten = true;
            break;
        case FileRule::UnlessDefault:
            previousWritten = !isDefaultField(field, layer);
            break;
        case FileRule::WithPrevious:
            break;
        }
        if (!previousWritten)
            continue;
        const FieldValue value = fieldValue(field, layer);
        if (const auto* text = std::get_if<std::string>(&value))
            out.text(field.member, *text);
        else
            out.number(field.member, static_cast<double>(std::get<std::int64_t>(value)));
    }
}

// A number member as its field's range rule reads it; nothing: the field keeps its default.
std::optional<std::int64_t> fieldNumberOf(const LayerFieldInfo& field, const cJSON* item)
{
    switch (field.range) {
    case RangeRule::NonZeroIsOn:
        return item->valueint != 0;
    case RangeRule::Clamp:
        return std::clamp(item->valueint, field.minimum, field.maximum);
    case RangeRule::Default:
        break;
    }
    // Like a list selection for the first format's members; later members are judged whole.
    const double value = field.rule == FileRule::Required ? item->valueint : item->valuedouble;
    if (value < field.minimum || value > field.maximum)
        return std::nullopt;
    if (!field.values.empty() && std::none_of(field.values.begin(), field.values.end(),
                                              [value](std::int32_t v) { return v == value; }))
        return std::nullopt;
    return item->valueint;
}

bool acceptsText(const LayerFieldInfo& field, const std::string& text)
{
    if (!field.choices.empty() &&
        std::none_of(field.choices.begin(), field.choices.end(),
                     [&text](const char* choice) { return text == choice; }))
        return false;
    return !field.accepts || field.accepts(text);
}

// Reads a layer object into a default-made layer: false when a required member is missing or
// of another type; a later member that is missing or unusable leaves its default.
bool readLayer(const cJSON* element, Layer& layer)
{
    for (const LayerFieldInfo& field : layerFields()) {
        const cJSON* item = cJSON_GetObjectItemCaseSensitive(element, field.member);
        const bool present =
            isTextField(field) ? cJSON_IsString(item) && item->valuestring : cJSON_IsNumber(item);
        if (!present) {
            if (field.rule == FileRule::Required)
                return false;
            continue;
        }
        if (isTextField(field)) {
            if (std::string text = item->valuestring; acceptsText(field, text))
                setFieldValue(field, layer, std::move(text));
        } else if (isColorValueField(field)) {
            setFieldValue(field, layer, static_cast<std::int64_t>(colorValue(item)));
        } else if (const auto value = fieldNumberOf(field, item)) {
            setFieldValue(field, layer, *value);
        }
    }
    return true;
}

// Notes a code member that the file holds but that reads as its default.
void noteReplacedCodeMembers(const cJSON* element, const Layer& layer,
                             std::vector<std::string>& replaced)
{
    const auto shown = [element](const char* key) -> std::optional<std::string> {
        const cJSON* item = cJSON_GetObjectItemCaseSensitive(element, key);
        if (!item)
            return std::nullopt;
        if (cJSON_IsString(item) && item->valuestring)
            return std::string(item->valuestring);
        const JsonText text(cJSON_PrintUnformatted(item));
        return text ? std::string(text.get()) : std::string();
    };
    const auto note = [&](const char* key, const char* what, const std::string& stored,
                          const std::string& used) {
        if (const auto value = shown(key); value && *value != stored)
            replaced.push_back(formatText("图层#%d 的%s '%s' 无法识别，使用 %s", layer.number, what,
                                          value->c_str(), used.c_str()));
    };
    note("codeType", "码制", layer.codeType, layer.codeType);
    note("codeErrorLevel", "纠错级别", layer.codeErrorLevel, layer.codeErrorLevel);
    note("codeBackground", "码背景", layer.codeBackground,
         layer.codeBackground.empty() ? "无背景" : layer.codeBackground);
    const std::string zone = std::to_string(layer.codeQuietZone);
    note("codeQuietZone", "静区", zone,
         layer.codeQuietZone == kStandardQuietZone ? "标准静区" : zone);
}

const char* backgroundColorText(BackgroundColorMode mode)
{
    switch (mode) {
    case BackgroundColorMode::Transparent:
        return "none";
    case BackgroundColorMode::Chosen:
        return "other";
    case BackgroundColorMode::White:
        break;
    }
    return "#ffffff";
}

void writeBackground(JsonWriter& out, const BackgroundLayer& background, std::int32_t currentDpi)
{
    out.number("background_type", static_cast<int>(background.kind));
    if (background.kind == BackgroundKind::Picture) {
        out.text("background_path", background.background_path);
        out.number("dpi", currentDpi);
        return;
    }
    out.text("width", formatText("%d", background.width));
    out.text("height", formatText("%d", background.height));
    out.text("szWidth", background.szWidth);
    out.text("szHeight", background.szHeight);
    out.enumeration("unit", background.unit, 3);
    out.number("dpi", background.dpi);
    out.text("background_color", backgroundColorText(background.colorMode));
    if (background.colorMode == BackgroundColorMode::Chosen)
        out.number("background_color_value", background.chosenColor);
}

void writeOutput(JsonWriter& out, const OutputSettings& output)
{
    if (output.format == OutputFormat::Jpg) {
        out.text("format", "JPG");
        out.number("quality", output.quality);
        out.text("colorspace", colorspaceText(output.colorspace));
    } else {
        out.text("format", "PNG");
        out.number("transparent_open", output.transparent_open ? 1 : 0);
        out.number("isSaveToPng8", output.isSaveToPng8 ? 1 : 0);
        out.number("colorCount", output.isSaveToPng8 ? output.colorCount : 256);
    }
    out.text("file_name_bind_col_name", output.file_name_bind_col_name);
    out.text("file_name_bind_col_name2", output.file_name_bind_col_name2);
    if (output.serialStart != kDefaultSerialStart)
        out.number("serialStart", output.serialStart);
}

// The pixel size of a custom canvas from its "width"/"height" text, read as atoi reads it
// ("12px" is 12); a canvas is at least 1 x 1. valid is cleared for a text that holds no number
// of 1 or more: the 1 is then a stand-in, not the template's size.
std::int32_t pixelValue(const std::string& text, bool& valid)
{
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || value < 1)
        valid = false;
    return static_cast<std::int32_t>(std::clamp<long long>(value, 1, INT32_MAX));
}

// Settings refuse a dpi outside 1..1200, and 0 would divide by zero in the unit conversions.
void applyDpi(JsonReader& in, BackgroundLayer& background, std::int32_t currentDpi,
              TemplateReadResult& result)
{
    const cJSON* dpi = in.item("dpi");
    if (cJSON_IsNumber(dpi)) {
        background.dpi = std::clamp(dpi->valueint, kMinDpi, kMaxDpi);
        result.dpi = background.dpi;
    } else {
        background.dpi = currentDpi;
    }
}

// A text member that may be missing (or of another type): the fallback then.
std::string optionalText(JsonReader& in, const char* key, const std::string& fallback)
{
    const cJSON* found = in.item(key);
    return cJSON_IsString(found) && found->valuestring ? found->valuestring : fallback;
}

std::optional<std::int32_t> optionalNumber(JsonReader& in, const char* key)
{
    const cJSON* found = in.item(key);
    if (cJSON_IsNumber(found))
        return found->valueint;
    return std::nullopt;
}

bool readBackground(JsonReader& in, BackgroundLayer& background, std::int32_t currentDpi,
                    TemplateReadResult& result)
{
    std::int32_t type = 0;
    if (!in.number("background_type", type))
        return false;
    if (type == 0) {
        if (!in.text("background_path", background.background_path))
            return false;
        background.kind = BackgroundKind::Picture;
        result.loadBackgroundPicture = true;
        applyDpi(in, background, currentDpi, result);
        return true;
    }

    // Selecting the unit converts the current size texts, as the background panel does.
    const std::int32_t unit = optionalNumber(in, "unit").value_or(0);
    if (unit >= 0 && unit <= 3) {
        background.unit = static_cast<SizeUnit>(unit);
        background.szWidth = pixelsToSizeText(background.width, background.unit, background.dpi);
        background.szHeight = pixelsToSizeText(background.height, background.unit, background.dpi);
    }
    applyDpi(in, background, currentDpi, result);

    std::string width;
    std::string height;
    if (!in.text("width", width))
        return false;
    background.szWidth = optionalText(in, "szWidth", width);
    if (!in.text("height", height))
        return false;
    background.szHeight = optionalText(in, "szHeight", height);
    bool valid = true;
    background.width = pixelValue(width, valid);
    background.height = pixelValue(height, valid);
    background.sizeUnreadable = !valid;

    std::string color;
    if (!in.text("background_color", color))
        return false;
    if (color == "#ffffff") {
        setBackgroundColorMode(background, BackgroundColorMode::White);
    } else if (color == "none") {
        setBackgroundColorMode(background, BackgroundColorMode::Transparent);
    } else {
        setBackgroundColorMode(background, BackgroundColorMode::Chosen);
        std::uint32_t value = 0;
        if (!in.number("background_color_value", value))
            return false;
        background.chosenColor = value;
        background.drawingColor = value;
    }
    background.kind = BackgroundKind::Custom;
    return true;
}

bool readLayers(JsonReader& in, std::vector<Layer>& layers, TemplateReadResult& result)
{
    const cJSON* items = in.item("picture_items");
    if (!cJSON_IsArray(items))
        return false;
    const cJSON* element = nullptr;
    cJSON_ArrayForEach(element, items)
    {
        if (!cJSON_IsObject(element))
            return false;
        Layer layer;
        if (!readLayer(element, layer))
            return false;
        layer.number = static_cast<std::int32_t>(layers.size() + 1);
        if (layer.type == LayerType::Code)
            noteReplacedCodeMembers(element, layer, result.replacedValues);
        layers.push_back(std::move(layer));
    }
    result.selectFirstLayer = !layers.empty();
    return true;
}

bool readOutput(JsonReader& in, OutputSettings& output)
{
    std::string format;
    if (!in.text("format", format))
        return false;
    if (format == "JPG") {
        output.format = OutputFormat::Jpg;
        std::int32_t quality = 0;
        if (!in.number("quality", quality))
            return false;
        output.quality = std::clamp(quality, kMinQuality, kMaxQuality);
        const cJSON* colorspace = in.item("colorspace");
        if (!cJSON_IsString(colorspace) || !colorspace->valuestring) {
            output.colorspace = OutputColorspace::SRgb;
            return true;
        }
        for (auto choice : {OutputColorspace::SRgb, OutputColorspace::Rgb, OutputColorspace::Cmyk,
                            OutputColorspace::Gray}) {
            if (equalsIgnoreCase(colorspace->valuestring, colorspaceText(choice)))
                output.colorspace = choice;
        }
        return true;
    }

    output.format = OutputFormat::Png;
    std::int32_t transparent = 0;
    if (!in.number("transparent_open", transparent))
        return false;
    output.transparent_open = transparent == 1;
    const auto png8 = optionalNumber(in, "isSaveToPng8");
    output.isSaveToPng8 = png8 == 1;
    if (png8) {
        const std::int32_t count = optionalNumber(in, "colorCount").value_or(256);
        if (std::find(std::begin(kPaletteSizes), std::end(kPaletteSizes), count) !=
            std::end(kPaletteSizes))
            output.colorCount = count;
    }
    return true;
}

// A whole number in range, or the default: a serial the user never chose is never made up.
std::int32_t readSerialStart(JsonReader& in)
{
    const cJSON* item = in.item("serialStart");
    if (!cJSON_IsNumber(item))
        return kDefaultSerialStart;
    const double value = item->valuedouble;
    if (!(value >= kMinSerialStart && value <= kMaxSerialStart) || value != std::floor(value))
        return kDefaultSerialStart;
    return static_cast<std::int32_t>(value);
}

} // namespace

std::string matchColumn(const PackedStrings& columns, const std::string& name)
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoreCase(columns[i], name))
            return std::string(columns[i]);
    }
    return {};
}

std::string matchColumn(const std::vector<std::string>& columns, const std::string& name)
{
    for (const auto& column : columns) {
        if (equalsIgnoreCase(column, name))
            return column;
    }
    return {};
}

namespace {

bool readFileNameColumns(JsonReader& in, const std::string& path, Template& tpl,
                         const CsvColumnLoader& loadColumns, TemplateReadResult& result)
{
    result.fileNameColumnsInFile = {optionalText(in, "file_name_bind_col_name", {}),
                                    optionalText(in, "file_name_bind_col_name2", {})};
    if (tpl.csv_file_path.empty())
        return true;
    std::optional<PackedStrings> columns;
    if (loadColumns)
        columns =
            loadColumns(resolveTemplatePath(tpl.csv_file_path, path), tpl.is_trim_csv_cell_value);
    if (!columns) {
        result.csvUnreadable = true;
        return true;
    }
    result.csvColumns = std::move(*columns);
    std::string name;
    if (!in.text("file_name_bind_col_name", name))
        return false;
    tpl.output.file_name_bind_col_name = matchColumn(result.csvColumns, name);
    if (!in.text("file_name_bind_col_name2", name))
        return false;
    tpl.output.file_name_bind_col_name2 = matchColumn(result.csvColumns, name);
    return true;
}

// Applies the members in file order; false at the first missing one (those before it stay).
bool readMembers(JsonReader& in, const std::string& path, Template& tpl, std::int32_t currentDpi,
                 const CsvColumnLoader& loadColumns, TemplateReadResult& result)
{
    if (!readBackground(in, tpl.background, currentDpi, result))
        return false;
    if (!in.text("csv_file_path", tpl.csv_file_path))
        return false;
    // Missing means on; any value but the number 1, of whatever type, means off.
    const cJSON* trim = in.item("is_trim_csv_cell_value");
    tpl.is_trim_csv_cell_value = !trim || (cJSON_IsNumber(trim) && trim->valueint == 1);
    if (!readLayers(in, tpl.layers, result))
        return false;
    std::int32_t flag = 0;
    if (!in.number("pictures_show_select_area", flag))
        return false;
    tpl.pictures_show_select_area = flag == 1;
    if (!in.number("pictures_show_picture", flag))
        return false;
    tpl.pictures_show_picture = flag == 1;
    if (!readOutput(in, tpl.output))
        return false;
    tpl.output.serialStart = readSerialStart(in);
    return readFileNameColumns(in, path, tpl, loadColumns, result);
}

void startNewTemplate(Template& tpl, std::int32_t currentDpi)
{
    resetTemplate(tpl);
    tpl.background.dpi = currentDpi;
    tpl.templatePath.clear();
    tpl.templateName = kNewTemplateName;
}

const char* readMessage(TemplateReadStatus status)
{
    switch (status) {
    case TemplateReadStatus::CannotOpen:
        return kMsgCannotOpen;
    case TemplateReadStatus::Empty:
        return kMsgEmptyFile;
    case TemplateReadStatus::ReadFailed:
        return kMsgReadFailed;
    case TemplateReadStatus::BadFormat:
        return kMsgBadFormat;
    case TemplateReadStatus::TooLarge:
        return kMsgTemplateTooLarge;
    case TemplateReadStatus::Ok:
        break;
    }
    return "";
}

// Reads a whole file: CannotOpen (also for what is not a regular file), TooLarge, Empty,
// ReadFailed or Ok with the bytes.
TemplateReadStatus readWholeFile(const std::string& path, std::string& bytes)
{
    switch (readRegularFile(path, kMaxTemplateBytes, bytes)) {
    case FileReadStatus::CannotOpen:
        return TemplateReadStatus::CannotOpen;
    case FileReadStatus::TooLarge:
        return TemplateReadStatus::TooLarge;
    case FileReadStatus::ReadFailed:
        return TemplateReadStatus::ReadFailed;
    case FileReadStatus::Ok:
        break;
    }
    return bytes.empty() ? TemplateReadStatus::Empty : TemplateReadStatus::Ok;
}

TemplateSaveResult saveFailure(TemplateSaveStatus status, const std::string& path, int error)
{
    TemplateSaveResult result;
    result.status = status;
    result.logLines.push_back(formatText("保存模版文件 '%s' 时发生错误:", path.c_str()));
    if (error != 0)
        result.logLines.push_back(std::error_code(error, std::generic_category()).message());
    result.message =
        status == TemplateSaveStatus::CannotCreate ? kMsgSaveCannotCreate : kMsgSaveWriteFailed;
    return result;
}

} // namespace

std::string templateToJson(const Template& tpl, std::int32_t currentDpi)
{
    const JsonPtr root(cJSON_CreateObject());
    if (!root)
        return {};
    JsonWriter out{root.get()};
    writeBackground(out, tpl.background, currentDpi);
    out.text("csv_file_path", tpl.csv_file_path);
    out.number("is_trim_csv_cell_value", tpl.is_trim_csv_cell_value ? 1 : 0);
    out.number("pictures_show_select_area", tpl.pictures_show_select_area ? 1 : 0);
    out.number("pictures_show_picture", tpl.pictures_show_picture ? 1 : 0);
    cJSON* items = cJSON_AddArrayToObject(root.get(), "picture_items");
    for (const Layer& layer : tpl.layers) {
        cJSON* item = cJSON_CreateObject();
        if (!cJSON_AddItemToArray(items, item)) {
            cJSON_Delete(item);
            continue;
        }
        JsonWriter layerOut{item};
        writeLayer(layerOut, layer);
    }
    writeOutput(out, tpl.output);
    const JsonText text(cJSON_Print(root.get()));
    return text ? std::string(text.get()) : std::string();
}

TemplateReadResult readTemplateFile(const std::string& path, Template& tpl, std::int32_t currentDpi,
                                    const CsvColumnLoader& loadColumns)
{
    startNewTemplate(tpl, currentDpi);
    std::string bytes;
    if (const auto status = readWholeFile(path, bytes); status != TemplateReadStatus::Ok) {
        TemplateReadResult result;
        result.status = status;
        result.message = readMessage(status);
        return result;
    }
    return readTemplateText(bytes, path, tpl, currentDpi, loadColumns);
}

TemplateReadResult readTemplateText(const std::string& text, const std::string& path, Template& tpl,
                                    std::int32_t currentDpi, const CsvColumnLoader& loadColumns)
{
    startNewTemplate(tpl, currentDpi);
    TemplateReadResult result;
    const JsonPtr root(cJSON_ParseWithLength(text.data(), text.size()));
    JsonReader in{root.get()};
    if (!cJSON_IsObject(root.get()) ||
        !readMembers(in, path, tpl, currentDpi, loadColumns, result)) {
        result.status = TemplateReadStatus::BadFormat;
        result.message = readMessage(result.status);
        return result;
    }
    tpl.templatePath = path;
    tpl.templateName = fileNameOf(path);
    return result;
}

namespace {

// A stored path as storePathsFor expresses it.
std::string storedPath(const std::string& stored, const std::string& fromTemplate,
                       const std::string& toTemplate)
{
    if (stored.empty())
        return stored;
    if (const SheetPath where = splitSheetPath(stored); where.hasSheet)
        return joinSheetPath(storedPath(where.file, fromTemplate, toTemplate), where.sheet);
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::absolute(folderOf(toTemplate), error).lexically_normal();
    if (error)
        return stored;
    std::filesystem::path path = pathFromUtf8(stored);
    if (!path.is_absolute()) {
        // A relative path stays as it is in the same folder (it may name a file beside the
        // program); it has nothing to be relative to in a template without a file.
        if (fromTemplate.empty() ||
            std::filesystem::absolute(folderOf(fromTemplate), error).lexically_normal() == folder)
            return stored;
        path = std::filesystem::absolute(pathFromUtf8(resolveTemplatePath(stored, fromTemplate)),
                                         error);
        if (error)
            return stored;
    }
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path())
        path = path.parent_path(); // a folder, "dir/." normalised to "dir/"
    const std::filesystem::path relative = path.lexically_relative(folder);
    if (relative.empty() || *relative.begin() == "..")
        return pathToUtf8(path);
    const std::u8string generic = relative.generic_u8string();
    return std::string(generic.begin(), generic.end());
}

} // namespace

void storePathsFor(Template& tpl, const std::string& templatePath)
{
    const std::string from = tpl.templatePath;
    const auto store = [&](std::string& path) { path = storedPath(path, from, templatePath); };
    store(tpl.csv_file_path);
    store(tpl.background.background_path);
    for (Layer& layer : tpl.layers) {
        store(layer.filePath);
        store(layer.placeholderPath);
        store(layer.pictureFolder);
    }
}

TemplateSaveResult saveTemplateFile(const std::string& path, Template& tpl, std::int32_t currentDpi)
{
    Template stored = tpl;
    storePathsFor(stored, path);
    const AtomicWriteResult written =
        replaceFileAtomically(path, templateToJson(stored, currentDpi));
    switch (written.status) {
    case AtomicWriteStatus::Ok:
        break;
    case AtomicWriteStatus::WriteFailed:
        return saveFailure(TemplateSaveStatus::WriteFailed, path, written.error);
    case AtomicWriteStatus::CannotCreate:
    // A target that cannot be replaced (a folder, a read-only place) is the same failure as a
    // file that cannot be opened for writing.
    case AtomicWriteStatus::CannotReplace:
        return saveFailure(TemplateSaveStatus::CannotCreate, path, written.error);
    }
    tpl = std::move(stored);
    tpl.templatePath = path;
    tpl.templateName = fileNameOf(path);
    return {};
}

bool isTemplateModified(const Template& tpl, std::int32_t currentDpi, std::string_view untouched)
{
    const std::string current = templateToJson(tpl, currentDpi);
    // A new template's canvas, data source and output settings are edits worth a question
    // too; only a template that is still what "新建" made holds nothing to lose.
    if (tpl.layers.empty() && current == untouched)
        return false;
    if (tpl.templatePath.empty())
        return true;
    std::string bytes;
    const TemplateReadStatus status = readWholeFile(tpl.templatePath, bytes);
    if (status == TemplateReadStatus::CannotOpen || status == TemplateReadStatus::ReadFailed)
        return true;
    return bytes != current;
}

std::string resolveTemplatePath(const std::string& stored, const std::string& templatePath)
{
    // A workbook's sheet rides along: the file is looked for, the sheet kept as it is.
    if (const SheetPath where = splitSheetPath(stored); where.hasSheet)
        return joinSheetPath(resolveTemplatePath(where.file, templatePath), where.sheet);
    const std::filesystem::path storedPath = pathFromUtf8(stored);
    if (stored.empty() || storedPath.is_absolute())
        return stored;
    std::error_code ec;
    const std::filesystem::path besideTemplate = folderOf(templatePath) / storedPath;
    if (!templatePath.empty() && std::filesystem::exists(besideTemplate, ec))
        return pathToUtf8(besideTemplate);
    const std::filesystem::path inProgramFolder = programFolder() / storedPath;
    if (std::filesystem::exists(inProgramFolder, ec))
        return pathToUtf8(inProgramFolder);
    return templatePath.empty() ? stored : pathToUtf8(besideTemplate);
}

} // namespace torvale
