#include "batch/card_preview.h"

#include "batch/csv_source.h"
#include "common/text.h"
#include "render/card.h"
#include "render/log_sink.h"

#include <atomic>

namespace torvale {

namespace {

class CollectingLog : public LogSink {
public:
    explicit CollectingLog(std::vector<std::string>& lines) : m_lines(lines) {}
    void log(const std::string& message) override { m_lines.push_back(message); }

private:
    std::vector<std::string>& m_lines;
};

} // namespace

PreviewResult renderPreview(const PreviewRequest& request)
{
    PreviewResult result;
    const std::optional<CsvTable> table =
        loadCsvFile(request.csvPath, request.tpl.is_trim_csv_cell_value);
    if (!table) {
        result.problem = csvCannotAccessMessage(request.csvPath);
        return result;
    }
    result.rowCount = table->rows.size();
    if (request.row < 1 || request.row > table->rows.size() || !request.fonts) {
        result.problem = formatText("没有第 %zu 行数据", request.row);
        return result;
    }
    const CardRenderer renderer(request.tpl, request.dpi, *request.fonts, request.csvPath);
    CollectingLog log(result.log);
    const std::atomic<bool> runsOut{false};
    const std::atomic<bool>& stop = request.stop ? *request.stop : runsOut;
    const CardRow row = makeCardRow(table->header, table->rows[request.row - 1]);
    const MagickWandPtr card = renderer.draw(row, request.tpl.output, log, stop,
                                             makeOutputName(row, request.tpl.output, request.row));
    if (stop.load())
        return result;
    result.card = exportRgba(card.get());
    if (result.card.empty())
        result.problem = "无法绘制卡片";
    return result;
}

} // namespace torvale
