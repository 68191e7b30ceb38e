#include "batch/batch_runner.h"
#include "batch/batch_validation.h"
#include "cli/batch_setup.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "common/text.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace torvale::cli {

namespace {

constexpr const char* kRunUsage =
    "Usage: torvale-batch run TEMPLATE.dat --out DIR [--csv FILE] [--jobs N] [--quiet]\n"
    "                         [--strict] [--name COL] [--name2 COL] [--rows LIST]\n"
    "                         [--where COL=VALUE] [--part K/N] [--resume | --redo-problems]\n"
    "                         [--no-record]\n"
    "\n"
    "Checks the template as 'check' does, then makes one card per data row of the template's\n"
    "CSV file (or FILE) in the folder DIR. Existing files are never replaced. N cards are drawn\n"
    "at the same time (default: the number of cores); the files are the same for every N.\n"
    "Ctrl+C or SIGTERM stops after the cards being drawn; every file written is complete.\n"
    "A second Ctrl+C or SIGTERM ends the program at once.\n"
    "\n"
    "The selection options make the cards of some rows only, each under the name it has when\n"
    "every row is made into an empty folder (\"name(2)\" for the second row of a name too);\n"
    "together they take the rows that all of them take.\n"
    "  --rows LIST        the data rows numbered as 'rows' and 'check --rows' number them,\n"
    "                     e.g. 3-7,12\n"
    "  --where COL=VALUE  the rows whose cell in COL is VALUE (COL!=VALUE: is not), spaces\n"
    "                     around both left out; may be given more than once\n"
    "  --part K/N         the K-th of N parts: data rows K, K+N, K+2N, ... The N parts run\n"
    "                     into one folder (on as many machines) make the files of one run\n"
    "\n"
    "Every card written is recorded, one line each, in DIR/制作记录.csv (time, data row, file,\n"
    "problems, a summary of the template and the row's cells).\n"
    "  --resume         leaves out the rows whose latest line in the record names a file that\n"
    "                   still exists, made from the same template and cells: a run that was\n"
    "                   stopped or killed is finished without \"(2)\" copies\n"
    "  --redo-problems  makes again only the rows whose latest line in the record names a\n"
    "                   problem (a missing photo, say); with the selection options too\n"
    "  --no-record      writes no record\n"
    "\n"
    "  --quiet   no progress line; problems with single cards are still listed\n"
    "  --strict  a card with a problem (a missing photo, say), a row skipped for its number\n"
    "            of cells or a quote that is never closed makes the exit status 1\n"
    "  --name COL   the first column whose cells name the card files; --name and --name2\n"
    "               replace both of the template's (needed when the CSV file has neither)\n"
    "  --name2 COL  the second file-name column\n"
    "\n"
    "Exit status: 0 every card written, 1 stopped early, a card not written, the check\n"
    "failed or (with --strict) a card or a row had a problem, 2 usage or template error.\n";

int runRunCommand(const ParsedArgs& args)
{
    const auto jobs = jobsOption(args);
    if (!jobs)
        return kExitUsage;
    auto selection = rowSelectionOption(args);
    if (!selection)
        return kExitUsage;
    const bool resume = args.flags.count("--resume") != 0;
    const bool redoProblems = args.flags.count("--redo-problems") != 0;
    if (resume && redoProblems)
        return usageError("--resume and --redo-problems cannot be used together", kRunUsage);
    int exitCode = kExitOk;
    auto prepared = prepareBatch(args, exitCode);
    if (!prepared)
        return exitCode;
    if (!selectRows(*prepared, std::move(*selection), kRunUsage))
        return kExitUsage;
    const BatchProblem problem = checkPreparedBatch(*prepared);
    if (!problem.ok()) {
        printError(problemLine(problem));
        return kExitFailed;
    }

    BatchOptions& options = prepared->plan.options;
    options.jobs = *jobs;
    options.resume = resume;
    options.redoProblems = redoProblems;
    options.record = args.flags.count("--no-record") == 0;

    const bool quiet = args.flags.count("--quiet") != 0;
    TerminalProgress progress(quiet);
    std::atomic<bool> stop{false};
    catchStopSignals(stop);
    const auto start = std::chrono::steady_clock::now();
    const BatchSummary summary = runBatch(options, progress, stop);
    progress.finish();
    releaseStopSignals();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("%s：已写入 %zu 张卡片到 %s，用时 %.2f 秒。\n", summary.stopped ? "已停止" : "完成",
                summary.written, options.tpl.output.outputFolder.c_str(), seconds);
    if (summary.withProblems > 0)
        std::printf("其中 %zu 张有问题，详见上面的信息。\n", summary.withProblems);
    if (summary.numbered > 0)
        std::printf("其中 %zu 张因同名文件已存在而加了编号。\n", summary.numbered);
    if (summary.skipped > 0)
        std::printf("有 %zu 行数据被跳过，没有卡片，详见上面的信息。\n", summary.skipped);
    if (summary.failed > 0)
        std::printf("有 %zu 张卡片未能写入，详见上面的信息。\n", summary.failed);
    if (summary.alreadyMade > 0)
        std::printf("有 %zu 张卡片按制作记录已经做过，没有再做。\n", summary.alreadyMade);
    // A card that could not be written (a full disk, say) must not look like success.
    const bool strict = args.flags.count("--strict") != 0;
    return summary.stopped || summary.failed > 0 || (strict && summary.hadProblems()) ? kExitFailed
                                                                                      : kExitOk;
}

} // namespace

const CommandSpec kRunCommand = {
    "run",
    "  run TEMPLATE.dat --out DIR [--csv FILE] [--jobs N] [--quiet] [--strict]\n"
    "      [--rows LIST] [--where COL=VALUE] [--part K/N] [--resume | --redo-problems]\n"
    "      [--no-record]\n"
    "                                make the cards of every data row (or those chosen)\n"
    "                                into DIR\n",
    kRunUsage,
    [] {
        auto options = kBatchValueOptions;
        options.insert("--jobs");
        options.insert(kSelectionOptions.begin(), kSelectionOptions.end());
        return options;
    }(),
    {"--quiet", "--strict", "--resume", "--redo-problems", "--no-record"},
    kBatchRequiredOptions,
    kBatchArgumentError,
    runRunCommand,
};

} // namespace torvale::cli
