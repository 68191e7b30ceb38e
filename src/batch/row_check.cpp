#include "batch/row_check.h"

#include "batch/csv_source.h"
#include "common/paths.h"
#include "common/text.h"
#include "render/card.h"
#include "render/glyph_coverage.h"
#include "render/output_file.h"
#include "render/picture_input.h"
#include "render/text_render.h"

#include "common/c_resources.h"

#include <filesystem>
#include <memory>
#include <unordered_map>

namespace torvale {

namespace {

// Texts measured per layer are remembered (departments and titles come back), up to this many.
constexpr std::size_t kMaxRememberedTexts = 50000;
constexpr std::size_t kProgressEvery = 64;

bool pathExists(const std::string& path)
{
    std::error_code error;
    // A dangling link still takes the name.
    return std::filesystem::exists(std::filesystem::symlink_status(pathFromUtf8(path), error));
}

class RowChecker {
public:
    RowChecker(const Template& tpl, const BatchInputs& inputs, const FontRegistry& fonts,
               RowCheckResult& result)
        : m_tpl(tpl), m_inputs(inputs), m_result(result),
          m_csvFolder(inputs.csvPath.empty() ? std::string()
                                             : pathToUtf8(folderOf(inputs.csvPath))),
          m_extension(cardExtension(tpl.output.format))
    {
        m_fitters.reserve(tpl.layers.size());
        for (const Layer& layer : tpl.layers)
            m_fitters.emplace_back(layer.type == LayerType::Text
                                       ? std::make_unique<TextFitter>(layer, fonts)
                                       : nullptr);
    }

    void check(std::size_t rowNumber, std::size_t cardNumber, const CardRow& row)
    {
        m_row = rowNumber;
        for (std::size_t index = 0; index < m_tpl.layers.size(); ++index) {
            const Layer& layer = m_tpl.layers[index];
            const std::string* cell = findCell(row, layer.bind_col_name);
            if (!cell || layer.width <= 0 || layer.height <= 0)
                continue;
            if (layer.type == LayerType::Picture)
                checkPicture(layer, *cell);
            else if (!cell->empty())
                checkText(index, layer, *cell);
        }
        checkFileName(row, cardNumber);
    }

private:
    void add(const std::string& column, RowProblemKind kind, std::string message,
             std::string path = {}, int layerNumber = 0)
    {
        // Messages quote cells and column names, which may hold line breaks and invisible
        // characters: a problem is one line wherever it is shown.
        m_result.problems.push_back({m_row, column, kind, replaceTerminalControls(message, false),
                                     std::move(path), layerNumber});
    }

    void checkPicture(const Layer& layer, const std::string& cell)
    {
        if (isBlankText(cell))
            return;
        const std::string path = resolveCellPicturePath(trimBlank(cell), m_csvFolder);
        const std::string& column = layer.bind_col_name;
        if (!pathExists(path))
            add(column, RowProblemKind::PictureMissing, "图片不存在：" + path, path,
                layer.number);
        else if (!fileExists(path))
            add(column, RowProblemKind::PictureUnreadable, "图片无法读取：" + path, path,
                layer.number);
        else if (!sniffPicture(path))
            add(column, RowProblemKind::NotAPicture, "不是图片：" + path, path, layer.number);
    }

    void checkText(std::size_t index, const Layer& layer, const std::string& cell)
    {
        const std::size_t maxUnits = maxDrawnUnits(layer);
        const std::string text =
            cell.size() > maxUnits ? truncateUtf16Units(cell, maxUnits) : cell;
        std::string key = std::to_string(index);
        key += '\0';
        key += text;
        auto it = m_fits.find(key);
        if (it == m_fits.end()) {
            TextFit fit = m_fitters[index]->fit(text);
            if (m_fits.size() >= kMaxRememberedTexts)
                m_fits.clear();
            it = m_fits.emplace(std::move(key), std::move(fit)).first;
        }
        const TextFit& fit = it->second;
        const std::string& column = layer.bind_col_name;
        if (!fit.missing.empty()) {
            std::string names;
            for (const char32_t cp : fit.missing)
                names += (names.empty() ? "" : " ") + codePointName(cp);
            add(column, RowProblemKind::MissingCharacters, "无法显示的字符：" + names, {},
                layer.number);
        }
        if (layer.autoShrink && fit.atMinimum)
            add(column, RowProblemKind::TextAtMinimum,
                formatText("文字太长，按最小字号绘制仍放不下（图层#%d）", layer.number), {},
                layer.number);
        else if (!layer.autoShrink && fit.wider)
            add(column, RowProblemKind::TextClipped,
                formatText("文字比图层宽，超出的部分不会显示（图层#%d）", layer.number), {},
                layer.number);
        else if (!layer.autoShrink && fit.taller)
            add(column, RowProblemKind::TextClipped,
                formatText("文字的行比图层高，超出的部分不会显示（图层#%d）", layer.number), {},
                layer.number);
    }

