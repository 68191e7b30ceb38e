#pragma once

#include <string>
#include <vector>

namespace torvale::cli {

/// Exit codes of torvale-batch.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

/// Arguments of one subcommand after its name.
using Args = std::vector<std::string>;

/// True when args hold "--help" or "-h".
bool wantsHelp(const Args& args);

/// Prints "torvale-batch: message" and the subcommand's usage to stderr; returns kExitUsage.
int usageError(const std::string& message, const char* usage);

/// Writes bytes to stdout exactly as they are.
void writeStdout(const std::string& bytes);

/// Writes a line to stderr, control characters that a terminal would act on replaced.
void printError(const std::string& line);

int runTemplateCommand(const Args& args);
int runColumnsCommand(const Args& args);
int runRowsCommand(const Args& args);
int runFontsCommand(const Args& args);
int runCardCommand(const Args& args);
int runRunCommand(const Args& args);
int runCheckCommand(const Args& args);

} // namespace torvale::cli
