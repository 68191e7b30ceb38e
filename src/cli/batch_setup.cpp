#include "cli/batch_setup.h"

#include "app/image_library.h"
#include "batch/csv_source.h"
#include "common/text.h"
#include "model/settings.h"
#include "model/template_file.h"
#include "render/picture_input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace torvale::cli {

std::optional<BatchTemplate> openBatchTemplate(const std::string& path,
                                               const std::string& csvOverride,
                                               const std::string& problemPrefix)
{
    BatchTemplate batch;
    const std::int32_t currentDpi = readSettings(SettingsStore::userStore()).dpi;
    // The file-name columns are matched against the CSV file the batch will read.
    const auto loadColumns = [&csvOverride](const std::string& csvPath, bool trim) {
        return loadCsvColumns(csvOverride.empty() ? csvPath : csvOverride, trim);
    };
    const TemplateReadResult result = readTemplateFile(path, batch.tpl, currentDpi, loadColumns);
    if (!result.ok()) {
        printError(problemPrefix + result.message);
        return std::nullopt;
    }
    batch.dpi = result.dpi.value_or(currentDpi);
    if (result.loadBackgroundPicture) {
        loadBackgroundPicture(resolveTemplatePath(batch.tpl.background.background_path, path),
                              batch.tpl.background);
    }
    return batch;
}

bool setUpImageLibraryOrReport()
{
    if (const auto problem = setUpImageLibrary()) {
        printError(*problem);
        return false;
    }
    return true;
}

namespace {

// Sets the file-name columns of --name and --name2 from the columns of the CSV file the batch
// reads; false after printing a usage error when the file has no such column.
bool applyFileNameOptions(const ParsedArgs& parsed, const BatchPlan& plan, Template& tpl)
{
    const std::string names[] = {parsed.value("--name"), parsed.value("--name2")};
    if (names[0].empty() && names[1].empty())
        return true;
    // A CSV file that cannot be read is the batch check's to report.
    const auto columns = loadCsvColumns(plan.inputs.csvPath, tpl.is_trim_csv_cell_value);
    std::string* targets[] = {&tpl.output.file_name_bind_col_name,
                              &tpl.output.file_name_bind_col_name2};
    for (std::size_t i = 0; i < 2; ++i) {
        if (names[i].empty())
            continue;
        std::string column = columns ? matchColumn(*columns, names[i]) : names[i];
        if (column.empty()) {
            usageError(formatText("%s: the CSV file has no column '%s'", i ? "--name2" : "--name",
                                  names[i].c_str()),
                       parsed.usage);
            return false;
        }
        *targets[i] = std::move(column);
    }
    return true;
}

} // namespace

std::optional<PreparedBatch> prepareBatch(const ParsedArgs& parsed, const std::string& outDir,
                                          int& exitCode)
{
    if (!setUpImageLibraryOrReport()) {
        exitCode = kExitFailed;
        return std::nullopt;
    }
    const std::string csvOverride = parsed.value("--csv");
    auto batch = openBatchTemplate(parsed.positional[0], csvOverride);
    if (!batch) {
        exitCode = kExitUsage;
        return std::nullopt;
    }
    batch->tpl.output.outputFolder = outDir;
    BatchPlan plan = planBatch(batch->tpl, batch->dpi, csvOverride);
    if (!applyFileNameOptions(parsed, plan, plan.options.tpl)) {
        exitCode = kExitUsage;
        return std::nullopt;
    }
    plan.options.fonts =
        std::make_shared<const FontRegistry>(FontRegistry::build(SettingsStore::userStore()));
    return PreparedBatch{std::move(plan)};
}

std::optional<PreparedBatch> prepareBatch(const ParsedArgs& parsed, int& exitCode)
{
    return prepareBatch(parsed, parsed.value("--out"), exitCode);
}

std::string problemLine(const BatchProblem& problem)
{
    return problem.title.empty() ? problem.text : problem.title + ": " + problem.text;
}

std::string timeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

void StderrLog::log(const std::string& message)
{
    // Messages carry their own "\r\n" or "\n" endings; one line break per line on a terminal.
    std::string text;
    for (char c : message) {
        if (c != '\r')
            text += c;
    }
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    printError(timeStamp() + " " + text);
}

std::optional<unsigned> jobsOption(const ParsedArgs& args)
{
    const auto it = args.values.find("--jobs");
    if (it == args.values.end())
        return defaultJobs();
    const auto value = parsePositive(it->second);
    if (!value || *value > 256) {
        usageError("--jobs takes a number from 1 to 256", args.usage);
        return std::nullopt;
    }
    return static_cast<unsigned>(*value);
}

std::optional<long> parsePositive(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace torvale::cli
