#include "batch/batch_runner.h"

#include "batch/csv_source.h"
#include "common/text.h"
#include "render/card.h"

#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace torvale {

namespace {

// Log lines of one card, kept until the card is committed so the log reads in row order
// whatever order the workers finish in.
class BufferedLog : public LogSink {
public:
    void log(const std::string& message) override { lines.push_back(message); }
    std::vector<std::string> lines;
};

struct ComposedRow {
    std::optional<EncodedCard> card;
    std::string name;
    std::string folder;
    BufferedLog log;
};

// Temporary card files older than this when a batch starts were left by a batch that was killed.
constexpr std::time_t kStaleTemporarySeconds = 10 * 60;

bool hasNonBlankCell(const std::vector<std::string>& cells)
{
    for (const auto& cell : cells) {
        if (!isBlankText(cell))
            return true;
    }
    return false;
}

// Hands out the rows that make cards, in file order, to the workers.
class RowQueue {
public:
    RowQueue(std::string_view text, const CsvFormat& format) : m_reader(text, format)
    {
        std::size_t line = 0;
        m_reader.next(m_header, line);
    }

    // The next row with a non-blank cell and its card number; false at the end.
    bool next(CardRow& row, std::size_t& number)
    {
        std::vector<std::string> cells;
        std::size_t line = 0;
        while (m_reader.next(cells, line)) {
            if (cells.size() != m_header.size() || !hasNonBlankCell(cells))
                continue;
            row = makeCardRow(m_header, cells);
            number = ++m_count;
            return true;
        }
        return false;
    }

private:
    CsvReader m_reader;
    std::vector<std::string> m_header;
    std::size_t m_count = 0;
};

// Counts the cards of a batch and logs every row dropped for its cell count.
std::size_t countCards(std::string_view text, const CsvFormat& format, LogSink& log)
{
    CsvReader reader(text, format);
    std::vector<std::string> header;
    std::vector<std::string> cells;
    std::size_t line = 0;
    if (!reader.next(header, line))
        return 0;
    std::size_t count = 0;
    while (reader.next(cells, line)) {
        if (cells.size() != header.size())
            log.log(formatText(kMsgRowDropped, line, cells.size(), header.size()));
        else if (hasNonBlankCell(cells))
            ++count;
    }
    return count;
}

} // namespace

unsigned defaultJobs()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

BatchSummary runBatch(const BatchOptions& options, BatchListener& listener, std::atomic<bool>& stop)
{
    BatchSummary summary;

    std::string text;
    {
        auto bytes = readCsvFileBytes(options.csvPath);
        if (!bytes) {
            listener.csvUnreadable(options.csvPath);
            stop.store(true);
            summary.stopped = true;
            summary.csvUnreadable = true;
            return summary;
        }
        text = decodeCsvText(std::move(*bytes));
    }
    const CsvFormat format = csvFormatFor(options.tpl.is_trim_csv_cell_value);
    summary.total = countCards(text, format, listener);
    listener.batchTotal(summary.total);

    const CardRenderer renderer(options.tpl, options.dpi, *options.fonts, options.csvPath);
    const auto outputFor = [&options]() {
        return options.outputSettings ? options.outputSettings() : options.tpl.output;
    };
    // Temporary files of a batch killed between writing a card and naming it. Only those
    // changed well before this batch began: another batch writing into the same folder right
    // now has its own temporary files for a moment only.
    removeStaleTemporaries(outputFor().outputFolder, std::time(nullptr) - kStaleTemporarySeconds);
    FreeNameHints nameHints;
    std::set<std::string> foldersWritten;

    // Workers draw cards ahead of the writer, at most `window` of them; the writer names and
    // writes them strictly in row order so that "(n)" numbering matches a one-by-one batch.
    const unsigned jobs = std::max(1u, options.jobs);
    const std::size_t window = 2 * static_cast<std::size_t>(jobs);
    std::mutex mutex;
    std::condition_variable changed;
    RowQueue rows(text, format);
    bool rowsExhausted = false;
    std::size_t lastNumber = 0; // last card number handed out
    std::size_t committed = 0;  // cards the writer has finished with
    bool writerDone = false;
    unsigned workersRunning = jobs;
    std::map<std::size_t, ComposedRow> ready;

    const auto worker = [&]() {
        for (;;) {
            CardRow row;
            std::size_t number = 0;
            OutputSettings output;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return writerDone || stop.load() || lastNumber < committed + window;
                });
                if (writerDone || stop.load() || rowsExhausted || !rows.next(row, number)) {
                    rowsExhausted = true;
                    break;
                }
                lastNumber = number;
                output = outputFor();
            }
            ComposedRow composed;
            composed.card = renderer.compose(row, output, composed.log, stop);
            composed.folder = output.outputFolder;
            composed.name = makeOutputName(row, output, number);
            {
                std::lock_guard lock(mutex);
                ready.emplace(number, std::move(composed));
            }
            changed.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            --workersRunning;
        }
        changed.notify_all();
    };

    std::vector<std::thread> threads;
    threads.reserve(jobs);
    for (unsigned i = 0; i < jobs; ++i)
        threads.emplace_back(worker);

    for (std::size_t n = 1;; ++n) {
        // Cards drawn ahead are dropped once a stop is requested: no card after the one being
        // made when the request came is written.
        if (stop.load())
            break;
        std::optional<ComposedRow> composed;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] {
                return ready.count(n) != 0 || (workersRunning == 0 && lastNumber < n);
            });
            const auto it = ready.find(n);
            if (it == ready.end())
                break; // no card n: the rows ran out or the workers stopped
            composed = std::move(it->second);
            ready.erase(it);
        }
        listener.batchStep(n);
        for (const auto& line : composed->log.lines)
            listener.log(line);
        bool keepGoing = true;
        if (!composed->card) {
            // Nothing to write: the card was stopped, or its encoding failed and was logged.
            if (stop.load())
                keepGoing = false;
            else
                ++summary.failed;
        } else {
            const CardResult result = writeCard(*composed->card, composed->folder, composed->name,
                                                listener, stop, &nameHints);
            if (result.outcome == CardOutcome::Written) {
                foldersWritten.insert(composed->folder);
                ++summary.written;
                listener.cardWritten(n, result.path);
            } else if (result.outcome == CardOutcome::WriteFailed) {
                ++summary.failed;
            } else {
                keepGoing = false;
            }
        }
        {
            std::lock_guard lock(mutex);
            committed = n;
            if (!keepGoing)
                writerDone = true;
        }
        changed.notify_all();
        if (!keepGoing)
            break;
    }
    {
        std::lock_guard lock(mutex);
        writerDone = true;
    }
    changed.notify_all();
    for (auto& thread : threads)
        thread.join();
    // The cards' contents were flushed before they were named; this flushes the names.
    for (const std::string& folder : foldersWritten)
        syncFolder(folder);

    summary.stopped = stop.load();
    return summary;
}

} // namespace torvale
