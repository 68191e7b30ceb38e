#include "batch/batch_validation.h"
#include "cli/batch_setup.h"

#include <cstdio>

namespace torvale::cli {

namespace {

constexpr const char* kCheckUsage =
    "Usage: torvale-batch check TEMPLATE.dat --out DIR [--csv FILE]\n"
    "\n"
    "Checks the template as the editor does before a batch, with the template's CSV file or\n"
    "FILE and the output folder DIR (created when missing and its parent exists). Prints \"ok\"\n"
    "and exits with 0 when a batch may start, else prints the first problem and exits with 1.\n";

int runCheckCommand(const ParsedArgs& args)
{
    int exitCode = kExitOk;
    const auto prepared = prepareBatch(args, exitCode);
    if (!prepared)
        return exitCode;
    const BatchProblem problem =
        validateBatch(prepared->plan.options.tpl, prepared->plan.inputs, prepared->fonts);
    std::printf("%s\n", problem.ok() ? "ok" : problemLine(problem).c_str());
    return problem.ok() ? kExitOk : kExitFailed;
}

} // namespace

const CommandSpec kCheckCommand = {
    "check",
    "  check TEMPLATE.dat --out DIR [--csv FILE]\n"
    "                                check the template as before a batch\n",
    kCheckUsage,
    kBatchValueOptions,
    {},
    kBatchRequiredOptions,
    kBatchArgumentError,
    runCheckCommand,
};

} // namespace torvale::cli
