#include "cli/cli_common.h"
#include "common/build_info.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const torvale::cli::CommandSpec* kCommands[] = {
    &torvale::cli::kTemplateCommand, &torvale::cli::kColumnsCommand, &torvale::cli::kRowsCommand,
    &torvale::cli::kFontsCommand,    &torvale::cli::kCardCommand,    &torvale::cli::kRunCommand,
    &torvale::cli::kSheetCommand,    &torvale::cli::kCheckCommand,
};

std::string toolUsage()
{
    std::string usage = "Usage: torvale-batch COMMAND [ARGS...]\n"
                        "       torvale-batch --version | --help\n\nCommands:\n";
    for (const auto* command : kCommands)
        usage += command->summary;
    usage += "\nRun 'torvale-batch COMMAND --help' for the options of a command.\n";
    return usage;
}

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    // Past a file size limit the kernel would end the process in the middle of a card; ignored,
    // the write fails with EFBIG instead and the card is reported like any other write failure.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string usage = toolUsage();
    if (argc < 2) {
        std::fputs(usage.c_str(), stderr);
        return torvale::cli::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        // "help COMMAND" is "COMMAND --help".
        if (name == "help" && argc == 3) {
            for (const auto* command : kCommands) {
                if (argv[2] == std::string(command->name)) {
                    torvale::cli::writeStdout(command->usage);
                    return torvale::cli::kExitOk;
                }
            }
            return torvale::cli::usageError("unknown command '" + std::string(argv[2]) + "'",
                                            usage.c_str());
        }
        std::fputs(usage.c_str(), stdout);
        return torvale::cli::kExitOk;
    }
    if (name == "--version") {
        std::printf("torvale-batch %s\n", torvale::kVersion);
        return torvale::cli::kExitOk;
    }
    const torvale::cli::Args args(argv + 2, argv + argc);
    for (const auto* command : kCommands) {
        if (name != command->name)
            continue;
        if (torvale::cli::wantsHelp(args)) {
            torvale::cli::writeStdout(command->usage);
            return torvale::cli::kExitOk;
        }
        const auto parsed = torvale::cli::parseCommandArgs(*command, args);
        return parsed ? command->run(*parsed) : torvale::cli::kExitUsage;
    }
    return torvale::cli::usageError("unknown command '" + name + "'", usage.c_str());
}
