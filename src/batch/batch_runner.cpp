#include "batch/batch_runner.h"

#include "batch/card_columns.h"
#include "batch/card_record.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "common/paths.h"
#include "common/text.h"
#include "render/card.h"
#include "render/card_encode.h"

#include <condition_variable>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unordered_set>
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
    std::optional<EncodedCard> back;
    std::string name;
    int number = 1; // the n of name(n) in a batch of every row
    std::string folder;
    BufferedLog log;
    std::size_t row = 0; // the data row number
    std::uint64_t summary = 0;
};

// A row to draw: its cells, the card's place among the cards of this batch, and its file
// name as a batch of every row gives it.
struct QueuedRow {
    CardRow row;
    std::size_t sequence = 0;
    std::string name;
    int number = 1;
    std::size_t dataRow = 0;
    std::uint64_t summary = 0;
};

// What the record of the output folder does to a batch: the summary the lines of its cards
// carry, and the selected rows it passes over (made before, or without a problem to redo).
struct RecordPlan {
    std::optional<CardSummary> summary;
    std::unordered_set<std::size_t> passedOver;

    std::uint64_t of(const PackedStrings& cells) const { return summary ? summary->of(cells) : 0; }
};

// Hands out the selected rows that make cards, in file order, to the workers. Every row that
// makes a card is named, selected or not, so that the names are those of a batch of every row.
class RowQueue {
public:
    // Throws std::bad_alloc when the header does not fit in memory.
    RowQueue(const RowSource& source, const BatchOptions& options, const RecordPlan& record)
        : m_record(record), m_rows(source.rows()),
          m_columns(source.columns(), options.tpl, options.backTpl ? &*options.backTpl : nullptr),
          m_filter(options.selection, source.columns()), m_output(options.tpl.output),
          m_extension(cardExtension(options.tpl.output.format))
    {
    }

    // The next selected row with a non-blank cell; false at the end, or when a row does not
    // fit in memory (outOfMemory).
    bool next(QueuedRow& queued)
    {
        try {
            while (m_rows->next(m_row)) {
                if (m_row.skipped || !makesCard(m_row.cells))
                    continue;
                CardRow row = m_columns.row(m_row, m_output);
                // The name takes the row's card number among all the cards of the file.
                std::string name = makeOutputName(row, m_output, ++m_cards);
                const int number = m_numbers.next(name, m_extension);
                if (!m_filter.selects(m_row) || m_record.passedOver.count(m_row.number))
                    continue;
                queued = {std::move(row), ++m_sequence, std::move(name), number};
                queued.dataRow = m_row.number;
                queued.summary = m_record.of(m_row.cells);
                return true;
            }
        } catch (const std::bad_alloc&) {
            m_outOfMemory = true;
        }
        return false;
    }

    bool outOfMemory() const { return m_outOfMemory; }

private:
    const RecordPlan& m_record;
    std::unique_ptr<RowCursor> m_rows;
    CardColumns m_columns;
    RowFilter m_filter;
    const OutputSettings& m_output;
    const std::string m_extension;
    FullRunNumbers m_numbers;
    CsvDataRow m_row;
    std::size_t m_cards = 0;    // rows that make cards so far
    std::size_t m_sequence = 0; // of those, the selected ones
    bool m_outOfMemory = false;
};

// Writes every card into its own file in the output folder, and its line into the record.
class FileSink : public CardSink {
public:
    explicit FileSink(const BatchOptions& options)
    {
        if (options.record)
            m_record.emplace(options.tpl.output.outputFolder);
    }

    void begin(const OutputSettings& output) override
    {
        // Temporary files of a batch killed between writing a card and naming it.
        removeStaleTemporaries(output.outputFolder);
    }

