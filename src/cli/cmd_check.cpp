#include "batch/batch_validation.h"
#include "batch/row_check.h"
#include "cli/batch_setup.h"
#include "cli/stop_signals.h"
#include "common/c_resources.h"
#include "common/text.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace torvale::cli {

namespace {

constexpr const char* kCheckUsage =
    "Usage: torvale-batch check TEMPLATE.dat --out DIR [--csv FILE] [--name COL] [--name2 COL]\n"
    "                           [--rows [LIST] [--json]] [--where COL=VALUE] [--part K/N]\n"
    "\n"
    "Checks the template as the editor does before a batch, with the template's CSV file or\n"
    "FILE and the output folder DIR (created when missing and its parent exists). Prints \"ok\"\n"
    "and exits with 0 when a batch may start, else prints the first problem and exits with 1.\n"
    "\n"
    "  --rows  then walks every data row as the batch would draw it, without drawing, and\n"
    "          lists each problem as \"第 N 行，COLUMN：PROBLEM\": pictures that are missing,\n"
    "          unreadable, damaged (each decoded once, as the batch decodes it) or not\n"
    "          pictures, blank file-name cells, file names that are taken (by another row or\n"
    "          a file in DIR), characters no installed font can draw, texts that do not fit\n"
    "          their layer, values a code cannot hold and codes that run off the card; then a\n"
    "          summary on standard error. Exits with 1 when there is any problem.\n"
    "          With LIST (e.g. 3-7,12; it must start with a digit), --where or --part only\n"
    "          the rows 'run' would make with them are checked; file names still count the\n"
    "          other rows, as the run names its cards\n"
    "  --where COL=VALUE, --part K/N  as for 'run'; they check the rows they choose\n"
    "  --json  with --rows: one JSON object per problem and line (row, column, kind, message,\n"
    "          path, layer) instead of the lines; a failed template check is one object\n"
    "          too, of kind \"template\" (a CSV file that cannot be read: \"csv\")\n"
    "  --name COL  the first column whose cells name the card files; --name and --name2\n"
    "              replace both of the template's (needed when the CSV file has neither)\n"
    "  --name2 COL the second file-name column\n";

// A problem outside the rows (the template, the CSV file) as one JSON object on one line, so
// that in JSON mode every line of standard output is JSON.
std::string problemJson(const char* kind, const std::string& message, int layerNumber = 0)
{
    const JsonPtr object(cJSON_CreateObject());
    if (!object)
        return "{}";
    cJSON_AddStringToObject(object.get(), "kind", kind);
    cJSON_AddStringToObject(object.get(), "message",
                            replaceTerminalControls(toValidUtf8(message)).c_str());
    if (layerNumber > 0)
        cJSON_AddNumberToObject(object.get(), "layer", layerNumber);
    const JsonText text(cJSON_PrintUnformatted(object.get()));
    return text ? std::string(text.get()) : std::string("{}");
}

int checkEveryRow(const PreparedBatch& prepared, bool json)
{
    const BatchOptions& options = prepared.plan.options;
    std::atomic<bool> stop{false};
    catchStopSignals(stop);
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const RowCheckResult result = checkRows(
        options.tpl, prepared.plan.inputs, prepared.fonts(), &stop,
        [terminal](std::size_t done, std::size_t total) {
            if (terminal)
                std::fprintf(stderr, "\r正在检查 %zu/%zu...\033[K", done, total);
        },
        options.selection);
    releaseStopSignals();
    if (terminal)
        std::fputs("\r\033[K", stderr);
    if (result.csvProblem) {
        if (json)
            writeStdout(problemJson("csv", *result.csvProblem) + "\n");
        printError(*result.csvProblem);
        return kExitFailed;
    }
    std::string out;
    for (const RowProblem& problem : result.problems)
        out += (json ? rowProblemJson(problem) : replaceTerminalControls(rowProblemLine(problem))) +
               "\n";
    writeStdout(out);
    printError(rowCheckSummary(result));
    return result.stopped || !result.problems.empty() ? kExitFailed : kExitOk;
}

int runCheckCommand(const ParsedArgs& args)
{
    auto selection = rowSelectionOption(args);
    if (!selection)
        return kExitUsage;
    const bool rows = args.flags.count("--rows") != 0 || !selection->all();
    const bool json = args.flags.count("--json") != 0;
    if (json && !rows)
        return usageError("--json goes with --rows", kCheckUsage);
    int exitCode = kExitOk;
    auto prepared = prepareBatch(args, exitCode);
    if (!prepared)
        return exitCode;
    if (!selectRows(*prepared, std::move(*selection), kCheckUsage))
        return kExitUsage;
    // Values read as their defaults do not stop a batch; the check names each once.
    for (const std::string& replaced : prepared->replacedValues)
        printError("警告：" + replaced);
    const BatchProblem problem = checkPreparedBatch(*prepared);
    if (!problem.ok()) {
        // The message quotes the template's font names and paths: cleaned as run cleans them.
        writeStdout((json ? problemJson("template", problemLine(problem), problem.layerNumber)
                          : replaceTerminalControls(problemLine(problem))) +
                    "\n");
        return kExitFailed;
    }
    if (!rows) {
        writeStdout("ok\n");
        return kExitOk;
    }
    return checkEveryRow(*prepared, json);
}

} // namespace

const CommandSpec kCheckCommand = {
    "check",
    "  check TEMPLATE.dat --out DIR [--csv FILE] [--rows [LIST] [--json]]\n"
    "                                check the template as before a batch; with --rows,\n"
    "                                every data row (or those of LIST) too\n",
    kCheckUsage,
    [] {
        auto options = kBatchValueOptions;
        options.insert(kSelectionOptions.begin(), kSelectionOptions.end());
        return options;
    }(),
    {"--rows", "--json"},
    kBatchRequiredOptions,
    kBatchArgumentError,
    runCheckCommand,
};

} // namespace torvale::cli
