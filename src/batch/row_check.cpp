#include "batch/row_check.h"

#include "batch/card_columns.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "common/paths.h"
#include "common/text.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/code_render.h"
#include "render/glyph_coverage.h"
#include "render/output_file.h"
#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/text_render.h"

#include "common/c_resources.h"

#include <filesystem>
#include <memory>
#include <new>
#include <optional>
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
          m_csvFolder(inputs.csvPath.empty()
                          ? std::string()
                          : pathToUtf8(folderOf(splitSheetPath(inputs.csvPath).file))),
          m_extension(cardExtension(tpl.output.format))
    {
        m_fitters.reserve(tpl.layers.size());
        for (const Layer& layer : tpl.layers) {
            m_fitters.emplace_back(layer.type == LayerType::Text
                                       ? std::make_unique<TextFitter>(layer, fonts)
                                       : nullptr);
            m_pictureFolders.push_back(
                layer.pictureFolder.empty()
                    ? std::string()
                    : resolveTemplatePath(layer.pictureFolder, tpl.templatePath));
        }
    }

    // The problems the file itself gives a row; true when the batch draws the row at all.
    bool checkStructure(const CsvDataRow& row, std::size_t headerCells)
    {
        m_row = row.number;
        m_line = row.line;
        if (row.unclosedQuoteLine > 0)
            add({}, RowProblemKind::UnclosedQuote, unclosedQuoteText(row.unclosedQuoteLine));
        if (row.skipped)
            add({}, RowProblemKind::RowSkipped,
                formatText("有 %zu 个单元格，与表头的 %zu 个不同，这一行会被跳过", row.cells.size(),
                           headerCells));
        return !row.skipped;
    }

    void checkHeader(std::size_t line, std::size_t quoteLine)
    {
        m_row = 0;
        m_line = line;
        add({}, RowProblemKind::UnclosedQuote, unclosedQuoteText(quoteLine));
    }

    void check(std::size_t cardNumber, const CardRow& row)
    {
        std::string filled;
        for (std::size_t index = 0; index < m_tpl.layers.size(); ++index) {
            const Layer& layer = m_tpl.layers[index];
            // A layer the row hides is not on its card: nothing of it can be wrong there.
            if (!layerShown(layer, row))
                continue;
            // A fixed picture is the same on every card: the batch check has read it.
            const std::string* cell = layerCell(layer, row, filled);
            if (!cell || layer.width <= 0 || layer.height <= 0)
                continue;
            if (layer.type == LayerType::Picture)
                checkPicture(index, layer, *cell);
            else if (cell->empty())
                continue;
            else if (layer.type == LayerType::Code)
                checkCode(layer, *cell);
            else
                checkText(index, layer, *cell);
        }
        checkFileName(row, cardNumber);
    }

    // A card of a row that is not checked still takes its file name from the later ones.
    void noteFileName(const CardRow& row, std::size_t cardNumber, std::size_t rowNumber)
    {
        m_names.emplace(makeOutputName(row, m_tpl.output, cardNumber) + m_extension, rowNumber);
    }

