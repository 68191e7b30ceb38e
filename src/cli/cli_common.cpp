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

std::string ParsedArgs::value(const std::string& option) const
{
    const auto it = values.find(option);
    return it == values.end() ? std::string() : it->second;
}

std::optional<ParsedArgs> parseCommandArgs(const CommandSpec& command, const Args& args)
{
    ParsedArgs parsed;
    parsed.usage = command.usage;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded) {
            parsed.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (command.valueOptions.count(arg) &&
                   (!command.flagOptions.count(arg) ||
                    (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] >= '0' &&
                     args[i + 1][0] <= '9'))) {
            if (i + 1 >= args.size()) {
                usageError("option '" + arg + "' needs a value", command.usage);
                return std::nullopt;
            }
            parsed.values[arg] = args[++i];
            parsed.allValues[arg].push_back(args[i]);
        } else if (command.flagOptions.count(arg)) {
            parsed.flags.insert(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            usageError("unknown option '" + arg + "'", command.usage);
            return std::nullopt;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    if (command.argumentError ? parsed.positional.size() != 1 : !parsed.positional.empty()) {
        usageError(command.argumentError ? command.argumentError : "too many arguments",
                   command.usage);
        return std::nullopt;
    }
    for (const auto& [option, error] : command.requiredOptions) {
        if (!parsed.values.count(option)) {
            usageError(error, command.usage);
            return std::nullopt;
        }
    }
    return parsed;
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
