#include "batch/batch_validation.h"

#include "batch/csv_source.h"
#include "common/paths.h"
#include "common/text.h"
#include "model/template_file.h"
#include "model/text_fields.h"
#include "render/magick.h"
#include "render/output_file.h"
#include "render/code_render.h"
#include "render/picture_input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <utility>

namespace torvale {

namespace {

// The size boxes of the background panel hold at most this many characters.
constexpr std::size_t kSizeBoxChars = 7;

BatchProblem makeProblem(int check, BatchControl control, std::string title, std::string text)
{
    BatchProblem problem;
    problem.check = check;
    problem.control = control;
    problem.title = std::move(title);
    problem.text = std::move(text);
    // Problems up to the layers are shown with the settings column scrolled to its top (a
    // selected layer's panel too); the output controls are only focused.
    problem.scrollToTop = check <= 13;
    // The CSV balloons point at the path, the focus goes to the choose button; a missing layer
    // only scrolls to the list.
    if (check == 8 || check == 9)
        problem.focus = BatchControl::CsvChooseButton;
    else if (check != 10)
        problem.focus = control == BatchControl::OutputFolderMessage
                            ? BatchControl::OutputFolderButton
                            : control;
    return problem;
}

// The value of a size box read the way atoi reads it: "12px" is 12, "abc" is 0.
long sizeBoxValue(const std::string& text)
{
    return std::strtol(truncateUtf16Units(text, kSizeBoxChars).c_str(), nullptr, 10);
}

std::optional<BatchProblem> checkCustomSize(const BackgroundLayer& background)
{
    if (truncateUtf16Units(background.szWidth, kSizeBoxChars).empty())
        return makeProblem(1, BatchControl::BackgroundWidth, "请输入【背景层】宽度",
                           "这里不能为空");
    if (sizeBoxValue(background.szWidth) <= 0)
        return makeProblem(2, BatchControl::BackgroundWidth, "【背景层】宽度必须大于 0",
                           "请重新输入");
    if (truncateUtf16Units(background.szHeight, kSizeBoxChars).empty())
        return makeProblem(3, BatchControl::BackgroundHeight, "请输入【背景层】高度",
                           "这里不能为空");
    if (sizeBoxValue(background.szHeight) <= 0)
        return makeProblem(4, BatchControl::BackgroundHeight, "【背景层】高度必须大于 0",
                           "请重新输入");
    // The size texts are fine, but the pixel size the template gave is not: a 1-pixel stand-in
    // must not make the cards.
    if (background.sizeUnreadable)
        return makeProblem(2, BatchControl::BackgroundWidth, "【背景层】尺寸无效",
                           "模版文件中画布的像素宽度或高度不是大于 0 的整数，请重新输入宽度和高度");
    // Every card starts as a canvas of this size; one that the image library refuses (beyond
    // its size limits, or short of memory) would fail every card after the batch has started.
    if (!withinCanvasLimits(background.width, background.height) ||
        !newCanvas(static_cast<std::size_t>(background.width),
                   static_cast<std::size_t>(background.height), "none"))
        return makeProblem(2, BatchControl::BackgroundWidth, "【背景层】无法创建",
                           formatText("%d x %d 像素的画布超出了图像处理库的限制，请减小宽度或高度",
                                      background.width, background.height));
    return std::nullopt;
}

std::optional<BatchProblem> checkPictureBackground(const BackgroundLayer& background,
                                                   const std::string& resolvedPath)
{
    if (background.background_path.empty())
        return makeProblem(5, BatchControl::BackgroundPictureButton, "请选择一张背景图片",
                           "请选择...");
    if (!fileExists(resolvedPath))
        return makeProblem(
            6, BatchControl::BackgroundPictureButton, "背景图片不存在",
            formatText("背景图片 '%s' 已不存在，请重新选择", background.background_path.c_str()));
    // The editor shows a stand-in for a picture it cannot decode; cards must not be made on it.
    if (background.pictureUnreadable)
        return makeProblem(6, BatchControl::BackgroundPictureButton, "背景图片无法读取",
                           formatText("背景图片 '%s' 已损坏、不是图片或尺寸太大，请重新选择",
                                      background.background_path.c_str()));
    return std::nullopt;
}

// A picture a layer draws on every card it is needed on (a fixed picture, a placeholder): its
// problem, or nothing when it can be read.
std::optional<std::string> unreadablePicture(const std::string& stored,
                                             const std::string& templatePath)
{
    const std::string path = resolveTemplatePath(stored, templatePath);
    if (!fileExists(path))
        return formatText("图片 '%s' 不存在，请重新选择", stored.c_str());
    if (!readPicture(path))
        return formatText("图片 '%s' 已损坏、不是图片或尺寸太大，请重新选择", stored.c_str());
    return std::nullopt;
}

// The content of a fixed layer: a text that is not empty and whose fields name columns of the
// CSV file or the serial, a picture that can be read.
std::optional<BatchProblem> checkFixedContent(const Layer& layer, const PackedStrings& columns,
                                              const std::string& templatePath)
{
    if (layer.type == LayerType::Picture) {
        if (layer.filePath.empty())
            return makeProblem(12, BatchControl::LayerContentField,
                               formatText("图层#%d 还没有选择图片", layer.number),
                               "固定内容的图层在每张卡片上显示它的演示图片，请选择一张图片");
        if (auto problem = unreadablePicture(layer.filePath, templatePath))
            return makeProblem(12, BatchControl::LayerContentField, "图片无法读取", *problem);
        return std::nullopt;
    }
    if (layer.text.empty())
        return makeProblem(12, BatchControl::LayerContentField,
                           formatText("图层#%d 的固定内容为空", layer.number),
                           "请输入每张卡片上都显示的文字");
    for (const std::string& field : textFieldNames(layer.text)) {
        if (columns.contains(field) || serialFieldWidth(field))
            continue;
        return makeProblem(
            12, BatchControl::LayerContentField,
            formatText("图层#%d 的字段 {%s} 不是CSV文件的列", layer.number, field.c_str()),
            field.starts_with('#') ? "编号写作 {#}，补零到4位写作 {#:0000}；或改成CSV文件中的列名"
                                   : "请改成CSV文件中的列名，或用 {{ 和 }} 写出花括号本身");
    }
    return std::nullopt;
}

// A code layer's demo value (its value on every card when fixed and without fields) must fit
// the layer; a fixed one must be a value the code can hold.
std::optional<BatchProblem> checkCodeValue(const Layer& layer)
{
    if (layer.text.empty())
        return std::nullopt;
    const bool everyCard = layer.isFixed && textFieldNames(layer.text).empty();
    const CodeEncoding encoded = encodeCode(layer, layer.text);
    if (!encoded.symbol) {
        if (!everyCard)
            return std::nullopt;
        return makeProblem(12, BatchControl::LayerContentField,
                           formatText("图层#%d 的内容无法生成条码", layer.number),
                           encoded.reason);
    }
    if (codeModuleSize(layer, *encoded.symbol) < kMinCodeModule)
        return makeProblem(12, BatchControl::LayerContentField, codeTooSmallText(layer),
                           "请把图层放大，或减少内容");
    return std::nullopt;
}

std::optional<BatchProblem> checkLayer(const Layer& layer, const PackedStrings& columns,
                                       const FontRegistry& fonts, const std::string& templatePath)
{
    std::optional<BatchProblem> problem;
    if (!layer.hasRect()) {
        problem = makeProblem(11, BatchControl::LayerList,
                              formatText("图层#%d 还没有创建选区", layer.number),
                              "可以创建一个选区或删除这个图层");
    } else if (layer.type == LayerType::Picture && !withinCanvasLimits(layer.width, layer.height)) {
        // The picture is fitted to the whole layer before the card takes its part: beyond
        // the image library's limits it cannot be made at all.
        problem = makeProblem(11, BatchControl::LayerList,
                              formatText("图层#%d 太大（%d x %d 像素）", layer.number, layer.width,
                                         layer.height),
                              formatText("图片图层的宽和高最多 %lld 像素，面积最多 %lld 像素，"
                                         "请缩小图层",
                                         static_cast<long long>(kMaxPictureSide),
                                         static_cast<long long>(kMaxPicturePixels)));
    } else if (!layer.showIfColumn.empty() && !columns.contains(layer.showIfColumn)) {
        // A rule on a column the rows lack would hide or show the layer on every card alike.
        problem = makeProblem(12, BatchControl::LayerShowIfColumn,
                              formatText("图层#%d 的显示条件列 '%s' 不是CSV文件的列", layer.number,
                                         layer.showIfColumn.c_str()),
                              "请选择CSV文件中的列，或选择“(总是显示)”");
    } else if (layer.type == LayerType::Shape) {
        // A shape draws its own fill and outline: no column, no content to read.
    } else if (layer.isFixed) {
        problem = checkFixedContent(layer, columns, templatePath);
    } else if (layer.bind_col_name.empty() || !columns.contains(layer.bind_col_name)) {
        problem = makeProblem(12, BatchControl::LayerColumnSelector,
                              formatText("图层#%d 还没有绑定列名", layer.number), "请绑定一个列名");
    } else if (layer.type == LayerType::Picture && !layer.placeholderPath.empty()) {
        if (auto unreadable = unreadablePicture(layer.placeholderPath, templatePath))
            problem = makeProblem(12, BatchControl::LayerPlaceholderField, "占位图片无法读取",
                                  *unreadable);
    }
    if (!problem && layer.type == LayerType::Code)
        problem = checkCodeValue(layer);
    if (!problem && layer.type == LayerType::Text && !fonts.hasFontName(layer.fontName)) {
        problem = makeProblem(13, BatchControl::LayerFontSelector,
                              formatText("没找到【%s】字体", layer.fontName.c_str()),
                              "请重新选择一个字体");
    }
    if (problem)
        problem->layerNumber = layer.number;
    return problem;
}

// A file-name entry only offers the CSV file's columns, so a name that is not one of them
// counts as the empty entry.
bool isColumnChosen(const std::string& name, const PackedStrings& columns)
{
    return !name.empty() && columns.contains(name);
}

} // namespace

std::optional<BatchProblem> validateBackground(const Template& tpl, const BatchInputs& inputs)
{
    return tpl.background.kind == BackgroundKind::Custom
               ? checkCustomSize(tpl.background)
               : checkPictureBackground(tpl.background, inputs.backgroundPath);
}

std::string csvProblemDetail(const std::string& csvPath)
{
    return formatText("%s: %s（%s）", kCsvBalloonTitle, kCsvBalloonText,
                      splitSheetPath(csvPath).file.c_str());
}

BatchProblem validateBatch(const Template& tpl, const BatchInputs& inputs,
                           const FontRegistry& fonts,
                           std::optional<std::vector<std::string>>* columns)
{
    if (auto background = validateBackground(tpl, inputs))
        return *background;

    if (inputs.csvPath.empty())
        return makeProblem(7, BatchControl::CsvChooseButton, "请选择一个【csv文件】", "请选择...");
    if (!fileExists(splitSheetPath(inputs.csvPath).file)) {
        BatchProblem problem =
            makeProblem(8, BatchControl::CsvPathBox, kCsvBalloonTitle, kCsvBalloonText);
        problem.detail = csvProblemDetail(inputs.csvPath);
        return problem;
    }
    CsvStatus status = CsvStatus::Ok;
    const auto loaded = loadCsvColumns(inputs.csvPath, tpl.is_trim_csv_cell_value, &status);
    if (columns) {
        *columns = std::vector<std::string>();
        if (loaded) {
            try {
                *columns = loaded->toVector();
            } catch (const std::bad_alloc&) {
                // The editor's lists stay empty; the batch itself reads the file afresh.
            }
        }
    }
    if (!loaded) {
        BatchProblem problem =
            makeProblem(9, BatchControl::CsvPathBox, kCsvBalloonTitle,
                        status == CsvStatus::TooLarge      ? "文件太大（超过 2 GB）"
                        : status == CsvStatus::OutOfMemory ? "文件太大，内存不足"
                        : isWorkbookStatus(status) ? csvStatusMessage(inputs.csvPath, status)
                                                   : kCsvBalloonText);
        if (!isWorkbookStatus(status))
            problem.detail = csvProblemDetail(inputs.csvPath);
        return problem;
    }

    if (tpl.layers.empty())
        return makeProblem(10, BatchControl::LayerList, "请至少创建一个【图层】", "点右键创建...");
    for (const Layer& layer : tpl.layers) {
        if (auto problem = checkLayer(layer, *loaded, fonts, tpl.templatePath))
            return *problem;
    }

    const std::string& folder = inputs.outputFolder;
    if (folder.empty())
        return makeProblem(14, BatchControl::OutputFolderButton, kMsgNoOutputFolderTitle,
                           kMsgNoOutputFolderText);
    if (!directoryExists(folder)) {
        std::error_code ec;
        std::filesystem::create_directory(pathFromUtf8(folder), ec);
        // Tested again rather than trusting the result: another process may have made it.
        if (!directoryExists(folder))
            return makeProblem(
                15, BatchControl::OutputFolderMessage, "",
                formatText("【图片保存到】文件夹 '%s' 创建失败, 请重新选择一个文件夹",
                           folder.c_str()));
    }
    // A folder without write permission, on a read-only or full disk would fail every card.
    if (const int error = probeWritableFolder(folder); error != 0)
        return makeProblem(15, BatchControl::OutputFolderMessage, "",
                           formatText("【图片保存到】文件夹 '%s' 无法写入文件（%s）, "
                                      "请重新选择一个文件夹",
                                      folder.c_str(), std::strerror(error)));

    if (!isColumnChosen(tpl.output.file_name_bind_col_name, *loaded) &&
        !isColumnChosen(tpl.output.file_name_bind_col_name2, *loaded))
        return makeProblem(16, BatchControl::FileNameColumn, "请选择文件名绑定的【列名】",
                           "根据绑定的列名生成图片文件名");
    return BatchProblem{};
}

} // namespace torvale
