#include "batch/card_columns.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "cli/batch_setup.h"
#include "common/paths.h"
#include "common/text.h"
#include "render/card.h"
#include "render/fonts.h"
#include "render/output_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>

namespace torvale::cli {

namespace {

constexpr const char* kCardUsage =
    "Usage: torvale-batch card TEMPLATE.dat --out DIR [--csv FILE] [--row N] [--name COL]\n"
    "                          [--name2 COL]\n"
    "\n"
    "Renders the card of data row N (1-based, default 1; every row under the header counts,\n"
    "as in the messages of check and run) of the template's CSV file, or of FILE, into the\n"
    "folder DIR (created when missing) and prints the path written. An existing file is\n"
    "never replaced: the card gets the next free name, such as Name(2).jpg. A blank row or a\n"
    "row skipped for its number of cells makes no card.\n"
    "\n"
    "  --name COL   the first column whose cells name the card files; --name and --name2\n"
    "               replace both of the template's (needed when the CSV file has neither)\n"
    "  --name2 COL  the second file-name column\n";

int runCardCommand(const ParsedArgs& args)
{
    long rowNumber = 1;
    if (const auto it = args.values.find("--row"); it != args.values.end()) {
        const auto value = parsePositive(it->second);
        if (!value)
            return usageError("--row takes a number from 1", kCardUsage);
        rowNumber = *value;
    }
    const std::string outDir = args.value("--out");
    if (outDir.empty()) {
        // As run and check: an empty folder would mean the current one without a word.
        printError(std::string(kMsgNoOutputFolderTitle) + ": " + kMsgNoOutputFolderText);
        return kExitFailed;
    }
    int exitCode = kExitOk;
    auto prepared = prepareBatch(args, exitCode);
    if (!prepared)
        return exitCode;
    const BatchOptions& batch = prepared->plan.options;
    // Not the whole batch check (a single card may be tried with layers still unbound), but no
    // card on a background that every card would get wrong.
    if (const auto problem = validateBackground(batch.tpl, prepared->plan.inputs)) {
        printError(problemLine(*problem));
        return kExitFailed;
    }

    std::unique_ptr<RowSource> rows;
    if (const CsvStatus status =
            openRowSource(batch.csvPath, batch.tpl.is_trim_csv_cell_value, rows);
        status != CsvStatus::Ok) {
        printError(csvStatusMessage(batch.csvPath, status));
        return kExitFailed;
    }
    std::optional<CsvDataRow> found;
    std::size_t rowCount = 0;
    try {
        rowCount = rows->rowCount();
        if (CsvDataRow row; rows->rowAt(static_cast<std::size_t>(rowNumber), row))
            found = std::move(row);
    } catch (const std::bad_alloc&) {
        printError(csvStatusMessage(batch.csvPath, CsvStatus::OutOfMemory));
        return kExitFailed;
    }
    if (!found) {
        printError(formatText("CSV 文件只有 %zu 行数据，没有第 %ld 行。", rowCount, rowNumber));
        return kExitFailed;
    }
    // A batch makes no card of a skipped row, nor of a blank one.
    const std::vector<std::string> notes = csvRowNotes(*found, rows->columns().size());
    for (const std::string& note : notes)
        printError(note);
    if (found->skipped)
        return kExitFailed;
    if (!makesCard(found->cells)) {
        printError(formatText("第 %ld 行数据是空白的，没有卡片。", rowNumber));
        return kExitFailed;
    }
    std::error_code ec;
    std::filesystem::create_directory(pathFromUtf8(outDir), ec);

    const CardRenderer renderer(batch.tpl, batch.dpi, prepared->fonts(), batch.csvPath);
    StderrLog log;
    std::atomic<bool> stop{false};
    const CardRow row = CardColumns(rows->columns(), batch.tpl).row(*found);
    const CardResult result =
        renderCard(renderer, row, batch.tpl.output, static_cast<std::size_t>(rowNumber), log, stop);
    if (result.outcome != CardOutcome::Written)
        return kExitFailed;
    syncFolder(outDir);
    std::printf("%s\n", result.path.c_str());
    return kExitOk;
}

} // namespace

const CommandSpec kCardCommand = {
    "card",
    "  card TEMPLATE.dat --out DIR [--csv FILE] [--row N]\n"
    "                                render the card of one data row into DIR\n",
    kCardUsage,
    [] {
        auto options = kBatchValueOptions;
        options.insert("--row");
        return options;
    }(),
    {},
    kBatchRequiredOptions,
    kBatchArgumentError,
    runCardCommand,
};

} // namespace torvale::cli
