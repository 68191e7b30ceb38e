#include "batch/batch_runner.h"
#include "batch/batch_validation.h"
#include "cli/batch_setup.h"
#include "cli/stop_signals.h"
#include "common/text.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace torvale::cli {

namespace {

constexpr const char* kRunUsage =
    "Usage: torvale-batch run TEMPLATE.dat --out DIR [--csv FILE] [--jobs N] [--quiet]\n"
    "                         [--strict]\n"
    "\n"
    "Checks the template as 'check' does, then makes one card per data row of the template's\n"
    "CSV file (or FILE) in the folder DIR. Existing files are never replaced. N cards are drawn\n"
    "at the same time (default: the number of cores); the files are the same for every N.\n"
    "Ctrl+C or SIGTERM stops after the cards being drawn; every file written is complete.\n"
    "A second Ctrl+C or SIGTERM ends the program at once.\n"
    "\n"
    "  --quiet   no progress line; problems with single cards are still listed\n"
    "  --strict  a card with a problem (a missing photo, say) makes the exit status 1\n"
    "\n"
    "Exit status: 0 every card written, 1 stopped early, a card not written, the check\n"
    "failed or (with --strict) a card had a problem, 2 usage or template error.\n";

// Progress on a terminal ("正在处理 n/total..." with cards per second) and log lines on
// standard error.
class TerminalProgress : public BatchListener {
public:
    TerminalProgress(bool quiet) : m_quiet(quiet), m_terminal(isatty(STDERR_FILENO) != 0) {}

    void log(const std::string& message) override
    {
        // Problems are shown even when quiet: quiet hides the progress line only.
        clearLine();
        m_log.log(message);
        drawLine();
    }
    void batchTotal(std::size_t total) override
    {
        m_total = total;
        m_start = std::chrono::steady_clock::now();
        drawLine();
    }
    void batchStep(std::size_t n) override
    {
        m_step = n;
        drawLine();
    }
    void cardWritten(std::size_t, const std::string&) override { ++m_written; }
    void csvUnreadable(const std::string& path) override
    {
        clearLine();
        printError(std::string(kMsgBatchCsvUnreadable) + ": " + path);
    }
    void finish() { clearLine(); }

private:
    void drawLine()
    {
        if (m_quiet || !m_terminal || m_total == 0)
            return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const double rate = seconds > 0 ? static_cast<double>(m_written) / seconds : 0.0;
        const std::string line = formatText("正在处理 %zu/%zu... %.1f 张/秒",
                                            std::max<std::size_t>(m_step, 1), m_total, rate);
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        m_lineShown = true;
    }
    void clearLine()
    {
        if (m_lineShown) {
            std::fputs("\r\033[K", stderr);
            m_lineShown = false;
        }
    }

    bool m_quiet;
    bool m_terminal;
    bool m_lineShown = false;
    std::size_t m_total = 0;
    std::size_t m_step = 0;
    std::size_t m_written = 0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    StderrLog m_log;
};

int runRunCommand(const ParsedArgs& args)
{
    unsigned jobs = defaultJobs();
    if (const auto it = args.values.find("--jobs"); it != args.values.end()) {
        const auto value = parsePositive(it->second);
        if (!value || *value > 256)
            return usageError("--jobs takes a number from 1 to 256", kRunUsage);
        jobs = static_cast<unsigned>(*value);
    }
    int exitCode = kExitOk;
    auto prepared = prepareBatch(args, exitCode);
    if (!prepared)
        return exitCode;
    const BatchProblem problem =
        validateBatch(prepared->plan.options.tpl, prepared->plan.inputs, prepared->fonts);
    if (!problem.ok()) {
        printError(problemLine(problem));
        return kExitFailed;
    }

    BatchOptions& options = prepared->plan.options;
    options.fonts = &prepared->fonts;
    options.jobs = jobs;

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
    if (summary.failed > 0)
        std::printf("有 %zu 张卡片未能写入，详见上面的信息。\n", summary.failed);
    // A card that could not be written (a full disk, say) must not look like success.
    const bool strict = args.flags.count("--strict") != 0;
    return summary.stopped || summary.failed > 0 || (strict && summary.withProblems > 0)
               ? kExitFailed
               : kExitOk;
}

} // namespace

const CommandSpec kRunCommand = {
    "run",
    "  run TEMPLATE.dat --out DIR [--csv FILE] [--jobs N] [--quiet] [--strict]\n"
    "                                make the cards of every data row into DIR\n",
    kRunUsage,
    [] {
        auto options = kBatchValueOptions;
        options.insert("--jobs");
        return options;
    }(),
    {"--quiet", "--strict"},
    kBatchRequiredOptions,
    kBatchArgumentError,
    runRunCommand,
};

} // namespace torvale::cli
