#include "cli/batch_setup.h"

#include "app/image_library.h"
#include "batch/batch_validation.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "common/text.h"
#include "model/settings.h"
#include "model/template_file.h"
#include "render/picture_input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>

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
    batch.fileNameColumnsInFile = result.fileNameColumnsInFile;
    batch.replacedValues = result.replacedValues;
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

// Chooses the file-name columns among those of the CSV file the batch reads: --name and
// --name2 when either is given (together they replace the template's choice), else the
// template's own. The editor leaves a template's columns unchosen when it has no CSV file of its
// own; here the batch has one, so they are matched against it. Template columns the file lacks
// go to missing; false after printing a usage error when the file lacks a --name column.
bool chooseFileNameColumns(const ParsedArgs& parsed, const std::array<std::string, 2>& inFile,
                           const std::string& csvPath, Template& tpl,
                           std::vector<std::string>& missing)
{
    const std::array<std::string, 2> options = {parsed.value("--name"), parsed.value("--name2")};
    const bool fromOptions = !options[0].empty() || !options[1].empty();
    // A CSV file that cannot be read is the batch check's to report.
    const auto columns =
        csvPath.empty() ? std::nullopt : loadCsvColumns(csvPath, tpl.is_trim_csv_cell_value);
    if (!fromOptions && !columns)
        return true;
    const std::array<std::string, 2>& names = fromOptions ? options : inFile;
    std::string* targets[] = {&tpl.output.file_name_bind_col_name,
                              &tpl.output.file_name_bind_col_name2};
    for (std::size_t i = 0; i < 2; ++i) {
        std::string column = columns ? matchColumn(*columns, names[i]) : names[i];
        if (column.empty() && !names[i].empty()) {
            if (!fromOptions) {
                missing.push_back(names[i]);
            } else {
                usageError(formatText("%s: the CSV file has no column '%s'",
                                      i ? "--name2" : "--name", names[i].c_str()),
                           parsed.usage);
                return false;
            }
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
    PreparedBatch prepared{planBatch(batch->tpl, batch->dpi, csvOverride), {},
                           batch->replacedValues};
    BatchPlan& plan = prepared.plan;
    if (!chooseFileNameColumns(parsed, batch->fileNameColumnsInFile, plan.inputs.csvPath,
                               plan.options.tpl, prepared.missingNameColumns)) {
        exitCode = kExitUsage;
        return std::nullopt;
    }
    plan.options.fonts =
        std::make_shared<const FontRegistry>(FontRegistry::build(SettingsStore::userStore()));
    return prepared;
}

std::optional<PreparedBatch> prepareBatch(const ParsedArgs& parsed, int& exitCode)
{
    return prepareBatch(parsed, parsed.value("--out"), exitCode);
}

std::optional<RowSelection> rowSelectionOption(const ParsedArgs& parsed)
{
    RowSelection selection;
    const auto each = [&parsed](const char* option, const auto& add) {
        const auto values = parsed.allValues.find(option);
        if (values == parsed.allValues.end())
            return true;
        for (const std::string& value : values->second) {
            if (const std::string problem = add(value); !problem.empty()) {
                usageError(std::string(option) + ": " + problem, parsed.usage);
                return false;
            }
        }
        return true;
    };
    if (!each("--rows", [&](const std::string& v) { return addRowNumbers(selection, v); }) ||
        !each("--where", [&](const std::string& v) { return addRowCondition(selection, v); }) ||
        !each("--part", [&](const std::string& v) { return setRowPart(selection, v); }))
        return std::nullopt;
    return selection;
}

bool selectRows(PreparedBatch& prepared, RowSelection selection, const char* usage)
{
    BatchOptions& options = prepared.plan.options;
    std::unique_ptr<RowSource> source;
    if (!selection.all() && openRowSource(options.csvPath, options.tpl.is_trim_csv_cell_value,
                                          source) == CsvStatus::Ok) {
        std::string problem;
        try {
            problem = checkRowNumbers(selection, source->rowCount());
            if (!problem.empty())
                problem = "--rows: " + problem;
        } catch (const std::bad_alloc&) {
            // The batch reports the file that does not fit in memory.
        }
        if (problem.empty()) {
            problem = checkRowColumns(selection, source->columns());
            if (!problem.empty())
                problem = "--where: " + problem;
        }
        if (!problem.empty()) {
            usageError(problem, usage);
            return false;
        }
    }
    options.selection = std::move(selection);
    return true;
}

BatchProblem checkPreparedBatch(const PreparedBatch& prepared)
{
    const BatchPlan& plan = prepared.plan;
    BatchProblem problem = validateBatch(plan.options.tpl, plan.inputs, *plan.options.fonts);
    if (problem.control != BatchControl::FileNameColumn)
        return problem;
    // The editor's text points at its file-name lists; here the columns come from --name.
    if (prepared.missingNameColumns.empty()) {
        problem.text += "，请用 --name 选择一列";
        return problem;
    }
    std::string names;
    for (const std::string& name : prepared.missingNameColumns)
        names += "【" + name + "】";
    problem.title = formatText("CSV文件没有%s列", names.c_str());
    problem.text = formatText("模版的文件名列%s不在CSV文件 '%s' 的表头中，请用 --name 选择一列",
                              names.c_str(), plan.inputs.csvPath.c_str());
    return problem;
}

std::string problemLine(const BatchProblem& problem)
{
    if (!problem.detail.empty())
        return problem.detail;
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