    CardResult put(const FinishedCard& card, LogSink& log, std::atomic<bool>& stop) override
    {
        BeforeNaming recordLine;
        if (m_record) {
            // The line goes first: a batch killed in between leaves a line naming a file that
            // does not exist, which a resumed batch makes, never a card the record lacks.
            recordLine = [&](const std::string& path) {
                m_record->append(card.row, pathToUtf8(pathFromUtf8(path).filename()),
                                 card.problems ? *card.problems : std::vector<std::string>(),
                                 card.summary, log);
            };
        }
        const CardResult result = writeCard(card.card, card.folder, card.name, log, stop, &m_hints,
                                            card.number, recordLine);
        if (result.outcome == CardOutcome::Written)
            m_foldersWritten.insert(card.folder);
        return result;
    }

    void end() override
    {
        // The cards' contents were flushed before they were named; this flushes the names.
        for (const std::string& folder : m_foldersWritten)
            syncFolder(folder);
    }

private:
    FreeNameHints m_hints;
    std::set<std::string> m_foldersWritten;
    std::optional<CardRecordWriter> m_record;
};

// Counts a selected data row of a batch among its cards and logs what the file keeps it from
// making its card (skipped for its cell count, a quote that took the rest of the file). A quote
// that took the rest of the file is told whatever the selection: the rows after it are gone.
void countCard(const CsvDataRow& row, const PackedStrings& columns, bool selected, LogSink& log,
               BatchSummary& summary)
{
    if (!selected && row.unclosedQuoteLine == 0)
        return;
    for (const std::string& note : csvRowNotes(row, columns.size()))
        log.log(note);
    if (row.unclosedQuoteLine > 0)
        summary.unclosedQuote = true;
    if (!selected)
        return;
    if (row.skipped)
        ++summary.skipped;
    else if (makesCard(row.cells))
        ++summary.total;
}

