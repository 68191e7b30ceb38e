#include "batch/batch_validation.h"
#include "batch/csv_source.h"
#include "cli/cli_common.h"
#include "common/settings_store.h"
#include "model/settings.h"
#include "model/template_file.h"

#include <cstdio>

namespace torvale::cli {

namespace {

constexpr const char* kTemplateUsage =
    "Usage: torvale-batch template FILE.dat\n"
    "\n"
    "Reads a template file the way the editor opens it and prints the template exactly as the\n"
    "editor would save it. A CSV file that cannot be loaded is reported on stderr and the\n"
    "template is still printed.\n";

int runTemplateCommand(const ParsedArgs& args)
{
    const std::int32_t currentDpi = readSettings(SettingsStore::userStore()).dpi;
    Template tpl;
    const TemplateReadResult result = readTemplateFile(
        args.positional[0], tpl, currentDpi,
        [](const std::string& path, bool trim) { return loadCsvColumns(path, trim); });
    if (!result.ok()) {
        printError(result.message);
        return kExitUsage;
    }
    if (result.csvUnreadable)
        printError(csvProblemDetail(resolveTemplatePath(tpl.csv_file_path, tpl.templatePath)));
    storePathsFor(tpl, tpl.templatePath);
    writeStdout(templateToJson(tpl, result.dpi.value_or(currentDpi)));
    return kExitOk;
}

} // namespace

const CommandSpec kTemplateCommand = {
    "template",
    "  template FILE.dat             print the template as the editor would save it\n",
    kTemplateUsage,
    {},
    {},
    {},
    "expected one template file",
    runTemplateCommand,
};

} // namespace torvale::cli
