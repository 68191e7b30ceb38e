#include "cli/cli_common.h"

#include <clocale>
#include <csignal>
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
    "  fonts [--chinese]             print the font names a text layer can use, one per line\n"
    "  card TEMPLATE.dat --out DIR [--csv FILE] [--row N]\n"
    "                                render the card of one data row into DIR\n"
    "  run TEMPLATE.dat --out DIR [--csv FILE] [--jobs N] [--quiet]\n"
    "                                make the cards of every data row into DIR\n"
    "  check TEMPLATE.dat --out DIR [--csv FILE]\n"
    "                                check the template as before a batch\n"
    "\n"
    "Run 'torvale-batch COMMAND --help' for the options of a command.\n";

struct Command {
    const char* name;
    int (*run)(const torvale::cli::Args&);
};

constexpr Command kCommands[] = {
    {"template", torvale::cli::runTemplateCommand}, {"columns", torvale::cli::runColumnsCommand},
    {"rows", torvale::cli::runRowsCommand},         {"fonts", torvale::cli::runFontsCommand},
    {"card", torvale::cli::runCardCommand},         {"run", torvale::cli::runRunCommand},
    {"check", torvale::cli::runCheckCommand},
};

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    // Past a file size limit the kernel would end the process in the middle of a card; ignored,
    // the write fails with EFBIG instead and the card is reported like any other write failure.
    std::signal(SIGXFSZ, SIG_IGN);
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