// True when the record shows the card of a row made and still there: its latest line names a
// regular file of the output folder, made with the summary the row has now.
bool madeBefore(const RecordedCard* last, std::uint64_t summary, const std::string& folder)
{
    if (!last || last->summary != summary)
        return false;
    struct stat info {};
    return ::stat((pathFromUtf8(folder) / pathFromUtf8(last->file)).c_str(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

// The card pass of a batch in three parts: the hand-out gives rows, in file order, to the
// workers; the workers draw and encode cards, at most `window` ahead of the writer; the writer
// hands them to the sink strictly in row order, so that files and their "(n)" numbers (or the
// places on a sheet) are those of a one-by-one batch whatever the number of workers.
class CardPipeline {
public:
    CardPipeline(const BatchOptions& options, const RowSource& source, const RecordPlan& record,
                 CardSink& sink, BatchListener& listener, std::atomic<bool>& stop,
                 BatchSummary& summary)
        : m_options(options), m_renderer(options.tpl, options.dpi, *options.fonts, options.csvPath),
          m_rows(source, options, record), m_sink(sink), m_listener(listener), m_stop(stop),
          m_summary(summary), m_jobs(std::max(1u, options.jobs)),
          m_window(2 * static_cast<std::size_t>(m_jobs)), m_workersRunning(m_jobs)
    {
        if (options.backTpl) {
            m_backRenderer = std::make_unique<CardRenderer>(*options.backTpl, options.backDpi,
                                                            *options.fonts, options.csvPath);
        }
    }

    void run()
    {
        m_sink.begin(m_options.tpl.output);
        std::vector<std::thread> threads;
        threads.reserve(m_jobs);
        for (unsigned i = 0; i < m_jobs; ++i)
            threads.emplace_back([this] { work(); });
        writeInOrder();
        finishWriting();
        for (auto& thread : threads)
            thread.join();
        m_sink.end();
    }

    // A row did not fit in memory: the batch ended there.
    bool outOfMemory() const { return m_rows.outOfMemory(); }

private:
    // The next row to draw; false when the workers are to end. Called with the lock held.
    bool handOut(std::unique_lock<std::mutex>& lock, QueuedRow& row)
    {
        m_changed.wait(lock, [&] {
            return m_writerDone || m_stop.load() || m_lastNumber < m_committed + m_window;
        });
        if (m_writerDone || m_stop.load() || m_rowsExhausted) {
            m_rowsExhausted = true;
            return false;
        }
        if (!m_rows.next(row)) {
            m_rowsExhausted = true;
            return false;
        }
        m_lastNumber = row.sequence;
        return true;
    }

    void work()
    {
        // The worker's card buffers, kept from card to card.
        CardBuffers buffers;
        for (;;) {
            QueuedRow queued;
            {
                std::unique_lock lock(m_mutex);
                if (!handOut(lock, queued))
                    break;
            }
            const CardRow& row = queued.row;
            const OutputSettings& output = m_options.tpl.output;
            ComposedRow composed;
            composed.folder = output.outputFolder;
            composed.name = std::move(queued.name);
            composed.number = queued.number;
            composed.row = queued.dataRow;
            composed.summary = queued.summary;
            composed.card =
                m_renderer.compose(row, output, composed.log, m_stop, composed.name, &buffers);
            if (composed.card && m_backRenderer) {
                // A row is one card with its back or nothing.
                composed.back =
                    m_backRenderer->compose(row, m_backRenderer->tpl().output, composed.log, m_stop,
                                            composed.name, &buffers);
                if (!composed.back)
                    composed.card.reset();
            }
            {
                std::lock_guard lock(m_mutex);
                m_ready.emplace(queued.sequence, std::move(composed));
            }
            m_changed.notify_all();
        }
        {
            std::lock_guard lock(m_mutex);
            --m_workersRunning;
        }
        m_changed.notify_all();
    }

    // Card n once it is drawn; nothing when there will be no card n (the rows ran out or the
    // workers stopped).
    std::optional<ComposedRow> waitForCard(std::size_t n)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return m_ready.count(n) != 0 || (m_workersRunning == 0 && m_lastNumber < n);
        });
        const auto it = m_ready.find(n);
        if (it == m_ready.end())
            return std::nullopt;
        std::optional<ComposedRow> composed = std::move(it->second);
        m_ready.erase(it);
        return composed;
    }

    // Writes one drawn card and counts it; false when the batch is to end.
    bool commit(std::size_t n, const ComposedRow& composed)
    {
        m_listener.batchStep(n);
        for (const auto& line : composed.log.lines)
            m_listener.log(line);
        if (!composed.log.lines.empty())
            ++m_summary.withProblems;
        if (!composed.card) {
            // Nothing to write: the card was stopped, or its encoding failed and was logged.
            if (m_stop.load())
                return false;
            ++m_summary.failed;
            return true;
        }
        FinishedCard card{*composed.card, composed.back ? &*composed.back : nullptr,
                          composed.folder, composed.name, composed.number};
        card.row = composed.row;
        card.summary = composed.summary;
        card.problems = &composed.log.lines;
        const CardResult result = m_sink.put(card, m_listener, m_stop);
        switch (result.outcome) {
        case CardOutcome::Written:
            ++m_summary.written;
            if (result.numbered)
                ++m_summary.numbered;
            m_listener.cardWritten(n, result.path);
            return true;
        case CardOutcome::WriteFailed:
            ++m_summary.failed;
            return true;
        case CardOutcome::Stopped:
            break;
        }
        return false;
    }

    void writeInOrder()
    {
        for (std::size_t n = 1;; ++n) {
            // Cards drawn ahead are dropped once a stop is requested: no card after the one
            // being made when the request came is written.
            if (m_stop.load())
                return;
            const std::optional<ComposedRow> composed = waitForCard(n);
            if (!composed)
                return;
            const bool keepGoing = commit(n, *composed);
            {
                std::lock_guard lock(m_mutex);
                m_committed = n;
            }
            m_changed.notify_all();
            if (!keepGoing)
                return;
        }
    }

    void finishWriting()
    {
        {
            std::lock_guard lock(m_mutex);
            m_writerDone = true;
        }
        m_changed.notify_all();
    }

    const BatchOptions& m_options;
    const CardRenderer m_renderer;
    std::unique_ptr<const CardRenderer> m_backRenderer;
    RowQueue m_rows;
    CardSink& m_sink;
    BatchListener& m_listener;
    std::atomic<bool>& m_stop;
    BatchSummary& m_summary;
    const unsigned m_jobs;
    const std::size_t m_window;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_rowsExhausted = false;
    std::size_t m_lastNumber = 0; // last card number handed out
    std::size_t m_committed = 0;  // cards the writer has finished with
    bool m_writerDone = false;
    unsigned m_workersRunning;
    std::map<std::size_t, ComposedRow> m_ready;
};

} // namespace

