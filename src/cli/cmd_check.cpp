#include "batch/batch_validation.h"
#include "cli/batch_setup.h"
#include "model/template_file.h"
#include "render/fonts.h"

#include <cstdio>

namespace torvale::cli {

namespace {

constexpr const char* kCheckUsage =
    "Usage: torvale-batch check TEMPLATE.dat --out DIR [--csv FILE]\n"
    "\n"
    "Checks the template as the editor does before a batch, with the template's CSV file or\n"
    "FILE and the output folder DIR (created when missing and its parent exists). Prints \"ok\"\n"
    "and exits with 0 when a batch may start, else prints the first problem and exits with 1.\n";

} // namespace

int runCheckCommand(const Args& args)
{
    if (wantsHelp(args)) {
        std::fputs(kCheckUsage, stdout);
        return kExitOk;
    }
    const auto parsed = parseArgs(args, {"--out", "--csv"}, {}, kCheckUsage);
    if (!parsed)
        return kExitUsage;
    if (parsed->positional.size() != 1)
        return usageError("expected one template file", kCheckUsage);
    if (!parsed->values.count("--out"))
        return usageError("missing --out DIR", kCheckUsage);
    const std::string& templatePath = parsed->positional[0];
    const std::string& outDir = parsed->values.at("--out");
    const auto csvIt = parsed->values.find("--csv");

    if (!setUpImageLibraryOrReport())
        return kExitFailed;
    auto batch = openBatchTemplate(templatePath,
                                   csvIt == parsed->values.end() ? std::string() : csvIt->second);
    if (!batch)
        return kExitUsage;
    batch->tpl.output.outputFolder = outDir;

    const FontRegistry fonts = FontRegistry::build(SettingsStore::userStore());
    const BatchInputs inputs{
        batch->csvPath, outDir,
        resolveTemplatePath(batch->tpl.background.background_path, templatePath)};
    const BatchProblem problem = validateBatch(batch->tpl, inputs, fonts);
    if (problem.ok()) {
        std::puts("ok");
        return kExitOk;
    }
    if (problem.title.empty())
        std::printf("%s\n", problem.text.c_str());
    else
        std::printf("%s: %s\n", problem.title.c_str(), problem.text.c_str());
    return kExitFailed;
}

} // namespace torvale::cli
