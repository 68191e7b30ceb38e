#pragma once

#include <map>
#include <optional>
#include <set>
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

/// A subcommand's arguments once parsed against its table entry.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values; // options that take a value (the last given)
    std::map<std::string, std::vector<std::string>> allValues; // every value, in order
    std::set<std::string> flags;               // options without a value
    const char* usage = "";                    // the command's usage, for its own usage errors

    /// The value of an option, or "" when it was not given.
    std::string value(const std::string& option) const;
};

/// One subcommand of torvale-batch. The table of them is the tool's whole command line: the
/// tool's usage lists their summaries, "--help" prints their usage, and their arguments are
/// parsed against their options before they run. An option that is both a value option and a
/// flag takes the next argument as its value when that starts with a digit (a row list), and
/// is a flag otherwise.
struct CommandSpec {
    const char* name;
    const char* summary; // the command's lines in the tool's usage
    const char* usage;   // printed by "--help" and after a usage error
    std::set<std::string> valueOptions;
    std::set<std::string> flagOptions;
    /// Options that must be given, with the usage error when one is missing.
    std::map<std::string, std::string> requiredOptions;
    /// The usage error unless exactly one argument is given; nullptr for commands without one.
    const char* argumentError;
    int (*run)(const ParsedArgs& args);
};

/// Parses args against a command's options ("--" ends them). Nothing after printing a usage
/// error (unknown option, missing value, missing or extra argument, missing required option).
std::optional<ParsedArgs> parseCommandArgs(const CommandSpec& command, const Args& args);

/// The commands, in the order the tool's usage lists them.
extern const CommandSpec kTemplateCommand;
extern const CommandSpec kColumnsCommand;
extern const CommandSpec kRowsCommand;
extern const CommandSpec kFontsCommand;
extern const CommandSpec kCardCommand;
extern const CommandSpec kRunCommand;
extern const CommandSpec kSheetCommand;
extern const CommandSpec kCheckCommand;

/// Prints "torvale-batch: message" and the subcommand's usage to stderr; returns kExitUsage.
int usageError(const std::string& message, const char* usage);

/// Writes bytes to stdout exactly as they are.
void writeStdout(const std::string& bytes);

/// Writes a line to stderr, control characters that a terminal would act on replaced.
void printError(const std::string& line);

} // namespace torvale::cli