unsigned defaultJobs()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

BatchSummary runBatch(const BatchOptions& options, BatchListener& listener, std::atomic<bool>& stop)
{
    FileSink files(options);
    return runBatch(options, files, listener, stop);
}

BatchSummary runBatch(const BatchOptions& options, CardSink& sink, BatchListener& listener,
                      std::atomic<bool>& stop)
{
    BatchSummary summary;
    const auto unreadable = [&](CsvStatus status) {
        // The editor's message names no reason; a file that no longer fits in memory needs one.
        if (status != CsvStatus::CannotAccess)
            listener.log(csvStatusMessage(options.csvPath, status));
        listener.csvUnreadable(options.csvPath);
        stop.store(true);
        summary.stopped = true;
        summary.csvUnreadable = true;
        return summary;
    };

    const std::string& folder = options.tpl.output.outputFolder;
    RecordPlan record;
    if (options.record || options.resume || options.redoProblems)
        record.summary.emplace(options.tpl, options.dpi);
    std::optional<CardRecord> made;
    if (options.resume || options.redoProblems) {
        bool exists = false;
        made = readCardRecord(folder, listener, kMaxCardRecordBytes, &exists);
        if (!exists) {
            listener.log(
                formatText(options.redoProblems ? kMsgRecordMissingRedo : kMsgRecordMissing,
                           cardRecordPath(folder).c_str()));
        }
    }
    // A selected row the record passes over is no card of this batch.
    const auto passedOver = [&](const CsvDataRow& row) {
        if (!made || row.skipped || !makesCard(row.cells))
            return false;
        const RecordedCard* last = made->latest(row.number);
        const bool done = options.resume && madeBefore(last, record.of(row.cells), folder);
        const bool noProblem = options.redoProblems && (!last || last->problems.empty());
        if (done)
            ++summary.alreadyMade;
        if (done || noProblem)
            record.passedOver.insert(row.number);
        return done || noProblem;
    };

    // The rows are counted as the file is read; a quote of the header left open took the whole
    // file, so no row comes before its note.
    std::unique_ptr<RowSource> source;
    std::optional<RowFilter> filter; // made with the first row, which brings the columns
    const CsvStatus status =
        openRowSource(options.csvPath, options.tpl.is_trim_csv_cell_value, source,
                      [&](const CsvDataRow& row, const PackedStrings& columns) {
                          if (!filter)
                              filter.emplace(options.selection, columns);
                          const bool selected = filter->selects(row) && !passedOver(row);
                          countCard(row, columns, selected, listener, summary);
                      });
    if (status != CsvStatus::Ok) {
        summary = BatchSummary();
        return unreadable(status);
    }
    // The file may have changed since the selection was checked against it.
    if (const std::string problem =
            checkRowSelection(options.selection, source->columns(), source->rowCount());
        !problem.empty()) {
        listener.log(problem);
        stop.store(true);
        summary = BatchSummary();
        summary.stopped = true;
        return summary;
    }
    if (const std::size_t quoteLine = source->headerUnclosedQuoteLine()) {
        listener.log(formatText(kMsgHeaderUnclosedQuote, quoteLine));
        summary.unclosedQuote = true;
    }
    std::optional<CardPipeline> pipeline;
    try {
        pipeline.emplace(options, *source, record, sink, listener, stop, summary);
    } catch (const std::bad_alloc&) {
        summary = BatchSummary();
        return unreadable(CsvStatus::OutOfMemory);
    }
    listener.batchTotal(summary.total);

    pipeline->run();
    summary.stopped = stop.load();
    if (pipeline->outOfMemory()) {
        listener.log(csvStatusMessage(options.csvPath, CsvStatus::OutOfMemory));
        summary.stopped = true;
    }
    return summary;
}

} // namespace torvale
