#include "batch/print_sheet.h"
#include "cli/batch_setup.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "common/paths.h"
#include "common/text.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace torvale::cli {

namespace {

constexpr const char* kSheetUsage =
    "Usage: torvale-batch sheet TEMPLATE.dat --out FILE.pdf [--csv FILE] [--paper SIZE]\n"
    "                           [--landscape | --portrait] [--margin MM] [--gap MM]\n"
    "                           [--no-marks] [--fit] [--back BACK.dat] [--jobs N] [--quiet]\n"
    "                           [--strict] [--rows LIST] [--where COL=VALUE] [--part K/N]\n"
    "\n"
    "Checks the template as 'run' does, then makes one card per data row of the template's\n"
    "CSV file (or FILE; with --rows, --where and --part only those rows, as 'run' chooses\n"
    "them) and lays the cards out on the pages of one PDF file for printing: at\n"
    "their true size (the card's pixels at the template's DPI), as many as fit on a page, the\n"
    "grid centred, with cutting marks at the corners. An existing FILE.pdf is never replaced:\n"
    "the new file is then named FILE(2).pdf, FILE(3).pdf, ... The file appears only once it is\n"
    "complete; Ctrl+C or SIGTERM stops and leaves no file.\n"
    "\n"
    "  --paper SIZE     A4 (default), A3, A5, Letter, or WxH in millimetres (e.g. 100x150)\n"
    "  --landscape      pages wider than high; --portrait: higher than wide (default: the\n"
    "                   orientation that holds more cards)\n"
    "  --margin MM      free border on every side of the page (default 10)\n"
    "  --gap MM         space between neighbouring cards (default 0)\n"
    "  --no-marks       no cutting marks\n"
    "  --fit            scale a card larger than the printable area down until it fits\n"
    "  --back BACK.dat  the back of every card, drawn from the same row; BACK.dat must make\n"
    "                   cards of the same size. Every page of fronts is followed by a page of\n"
    "                   their backs, columns mirrored: print on both sides, flipping on the\n"
    "                   long edge\n"
    "  --jobs N         cards drawn at the same time (default: the number of cores)\n"
    "  --quiet          no progress line; problems with single cards are still listed\n"
    "  --strict         a card with a problem (a missing photo, say), a row skipped for its\n"
    "                   number of cells or a quote never closed makes the exit status 1\n"
    "\n"
    "Exit status: 0 the PDF file written with every card, 1 stopped early, a card missing, no\n"
    "file written, the check failed or (with --strict) a card or a row had a problem, 2 usage\n"
    "or template error (a card larger than the printable area, say).\n";

constexpr double kLargestLength = 1000;

// A length in millimetres from 0 to 1000, decimals allowed.
std::optional<double> parseMillimetres(const std::string& text)
{
    const std::optional<double> value = parseLength(text);
    if (!value || *value < 0 || *value > kLargestLength)
        return std::nullopt;
    return value;
}

// The layout options of the arguments; nothing after printing a usage error.
std::optional<SheetSettings> sheetSettings(const ParsedArgs& args)
{
    SheetSettings settings;
    if (args.values.count("--paper")) {
        const auto paper = parsePaper(args.value("--paper"));
        if (!paper) {
            usageError("unknown paper '" + args.value("--paper") +
                           "': use A4, A3, A5, Letter or WxH in millimetres (e.g. 100x150)",
                       kSheetUsage);
            return std::nullopt;
        }
        settings.paper = *paper;
    }
    const bool landscape = args.flags.count("--landscape") != 0;
    const bool portrait = args.flags.count("--portrait") != 0;
    if (landscape && portrait) {
        usageError("--landscape and --portrait exclude each other", kSheetUsage);
        return std::nullopt;
    }
    settings.orientation = landscape  ? SheetOrientation::Landscape
                           : portrait ? SheetOrientation::Portrait
                                      : SheetOrientation::Best;
    for (const auto& [option, field] :
         {std::pair{"--margin", &settings.margin}, std::pair{"--gap", &settings.gap}}) {
        if (!args.values.count(option))
            continue;
        const auto value = parseMillimetres(args.value(option));
        if (!value) {
            usageError(std::string(option) + " takes a length in millimetres from 0 to 1000",
                       kSheetUsage);
            return std::nullopt;
        }
        *field = *value;
    }
    settings.marks = args.flags.count("--no-marks") == 0;
    settings.fit = args.flags.count("--fit") != 0;
    return settings;
}

// The back template, checked against the rows and the size of the front; nothing after printing
// the problem, with the exit code.
std::optional<BatchTemplate> openBack(const std::string& path, const PreparedBatch& front,
                                      int& exitCode)
{
    // Its problems name it: the front's would read the same.
    const std::string prefix = formatText("背面模版 '%s': ", path.c_str());
    auto back = openBatchTemplate(path, front.plan.inputs.csvPath, prefix);
    if (!back) {
        exitCode = kExitUsage;
        return std::nullopt;
    }
    const BatchPlan plan = planBatch(back->tpl, back->dpi, front.plan.inputs.csvPath);
    BatchInputs inputs = plan.inputs;
    inputs.outputFolder = front.plan.inputs.outputFolder;
    const BatchProblem problem = validateSheet(back->tpl, inputs, front.fonts());
    if (!problem.ok()) {
        printError(prefix + problemLine(problem));
        exitCode = kExitFailed;
        return std::nullopt;
    }
    const std::string size =
        checkBackSize(front.plan.options.tpl, front.plan.options.dpi, back->tpl, back->dpi);
    if (!size.empty()) {
        printError(size);
        exitCode = kExitUsage;
        return std::nullopt;
    }
    return back;
}

int runSheetCommand(const ParsedArgs& args)
{
    const auto jobs = jobsOption(args);
    if (!jobs)
        return kExitUsage;
    const auto settings = sheetSettings(args);
    if (!settings)
        return kExitUsage;
    auto selection = rowSelectionOption(args);
    if (!selection)
        return kExitUsage;
    std::filesystem::path pdf = pathFromUtf8(args.value("--out"));
    std::error_code ec;
    if (pdf.filename().empty() || std::filesystem::is_directory(pdf, ec))
        return usageError("--out needs a file name, e.g. cards.pdf, not a folder", kSheetUsage);
    std::string blocker;
    switch (checkSheetPath(pathToUtf8(pdf), blocker)) {
    case SheetPathProblem::NotAFile:
        return usageError("--out '" + blocker + "' is not a regular file: name a PDF file",
                          kSheetUsage);
    case SheetPathProblem::NotAFolder:
        return usageError("--out: '" + blocker + "' is not a folder", kSheetUsage);
    case SheetPathProblem::None:
        break;
    }
    if (!pdf.has_extension())
        pdf += ".pdf";
    const std::string folder = pathToUtf8(folderOf(pathToUtf8(pdf)));

    int exitCode = kExitOk;
    auto prepared = prepareBatch(args, folder, exitCode);
    if (!prepared)
        return exitCode;
    if (!selectRows(*prepared, std::move(*selection), kSheetUsage))
        return kExitUsage;
    const BatchProblem problem =
        validateSheet(prepared->plan.options.tpl, prepared->plan.inputs, prepared->fonts());
    if (!problem.ok()) {
        printError(problemLine(problem));
        return kExitFailed;
    }
    BatchOptions& options = prepared->plan.options;
    if (args.values.count("--back")) {
        auto back = openBack(args.value("--back"), *prepared, exitCode);
        if (!back)
            return exitCode;
        options.backTpl = std::move(back->tpl);
        options.backDpi = back->dpi;
    }
    const SheetLayoutResult layout = layoutCards(options.tpl, options.dpi, *settings);
    if (!layout.ok()) {
        printError(layout.error + (layout.fitWouldHelp ? "; --fit scales the card down" : ""));
        return kExitUsage;
    }
    options.jobs = *jobs;

    TerminalProgress progress(args.flags.count("--quiet") != 0);
    std::atomic<bool> stop{false};
    catchStopSignals(stop);
    const auto start = std::chrono::steady_clock::now();
    const SheetSummary summary = runSheet(options, *layout.layout, pathToUtf8(pdf), progress, stop);
    progress.finish();
    releaseStopSignals();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const BatchSummary& batch = summary.batch;
    if (!summary.error.empty())
        printError(summary.error);
    if (!summary.path.empty()) {
        std::printf("完成：已将 %zu 张卡片排版为 %zu 页（每页 %lld 张），写入 %s，用时 %.2f 秒。\n",
                    batch.written, summary.pages, static_cast<long long>(layout.layout->perPage()),
                    summary.path.c_str(), seconds);
    } else {
        std::printf("%s：未生成PDF文件。\n",
                    batch.stopped && summary.error.empty() ? "已停止" : "失败");
    }
    if (batch.withProblems > 0)
        std::printf("其中 %zu 张有问题，详见上面的信息。\n", batch.withProblems);
    if (batch.skipped > 0)
        std::printf("有 %zu 行数据被跳过，没有卡片，详见上面的信息。\n", batch.skipped);
    if (batch.failed > 0)
        std::printf("有 %zu 张卡片未能放入PDF文件，详见上面的信息。\n", batch.failed);
    const bool strict = args.flags.count("--strict") != 0;
    return summary.path.empty() || batch.stopped || batch.failed > 0 ||
                   (strict && batch.hadProblems())
               ? kExitFailed
               : kExitOk;
}

} // namespace

const CommandSpec kSheetCommand = {
    "sheet",
    "  sheet TEMPLATE.dat --out FILE.pdf [--csv FILE] [--paper SIZE] [--back BACK.dat] ...\n"
    "                                lay the cards of every data row (or those chosen as\n"
    "                                for run) out on pages of a PDF\n",
    kSheetUsage,
    [] {
        auto options = kBatchValueOptions;
        options.insert({"--jobs", "--paper", "--margin", "--gap", "--back"});
        options.insert(kSelectionOptions.begin(), kSelectionOptions.end());
        return options;
    }(),
    {"--quiet", "--strict", "--landscape", "--portrait", "--no-marks", "--fit"},
    {{"--out", "missing --out FILE.pdf"}},
    kBatchArgumentError,
    runSheetCommand,
};

} // namespace torvale::cli
