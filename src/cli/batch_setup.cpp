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

namespace torvale::cli {

std::optional<BatchTemplate> openBatchTemplate(const std::string& path,
                                               const std::string& csvOverride)
{
    BatchTemplate batch;
    const std::int32_t currentDpi = readSettings(SettingsStore::userStore()).dpi;
    // The file-name columns are matched against the CSV file the batch will read.
    const auto loadColumns = [&csvOverride](const std::string& csvPath, bool trim) {
        return loadCsvColumns(csvOverride.empty() ? csvPath : csvOverride, trim);
    };
    const TemplateReadResult result = readTemplateFile(path, batch.tpl, currentDpi, loadColumns);
    if (!result.ok()) {
        printError(result.message);
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

std::optional<PreparedBatch> prepareBatch(const std::string& templatePath,
                                          const std::string& outDir, const std::string& csvOverride,
                                          int& exitCode)
{
    if (!setUpImageLibraryOrReport()) {
        exitCode = kExitFailed;
        return std::nullopt;
    }
    auto batch = openBatchTemplate(templatePath, csvOverride);
    if (!batch) {
        exitCode = kExitUsage;
        return std::nullopt;
    }
    batch->tpl.output.outputFolder = outDir;
    return PreparedBatch{planBatch(batch->tpl, batch->dpi, csvOverride),
                         FontRegistry::build(SettingsStore::userStore())};
}

std::optional<PreparedBatch> prepareBatch(const ParsedArgs& parsed, int& exitCode)
{
    return prepareBatch(parsed.positional[0], parsed.value("--out"), parsed.value("--csv"),
                        exitCode);
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