    void checkFileName(const CardRow& row, std::size_t cardNumber)
    {
        const OutputSettings& output = m_tpl.output;
        std::string nameColumn;
        for (const std::string* column :
             {&output.file_name_bind_col_name, &output.file_name_bind_col_name2}) {
            if (column->empty())
                continue;
            if (nameColumn.empty())
                nameColumn = *column;
            if (isBlankNameCell(findCell(row, *column)))
                add(*column, RowProblemKind::EmptyFileName,
                    formatText("文件名的这一部分为空，将用列名“%s”代替", column->c_str()));
        }
        if (nameColumn.empty())
            nameColumn = "文件名";
        const std::string name = makeOutputName(row, output, cardNumber);
        const std::string file = name + m_extension;
        const auto [first, added] = m_names.emplace(file, m_row);
        if (!added) {
            add(nameColumn, RowProblemKind::SameFileName,
                formatText("文件名“%s”与第 %zu 行相同，将另存为带编号的名字", file.c_str(),
                           first->second),
                file);
        } else if (pathExists(numberedPath(m_inputs.outputFolder, name, 1, m_extension))) {
            add(nameColumn, RowProblemKind::FileExists,
                formatText("文件夹里已有“%s”，将另存为带编号的名字", file.c_str()), file);
        }
    }

    const Template& m_tpl;
    const BatchInputs& m_inputs;
    RowCheckResult& m_result;
    const std::string m_csvFolder;
    const std::string m_extension;
    std::size_t m_row = 0;
    std::vector<std::unique_ptr<TextFitter>> m_fitters; // per layer; null for pictures
    std::unordered_map<std::string, TextFit> m_fits;
    std::unordered_map<std::string, std::size_t> m_names; // file -> first row giving it
};

} // namespace

RowCheckResult checkRows(const Template& tpl, const BatchInputs& inputs, const FontRegistry& fonts,
                         const std::atomic<bool>* stop, const RowCheckProgress& progress)
{
    RowCheckResult result;
    const std::optional<CsvTable> table = loadCsvFile(inputs.csvPath, tpl.is_trim_csv_cell_value);
    if (!table) {
        result.csvProblem = csvCannotAccessMessage(inputs.csvPath);
        return result;
    }
    RowChecker checker(tpl, inputs, fonts, result);
    const std::size_t total = table->rows.size();
    std::size_t cards = 0;
    for (std::size_t i = 0; i < total; ++i) {
        if (stop && stop->load()) {
            result.stopped = true;
            break;
        }
        if (progress && i % kProgressEvery == 0)
            progress(i, total);
        const std::vector<std::string>& cells = table->rows[i];
        ++result.rows;
        if (!makesCard(cells))
            continue;
        checker.check(i + 1, ++cards, makeCardRow(table->header, cells));
    }
    if (progress && !result.stopped)
        progress(total, total);
    return result;
}

std::string rowCheckSummary(const RowCheckResult& result)
{
    if (result.csvProblem)
        return *result.csvProblem;
    const std::string summary =
        result.problems.empty()
            ? formatText("已检查 %zu 行，没有发现问题。", result.rows)
            : formatText("已检查 %zu 行，发现 %zu 个问题。", result.rows, result.problems.size());
    return result.stopped ? "已停止：" + summary : summary;
}

const char* rowProblemKindName(RowProblemKind kind)
{
    switch (kind) {
    case RowProblemKind::PictureMissing:
        return "picture-missing";
    case RowProblemKind::PictureUnreadable:
        return "picture-unreadable";
    case RowProblemKind::NotAPicture:
        return "not-a-picture";
    case RowProblemKind::EmptyFileName:
        return "empty-file-name";
    case RowProblemKind::SameFileName:
        return "same-file-name";
    case RowProblemKind::FileExists:
        return "file-exists";
    case RowProblemKind::MissingCharacters:
        return "missing-characters";
    case RowProblemKind::TextClipped:
        return "text-clipped";
    case RowProblemKind::TextAtMinimum:
        return "text-at-minimum";
    }
    return "unknown";
}

std::string rowProblemLine(const RowProblem& problem)
{
    return formatText("第 %zu 行，%s：%s", problem.row,
                      replaceTerminalControls(problem.column, false).c_str(),
                      problem.message.c_str());
}

std::string rowProblemJson(const RowProblem& problem)
{
    const JsonPtr object(cJSON_CreateObject());
    if (!object)
        return "{}";
    // Cells may hold anything; JSON needs valid UTF-8.
    cJSON_AddNumberToObject(object.get(), "row", static_cast<double>(problem.row));
    cJSON_AddStringToObject(object.get(), "column", toValidUtf8(problem.column).c_str());
    cJSON_AddStringToObject(object.get(), "kind", rowProblemKindName(problem.kind));
    cJSON_AddStringToObject(object.get(), "message", toValidUtf8(problem.message).c_str());
    if (!problem.path.empty())
        cJSON_AddStringToObject(object.get(), "path", toValidUtf8(problem.path).c_str());
    if (problem.layerNumber > 0)
        cJSON_AddNumberToObject(object.get(), "layer", problem.layerNumber);
    const JsonText text(cJSON_PrintUnformatted(object.get()));
    return text ? std::string(text.get()) : std::string("{}");
}

} // namespace torvale