private:
    void add(const std::string& column, RowProblemKind kind, std::string message,
             std::string path = {}, int layerNumber = 0)
    {
        if (m_result.problems.size() >= kMaxListedRowProblems) {
            ++m_result.unlisted;
            return;
        }
        // Messages quote cells and column names, which may hold line breaks and invisible
        // characters: a problem is one line wherever it is shown.
        m_result.problems.push_back({m_row, m_line, column, kind,
                                     replaceTerminalControls(message, false), std::move(path),
                                     layerNumber});
    }

    static std::string unclosedQuoteText(std::size_t quoteLine)
    {
        return formatText("引号没有闭合，文件第 %zu 行到末尾的内容都读进了这一行", quoteLine);
    }

    void checkPicture(std::size_t index, const Layer& layer, const std::string& cell)
    {
        if (isBlankText(cell))
            return;
        const std::string& column = layer.bind_col_name;
        // The card shows the placeholder instead; it is still a card with a problem.
        const std::string instead = layer.placeholderPath.empty() ? "" : "（将使用占位图片）";
        std::string path;
        if (const std::string& folder = m_pictureFolders[index]; !folder.empty()) {
            const std::string name = trimBlank(cell);
            const FolderPicture found = findFolderPicture(folder, name);
            if (found.path.empty()) {
                add(column, RowProblemKind::PictureMissing,
                    "图片不存在：" + folderPictureProblem(folder, name, found) + instead, folder,
                    layer.number);
                return;
            }
            path = found.path;
        } else {
            path = resolveCellPicturePath(trimBlank(cell), m_csvFolder);
        }
        const auto problem = [&](RowProblemKind kind, const std::string& message) {
            add(column, kind, message + instead, path, layer.number);
        };
        if (!pathExists(path))
            problem(RowProblemKind::PictureMissing, "图片不存在：" + path);
        else if (!fileExists(path))
            problem(RowProblemKind::PictureUnreadable, "图片无法读取：" + path);
        else if (const auto info = sniffPicture(path); !info)
            problem(RowProblemKind::NotAPicture, "不是图片：" + path);
        else if (!info->complete)
            add(column, RowProblemKind::PictureIncomplete, "图片已损坏：" + path, path,
                layer.number);
        else if (!fitsDecodeLimits(layer, *info))
            problem(RowProblemKind::PictureTooLarge,
                    formatText("图片太大（%lld x %lld 像素），无法读取：%s",
                               static_cast<long long>(info->fullWidth),
                               static_cast<long long>(info->fullHeight), path.c_str()));
        else if (const Decoded decoded = decode(path, layer); decoded == Decoded::Failed)
            problem(RowProblemKind::PictureUnreadable, "图片无法读取：" + path);
        else if (decoded == Decoded::Damaged)
            add(column, RowProblemKind::PictureIncomplete, "图片已损坏：" + path, path,
                layer.number);
    }

    // What decoding a picture as the batch does finds; a picture that comes back (a logo, a
    // placeholder-like default photo) is decoded once.
    enum class Decoded { Whole, Damaged, Failed };
    Decoded decode(const std::string& path, const Layer& layer)
    {
        std::string key = path;
        key += '\0';
        key += overflowStyleAllowsReducedDecode(layer.overflow_style)
                   ? std::to_string(layer.width) + "x" + std::to_string(layer.height)
                   : std::string();
        if (const auto it = m_decoded.find(key); it != m_decoded.end())
            return it->second;
        const DecodedPicture picture = readLayerPicture(path, layer);
        const Decoded result = !picture         ? Decoded::Failed
                               : picture.damaged ? Decoded::Damaged
                                                 : Decoded::Whole;
        if (m_decoded.size() >= kMaxRememberedTexts)
            m_decoded.clear();
        m_decoded.emplace(std::move(key), result);
        return result;
    }

    // As the batch reads the picture: at a reduced scale when the layer allows it.
    static bool fitsDecodeLimits(const Layer& layer, const PictureInfo& info)
    {
        const auto [width, height] =
            overflowStyleAllowsReducedDecode(layer.overflow_style)
                ? decodedPictureSize(info, static_cast<std::size_t>(layer.width),
                                     static_cast<std::size_t>(layer.height))
                : decodedPictureSize(info);
        return withinDecodeLimits(width, height);
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
        // A fixed text has no column of its own: its problems are named by the layer.
        const std::string column =
            layer.isFixed ? formatText("图层#%d", layer.number) : layer.bind_col_name;
        if (!fit.missing.empty()) {
            std::string names;
            for (const char32_t cp : fit.missing)
                names += (names.empty() ? "" : " ") + codePointName(cp);
            add(column, RowProblemKind::MissingCharacters, "无法显示的字符：" + names, {},
                layer.number);
        }
        const double printed = printedPoints(fit.pixelSize, m_tpl.background.dpi);
        if (layer.autoShrink && fit.atMinimum)
            add(column, RowProblemKind::TextAtMinimum,
                formatText("文字太长，按最小字号绘制仍放不下（图层#%d）", layer.number), {},
                layer.number);
        else if (layer.autoShrink && fit.measured && printed > 0 && printed < kMinReadablePoints &&
                 fit.pixelSize < textPixelSize(layer.fontSize))
            add(column, RowProblemKind::TextTiny,
                formatText("打印后字高约 %.1f 磅，太小可能看不清（图层#%d）", printed,
                           layer.number),
                {}, layer.number);
        else if (!layer.autoShrink && fit.wider)
            add(column, RowProblemKind::TextClipped,
                formatText("文字比图层宽，超出的部分不会显示（图层#%d）", layer.number), {},
                layer.number);
        else if (!layer.autoShrink && fit.taller)
            add(column, RowProblemKind::TextClipped,
                formatText("文字的行比图层高，超出的部分不会显示（图层#%d）", layer.number), {},
                layer.number);
    }

    void checkCode(const Layer& layer, const std::string& value)
    {
        const std::string column =
            layer.isFixed ? formatText("图层#%d", layer.number) : layer.bind_col_name;
        const CodeEncoding encoded = encodeCode(layer, value);
        if (!encoded.symbol)
            add(column, RowProblemKind::CodeInvalid, codeInvalidText(layer, value, encoded.reason),
                {}, layer.number);
        else if (codeModuleSize(layer, *encoded.symbol) < kMinCodeModule)
            add(column, RowProblemKind::CodeTooSmall, codeTooSmallText(layer), {}, layer.number);
        else if (encoded.symbol->verifiable && !symbolOnCard(layer, *encoded.symbol))
            add(column, RowProblemKind::CodeUnreadable, codeUnreadableText(layer), {},
                layer.number);
    }

    // Whether every module of a code lies on the card (its quiet zone may leave it).
    bool symbolOnCard(const Layer& layer, const CodeSymbol& symbol) const
    {
        const PixelRect area = codeSymbolRect(layer, symbol);
        const BackgroundLayer& card = m_tpl.background;
        return area.left >= 0 && area.top >= 0 && area.right <= card.width &&
               area.bottom <= card.height;
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
    std::size_t m_line = 0;
    std::vector<std::unique_ptr<TextFitter>> m_fitters; // per layer; null for pictures
    std::vector<std::string> m_pictureFolders;          // per layer, resolved; "" for none
    std::unordered_map<std::string, TextFit> m_fits;
    std::unordered_map<std::string, Decoded> m_decoded; // by path and decoded size
    std::unordered_map<std::string, std::size_t> m_names; // file -> first row giving it
};

} // namespace

