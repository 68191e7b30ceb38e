#include "batch/card_preview.h"

#include "batch/card_columns.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "common/text.h"
#include "render/card.h"
#include "render/log_sink.h"

#include <atomic>
#include <new>
#include <optional>

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
    const bool trim = request.tpl.is_trim_csv_cell_value;
    std::shared_ptr<const RowSource> rows;
    const CsvStatus status = request.rows ? request.rows->open(request.csvPath, trim, rows)
                                          : RowSourceCache().open(request.csvPath, trim, rows);
    if (status != CsvStatus::Ok) {
        result.problem = csvStatusMessage(request.csvPath, status);
        return result;
    }
    std::optional<CsvDataRow> found;
    try {
        result.rowCount = rows->rowCount();
        if (CsvDataRow row; rows->rowAt(request.row, row))
            found = std::move(row);
    } catch (const std::bad_alloc&) {
        result.problem = csvStatusMessage(request.csvPath, CsvStatus::OutOfMemory);
        return result;
    }
    if (!found || !request.fonts) {
        result.problem = formatText("没有第 %zu 行数据", request.row);
        return result;
    }
    const std::vector<std::string> notes = csvRowNotes(*found, rows->columns().size());
    // A skipped row is shown as the batch treats it: without a card.
    if (found->skipped) {
        result.problem = notes.back();
        return result;
    }
    result.log = notes;
    const CardRenderer renderer(request.tpl, request.dpi, *request.fonts, request.csvPath);
    CollectingLog log(result.log);
    const std::atomic<bool> runsOut{false};
    const std::atomic<bool>& stop = request.stop ? *request.stop : runsOut;
    const CardRow row = CardColumns(rows->columns(), request.tpl).row(*found);
    result.card = renderer.draw(row, request.tpl.output, log, stop,
                                makeOutputName(row, request.tpl.output, request.row));
    if (stop.load()) {
        result.card = {};
        return result;
    }
    if (result.card.empty())
        result.problem = "无法绘制卡片";
    return result;
}

} // namespace torvale
