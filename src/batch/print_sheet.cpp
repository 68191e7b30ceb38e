#include "batch/print_sheet.h"

#include "common/paths.h"
#include "common/text.h"
#include "render/pdf_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace torvale {

namespace {

constexpr double kBackSizeTolerance = 0.1;

// Places every card in the PDF file; a failure to write the file ends the batch.
class SheetSink : public CardSink {
public:
    explicit SheetSink(PdfSheetWriter& writer) : m_writer(writer) {}

    CardResult put(const FinishedCard& card, LogSink& log, std::atomic<bool>& stop) override
    {
        CardResult result;
        std::string problem;
        if (m_writer.add(card.card, card.back, problem)) {
            result.outcome = CardOutcome::Written;
            return result;
        }
        if (m_writer.error() == 0) {
            log.log(
                formatText("卡片 '%s' 无法放入PDF文件: %s\n", card.name.c_str(), problem.c_str()));
            result.outcome = CardOutcome::WriteFailed;
            return result;
        }
        stop.store(true);
        result.outcome = CardOutcome::Stopped;
        return result;
    }

private:
    PdfSheetWriter& m_writer;
};

} // namespace

BatchProblem validateSheet(const Template& tpl, const BatchInputs& inputs,
                           const FontRegistry& fonts,
                           std::optional<std::vector<std::string>>* columns)
{
    std::optional<std::vector<std::string>> read;
    BatchProblem problem = validateBatch(tpl, inputs, fonts, &read);
    if (columns && read)
        *columns = read;
    if (problem.control == BatchControl::FileNameColumn)
        return BatchProblem{};
    // The batch check says a layer is not bound when the CSV file lacks its column, as the
    // editor's column list shows it. A sheet is often made with another CSV file (--csv): a
    // bound layer is then reported as what it is, a column the file does not have.
    const auto layer = std::find_if(tpl.layers.begin(), tpl.layers.end(), [&](const Layer& l) {
        return l.number == problem.layerNumber;
    });
    if (problem.check != 12 || !read || layer == tpl.layers.end() || layer->bind_col_name.empty() ||
        problem.control != BatchControl::LayerColumnSelector)
        return problem;
    if (read->empty()) {
        problem.title = "CSV文件没有数据";
        problem.text =
            formatText("CSV文件 '%s' 是空的：没有表头，也没有数据行", inputs.csvPath.c_str());
    } else {
        problem.title = formatText("CSV文件没有【%s】列", layer->bind_col_name.c_str());
        problem.text = formatText("图层#%d 绑定的列【%s】不在CSV文件 '%s' 的表头中", layer->number,
                                  layer->bind_col_name.c_str(), inputs.csvPath.c_str());
    }
    return problem;
}

SheetPathProblem checkSheetPath(const std::string& path, std::string& blocker)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    // A device or a pipe would take the name; the PDF file would go beside it as NAME.pdf.
    const fs::file_status file = fs::status(pathFromUtf8(path), ec);
    if (fs::exists(file) && !fs::is_regular_file(file)) {
        blocker = path;
        return SheetPathProblem::NotAFile;
    }
    for (fs::path folder = folderOf(path);; folder = folder.parent_path()) {
        const fs::file_status status = fs::status(folder, ec);
        if (fs::exists(status)) {
            if (fs::is_directory(status))
                return SheetPathProblem::None;
            blocker = pathToUtf8(folder);
            return SheetPathProblem::NotAFolder;
        }
        if (folder.empty() || folder == folder.parent_path())
            return SheetPathProblem::None;
    }
}

std::pair<double, double> cardSizeMm(const Template& tpl, std::int32_t dpi)
{
    return {pixelsToMm(tpl.background.width, dpi), pixelsToMm(tpl.background.height, dpi)};
}

SheetLayoutResult layoutCards(const Template& tpl, std::int32_t dpi, const SheetSettings& settings)
{
    const auto [width, height] = cardSizeMm(tpl, dpi);
    return layoutSheet(width, height, settings);
}

std::string checkBackSize(const Template& front, std::int32_t frontDpi, const Template& back,
                          std::int32_t backDpi)
{
    const auto [frontWidth, frontHeight] = cardSizeMm(front, frontDpi);
    const auto [backWidth, backHeight] = cardSizeMm(back, backDpi);
    if (std::abs(frontWidth - backWidth) <= kBackSizeTolerance &&
        std::abs(frontHeight - backHeight) <= kBackSizeTolerance)
        return "";
    return formatText("背面卡片 %.1f x %.1f mm（%d x %d 像素，%d dpi）与正面卡片 %.1f x %.1f mm"
                      "（%d x %d 像素，%d dpi）大小不同",
                      backWidth, backHeight, back.background.width, back.background.height, backDpi,
                      frontWidth, frontHeight, front.background.width, front.background.height,
                      frontDpi);
}

SheetSummary runSheet(const BatchOptions& options, const SheetLayout& layout,
                      const std::string& pdfPath, BatchListener& listener, std::atomic<bool>& stop)
{
    SheetSummary summary;
    const std::filesystem::path path = pathFromUtf8(pdfPath);
    const std::string folder = pathToUtf8(folderOf(pdfPath));
    const std::string name = pathToUtf8(path.stem());
    const std::string extension = pathToUtf8(path.extension());

    // A temporary file of a sheet that was killed, as for the cards' files.
    removeStaleTemporaries(folder);
    PdfSheetWriter writer(layout, folder, options.backTpl.has_value());
    if (writer.error() != 0) {
        summary.error = formatText("无法在文件夹 '%s' 中创建PDF文件（%s）", folder.c_str(),
                                   std::strerror(writer.error()));
        return summary;
    }
    SheetSink sink(writer);
    summary.batch = runBatch(options, sink, listener, stop);
    if (summary.batch.stopped && writer.error() == 0)
        return summary; // the writer's end removes the unfinished file
    const WrittenFile file = writer.finish(name, extension);
    summary.pages = writer.pages();
    if (file.ok) {
        summary.path = file.path;
    } else if (file.error != 0) {
        summary.error = formatText("写入PDF文件 '%s' 时发生错误: %s", file.path.c_str(),
                                   std::strerror(file.error));
    } else {
        summary.error = "没有可以排版的卡片，未生成PDF文件";
    }
    return summary;
}

} // namespace torvale
