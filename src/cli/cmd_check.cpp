#include "batch/batch_validation.h"
#include "batch/row_check.h"
#include "cli/batch_setup.h"
#include "cli/stop_signals.h"
#include "common/text.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace torvale::cli {

namespace {

constexpr const char* kCheckUsage =
    "Usage: torvale-batch check TEMPLATE.dat --out DIR [--csv FILE] [--name COL] [--name2 COL]\n"
    "                           [--rows [--json]]\n"
    "\n"
    "Checks the template as the editor does before a batch, with the template's CSV file or\n"
    "FILE and the output folder DIR (created when missing and its parent exists). Prints \"ok\"\n"
    "and exits with 0 when a batch may start, else prints the first problem and exits with 1.\n"
    "\n"
    "  --rows  then walks every data row as the batch would draw it, without drawing, and\n"
    "          lists each problem as \"第 N 行，COLUMN：PROBLEM\": pictures that are missing,\n"
    "          unreadable or not pictures, blank file-name cells, file names that are taken\n"
    "          (by another row or a file in DIR), characters no installed font can draw and\n"
    "          texts that do not fit their layer; then a summary on standard error. Exits\n"
    "          with 1 when there is any problem.\n"
    "  --json  with --rows: one JSON object per problem and line (row, column, kind, message,\n"
    "          path, layer) instead of the lines\n"
    "  --name COL  the column whose cells name the card files, in place of the template's\n"
    "              choice (needed when the template has no CSV file of its own)\n"
    "  --name2 COL the second file-name column\n";

int checkEveryRow(const PreparedBatch& prepared, bool json)
{
    std::atomic<bool> stop{false};
    catchStopSignals(stop);
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const RowCheckResult result = checkRows(
        prepared.plan.options.tpl, prepared.plan.inputs, prepared.fonts, &stop,
        [terminal](std::size_t done, std::size_t total) {
            if (terminal)
                std::fprintf(stderr, "\r正在检查 %zu/%zu...\033[K", done, total);
        });
    releaseStopSignals();
    if (terminal)
        std::fputs("\r\033[K", stderr);
    if (result.csvProblem) {
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
    const bool rows = args.flags.count("--rows") != 0;
    const bool json = args.flags.count("--json") != 0;
    if (json && !rows)
        return usageError("--json goes with --rows", kCheckUsage);
    int exitCode = kExitOk;
    const auto prepared = prepareBatch(args, exitCode);
    if (!prepared)
        return exitCode;
    const BatchProblem problem =
        validateBatch(prepared->plan.options.tpl, prepared->plan.inputs, prepared->fonts);
    if (!problem.ok()) {
        std::printf("%s\n", problemLine(problem).c_str());
        return kExitFailed;
    }
    if (!rows) {
        std::printf("ok\n");
        return kExitOk;
    }
    return checkEveryRow(*prepared, json);
}

} // namespace

const CommandSpec kCheckCommand = {
    "check",
    "  check TEMPLATE.dat --out DIR [--csv FILE] [--rows [--json]]\n"
    "                                check the template as before a batch; with --rows,\n"
    "                                every data row too\n",
    kCheckUsage,
    kBatchValueOptions,
    {"--rows", "--json"},
    kBatchRequiredOptions,
    kBatchArgumentError,
    runCheckCommand,
};

} // namespace torvale::cli
