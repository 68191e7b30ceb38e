#include "batch/csv_source.h"
#include "cli/cli_common.h"
#include "common/text.h"

#include <optional>
#include <string>

namespace torvale::cli {

namespace {

constexpr const char* kColumnsUsage =
    "Usage: torvale-batch columns FILE.csv [--no-trim]\n"
    "\n"
    "Prints the column names of the CSV file (its first row), one per line, in UTF-8.\n"
    "\n"
    "Options:\n"
    "  --no-trim   keep spaces and tabs at both ends of each name\n"
    "  -h, --help  show this help\n";

constexpr const char* kRowsUsage =
    "Usage: torvale-batch rows FILE.csv [--no-trim]\n"
    "\n"
    "Prints every data row the batch reads, one JSON array of strings per line, in UTF-8.\n"
    "Rows whose number of cells differs from the header's are skipped and reported on stderr.\n"
    "\n"
    "Options:\n"
    "  --no-trim   keep spaces and tabs at both ends of each cell\n"
    "  -h, --help  show this help\n";

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += formatText("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            else
                out += c; // non-ASCII UTF-8 bytes are written as they are
        }
    }
    out += '"';
}

int runCsvCommand(const ParsedArgs& args, bool printRows)
{
    const std::string& path = args.positional[0];
    const auto table = loadCsvFile(path, args.flags.count("--no-trim") == 0);
    if (!table) {
        printError(csvCannotAccessMessage(path));
        return kExitUsage;
    }

    constexpr std::size_t kFlushSize = 1 << 16;
    std::string out;
    if (!printRows) {
        for (const auto& name : table->header) {
            out += name;
            out += '\n';
        }
        writeStdout(out);
        return kExitOk;
    }
    for (const auto& dropped : table->dropped)
        printError(formatText(kMsgRowDropped, dropped.line, dropped.cells, table->header.size()));
    for (const auto& row : table->rows) {
        out += '[';
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                out += ',';
            appendJsonString(out, row[i]);
        }
        out += "]\n";
        if (out.size() >= kFlushSize) {
            writeStdout(out);
            out.clear();
        }
    }
    writeStdout(out);
    return kExitOk;
}

} // namespace

const CommandSpec kColumnsCommand = {
    "columns",
    "  columns FILE.csv [--no-trim]  print the CSV file's column names, one per line\n",
    kColumnsUsage,
    {},
    {"--no-trim"},
    {},
    "expected one CSV file",
    [](const ParsedArgs& args) { return runCsvCommand(args, false); },
};

const CommandSpec kRowsCommand = {
    "rows",
    "  rows FILE.csv [--no-trim]     print every data row the batch reads, as JSON arrays\n",
    kRowsUsage,
    {},
    {"--no-trim"},
    {},
    "expected one CSV file",
    [](const ParsedArgs& args) { return runCsvCommand(args, true); },
};

} // namespace torvale::cli
