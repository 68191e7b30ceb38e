#pragma once

#include "batch/row_selection.h"
#include "model/template.h"
#include "render/card.h"
#include "render/fonts.h"
#include "render/log_sink.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

inline constexpr const char* kMsgBatchCsvUnreadable = "csv文件无法访问";

/// Receives the progress of a batch. Calls come from the thread that runs the batch.
class BatchListener : public LogSink {
public:
    /// The number of cards the batch will make (rows with a non-blank cell).
    virtual void batchTotal(std::size_t total) = 0;
    /// Card n (1-based) is being made; n - 1 cards are done.
    virtual void batchStep(std::size_t n) = 0;
    /// Card n was written to path (empty when the card went into a file still being made).
    virtual void cardWritten(std::size_t /*n*/, const std::string& /*path*/) {}
    /// The CSV file could not be read ("csv文件无法访问"); the batch ends as stopped.
    virtual void csvUnreadable(const std::string& /*path*/) {}
};

/// Everything a batch needs; the template is a snapshot with its background picture loaded.
struct BatchOptions {
    Template tpl;
    std::int32_t dpi = 72;
    std::string csvPath;
    /// The font tables the cards are drawn with; the batch keeps them alive while it runs.
    std::shared_ptr<const FontRegistry> fonts;
    /// Cards drawn at the same time; 1 draws them one after the other.
    unsigned jobs = 1;
    /// A second template drawn for every row after the first (the back of a print sheet), at
    /// backDpi, with its own output settings; its cards reach the sink beside the first's.
    std::optional<Template> backTpl;
    std::int32_t backDpi = 72;
    /// The rows to make cards of (every row by default); each card keeps the file name (and the
    /// "(n)" of equal names) that a batch of every row into an empty folder gives it.
    RowSelection selection;
    /// A batch writing card files appends a line per card to the record of the output folder
    /// (kCardRecordFileName).
    bool record = true;
    /// Passes over the selected rows whose latest line in the record names a file that still
    /// exists, made from the same template and cells as the row has now (the same summary).
    bool resume = false;
    /// Makes only the selected rows whose latest line in the record names a problem.
    bool redoProblems = false;
};

/// One row's card, ready to be stored.
struct FinishedCard {
    const EncodedCard& card;
    const EncodedCard* back;   // the back template's card of the row; null without a back
    const std::string& folder; // the output folder and file name the row's settings give
    const std::string& name;
    int number; // the n of name(n) the card gets in a batch of every row into an empty folder
    std::size_t row = 0;       // the data row number
    std::uint64_t summary = 0; // CardSummary of the row (0 when the batch keeps no record)
    const std::vector<std::string>* problems = nullptr; // what the card logged
};

/// Where the cards of a batch go. Called from the thread that runs the batch, one card at a
/// time, in row order.
class CardSink {
public:
    virtual ~CardSink() = default;
    /// Before the first card is drawn, with the template's output settings.
    virtual void begin(const OutputSettings& /*output*/) {}
    /// Stores the next card. Written, WriteFailed (logged; the batch goes on) or Stopped (the
    /// sink set the stop flag, or found it set; the batch ends).
    virtual CardResult put(const FinishedCard& card, LogSink& log, std::atomic<bool>& stop) = 0;
    /// After the last card, also when the batch stopped early.
    virtual void end() {}
};

struct BatchSummary {
    std::size_t total = 0;        // cards the batch was to make
    std::size_t written = 0;      // cards written
    std::size_t failed = 0;       // cards whose file could not be written
    std::size_t withProblems = 0; // cards that logged a problem (a missing photo, say)
    std::size_t numbered = 0;     // cards that took a later "(n)", a file of their name existing
    std::size_t skipped = 0;      // data rows skipped for their number of cells (each logged)
    bool unclosedQuote = false;   // a quote never closed took the rest of the file into a row
    bool stopped = false;         // ended early (stop request, PNG-8 failure, unreadable CSV)
    bool csvUnreadable = false;
    std::size_t alreadyMade = 0; // selected rows passed over: the record shows their card made

    /// What --strict fails on: a card logged a problem, or the CSV file lost rows.
    bool hadProblems() const { return withProblems > 0 || skipped > 0 || unclosedQuote; }
};

/// Number of worker threads to use by default: the machine's cores.
unsigned defaultJobs();

/// Reads the CSV file afresh and makes one card per selected row with a non-blank cell, in row
/// order, after logging the selected rows that make no card for the file's sake (csvRowNotes);
/// a selection that does not fit the file (checkRowSelection) is logged and makes nothing;
/// with jobs > 1 several cards are drawn at once, but files are named and written in row
/// order, so the files are exactly those of a one-by-one batch. stop is checked before every
/// card; the batch ends within one card per worker once it is set. The caller clears it before
/// the batch starts, so a stop requested while the worker is starting is not lost. With
/// options.record each card's line goes to the record just before the card takes its name, so
/// that a record never lacks a card that exists (a killed batch may leave a line naming a file
/// that does not).
BatchSummary runBatch(const BatchOptions& options, BatchListener& listener,
                      std::atomic<bool>& stop);

/// runBatch with the cards going to sink instead of files in the output folder.
BatchSummary runBatch(const BatchOptions& options, CardSink& sink, BatchListener& listener,
                      std::atomic<bool>& stop);

} // namespace torvale
