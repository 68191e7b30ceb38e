#include "cli/cli_common.h"

#include "common/text.h"

#include <cstdio>

namespace torvale::cli {

bool wantsHelp(const Args& args)
{
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h")
            return true;
    }
    return false;
}

int usageError(const std::string& message, const char* usage)
{
    std::fprintf(stderr, "torvale-batch: %s\n%s", message.c_str(), usage);
    return kExitUsage;
}

void writeStdout(const std::string& bytes)
{
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void printError(const std::string& line)
{
    // Problems quote texts from templates and CSV files (font names, columns, cells).
    std::fprintf(stderr, "%s\n", replaceTerminalControls(line).c_str());
}

} // namespace torvale::cli
