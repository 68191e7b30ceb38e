#include "cli/cli_common.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: torvale-batch COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  template FILE.dat             print the template as the editor would save it\n"
    "  columns FILE.csv [--no-trim]  print the CSV file's column names, one per line\n"
    "  rows FILE.csv [--no-trim]     print every data row the batch reads, as JSON arrays\n"
    "  card TEMPLATE.dat --out DIR [--csv FILE] [--row N]\n"
    "                                render the card of one data row into DIR\n"
    "\n"
    "Run 'torvale-batch COMMAND --help' for the options of a command.\n";

struct Command {
    const char* name;
    int (*run)(const torvale::cli::Args&);
};

constexpr Command kCommands[] = {
    {"template", torvale::cli::runTemplateCommand},
    {"columns", torvale::cli::runColumnsCommand},
    {"rows", torvale::cli::runRowsCommand},
    {"card", torvale::cli::runCardCommand},
};

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return torvale::cli::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(kUsage, stdout);
        return torvale::cli::kExitOk;
    }
    torvale::cli::Args args(argv + 2, argv + argc);
    for (const auto& command : kCommands) {
        if (name == command.name)
            return command.run(args);
    }
    return torvale::cli::usageError("unknown command '" + name + "'", kUsage);
}