RowCheckResult checkRows(const Template& tpl, const BatchInputs& inputs, const FontRegistry& fonts,
                         const std::atomic<bool>* stop, const RowCheckProgress& progress,
                         const RowSelection& selection)
{
    RowCheckResult result;
    std::unique_ptr<RowSource> source;
    if (const CsvStatus status = openRowSource(inputs.csvPath, tpl.is_trim_csv_cell_value, source);
        status != CsvStatus::Ok) {
        result.csvProblem = csvStatusMessage(inputs.csvPath, status);
        return result;
    }
    try {
        // Counting a CSV file's rows reads it through once more: only for the progress.
        const std::size_t total = progress ? source->rowCount() : 0;
        const PackedStrings& header = source->columns();
        const CardColumns columns(header, tpl);
        const RowFilter filter(selection, header);
        RowChecker checker(tpl, inputs, fonts, result);
        if (const std::size_t quoteLine = source->headerUnclosedQuoteLine())
            checker.checkHeader(source->headerLine(), quoteLine);
        const auto rows = source->rows();
        CsvDataRow row;
        std::size_t cards = 0;
        for (std::size_t walked = 0; rows->next(row); ++walked) {
            if (stop && stop->load()) {
                result.stopped = true;
                break;
            }
            if (progress && walked % kProgressEvery == 0)
                progress(walked, total);
            if (!filter.selects(row)) {
                if (!row.skipped && makesCard(row.cells))
                    checker.noteFileName(columns.row(row), ++cards, row.number);
                continue;
            }
            ++result.rows;
            if (checker.checkStructure(row, header.size()) && makesCard(row.cells))
                checker.check(++cards, columns.row(row));
        }
        if (progress && !result.stopped)
            progress(total, total);
    } catch (const std::bad_alloc&) {
        result.csvProblem = csvStatusMessage(inputs.csvPath, CsvStatus::OutOfMemory);
    }
    return result;
}

std::string rowCheckSummary(const RowCheckResult& result)
{
    if (result.csvProblem)
        return *result.csvProblem;
    const std::string summary =
        result.problems.empty()
            ? formatText("已检查 %zu 行，没有发现问题。", result.rows)
            : formatText("已检查 %zu 行，发现 %zu 个问题。", result.rows,
                         result.problems.size() + result.unlisted) +
                  (result.unlisted > 0 ? formatText("只列出了前 %zu 个。", result.problems.size())
                                       : std::string());
    return result.stopped ? "已停止：" + summary : summary;
}

const char* rowProblemKindName(RowProblemKind kind)
{
    switch (kind) {
    case RowProblemKind::RowSkipped:
        return "row-skipped";
    case RowProblemKind::UnclosedQuote:
        return "unclosed-quote";
    case RowProblemKind::PictureTooLarge:
        return "picture-too-large";
    case RowProblemKind::PictureIncomplete:
        return "picture-damaged";
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
    case RowProblemKind::TextTiny:
        return "text-tiny";
    case RowProblemKind::CodeInvalid:
        return "code-invalid";
    case RowProblemKind::CodeTooSmall:
        return "code-too-small";
    case RowProblemKind::CodeUnreadable:
        return "code-unreadable";
    }
    return "unknown";
}

std::string rowProblemLine(const RowProblem& problem)
{
    if (problem.column.empty()) {
        return problem.row == 0
                   ? formatText("表头（文件第 %zu 行）：%s", problem.line, problem.message.c_str())
                   : formatText("第 %zu 行（文件第 %zu 行）：%s", problem.row, problem.line,
                                problem.message.c_str());
    }
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
    cJSON_AddNumberToObject(object.get(), "line", static_cast<double>(problem.line));
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
