#pragma once

#include "batch/batch_plan.h"
#include "cli/cli_common.h"
#include "model/template.h"
#include "render/fonts.h"
#include "render/log_sink.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvale::cli {

/// A template opened for a batch: the template with its background picture loaded (linked to
/// its file) and the output resolution.
struct BatchTemplate {
    Template tpl;
    std::int32_t dpi = 72;
    /// The file-name columns as the template file names them, matched or not.
    std::array<std::string, 2> fileNameColumnsInFile;
    /// Values of the file read as their defaults (TemplateReadResult::replacedValues).
    std::vector<std::string> replacedValues;
};

/// Opens a template as the editor would and loads its background picture; the CSV file's
/// columns are those of csvOverride when it is not empty. Prints the problem, after
/// problemPrefix, and gives nothing on failure.
std::optional<BatchTemplate> openBatchTemplate(const std::string& path,
                                               const std::string& csvOverride,
                                               const std::string& problemPrefix = "");

/// Sets up the image library; prints the problem and returns false when it does not work.
bool setUpImageLibraryOrReport();

/// A template ready for a batch into outDir: its plan, whose options hold the fonts.
struct PreparedBatch {
    BatchPlan plan;
    /// The template's file-name columns that the CSV file of the batch does not have.
    std::vector<std::string> missingNameColumns;
    /// Values of the template file read as their defaults.
    std::vector<std::string> replacedValues;

    /// The font tables of the batch, held by the plan's options.
    const FontRegistry& fonts() const { return *plan.options.fonts; }
};

/// Sets up the image library, opens the template of a batch command's arguments (its CSV file
/// replaced by --csv, its file-name columns by --name and --name2), makes outDir its output
/// folder and builds the fonts. The file-name columns are those of the CSV file the batch
/// reads, also for a template without a CSV file of its own. Prints the problem and gives
/// nothing, with the exit code to use, on failure (a --name column the CSV file does not have
/// is a usage error).
std::optional<PreparedBatch> prepareBatch(const ParsedArgs& parsed, const std::string& outDir,
                                          int& exitCode);

/// The options every batch command takes besides its own, and the one it requires.
inline const std::set<std::string> kBatchValueOptions = {"--out", "--csv", "--name", "--name2"};
inline const std::map<std::string, std::string> kBatchRequiredOptions = {
    {"--out", "missing --out DIR"}};
inline constexpr const char* kBatchArgumentError = "expected one template file";

/// prepareBatch into the folder of --out.
std::optional<PreparedBatch> prepareBatch(const ParsedArgs& parsed, int& exitCode);

/// The options that choose the rows of run, sheet and check.
inline const std::set<std::string> kSelectionOptions = {"--rows", "--where", "--part"};

/// The rows of --rows and --where (every one given) and --part; nothing after printing a usage
/// error naming the option and the part that is wrong.
std::optional<RowSelection> rowSelectionOption(const ParsedArgs& parsed);

/// Gives a selection to a prepared batch once it fits the batch's data (no row beyond it, no
/// column it lacks); false after printing a usage error. Data that cannot be read is left to
/// the batch check.
bool selectRows(PreparedBatch& prepared, RowSelection selection, const char* usage);

/// The batch check of a prepared batch (validateBatch). When no file-name column is chosen, the
/// problem names the template's file-name columns that the CSV file lacks and points to --name.
BatchProblem checkPreparedBatch(const PreparedBatch& prepared);

/// A batch problem as one line: "title: text", or the text alone when it has no title.
std::string problemLine(const BatchProblem& problem);

/// Log lines on stderr as "%H:%M:%S message", control characters that a terminal would act on
/// replaced.
class StderrLog : public LogSink {
public:
    void log(const std::string& message) override;
};

/// "%H:%M:%S" of the local time now.
std::string timeStamp();

/// The --jobs option of a batch command (the number of cores when not given); nothing after
/// printing a usage error.
std::optional<unsigned> jobsOption(const ParsedArgs& args);

/// Parses a positive decimal number; nothing for anything else.
std::optional<long> parsePositive(const std::string& text);

} // namespace torvale::cli
