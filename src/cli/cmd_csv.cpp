#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "cli/cli_common.h"
#include "common/text.h"

#include <new>
#include <optional>
#include <string>
#include <unistd.h>

namespace torvale::cli {

namespace {

constexpr const char* kColumnsUsage =
    "Usage: torvale-batch columns FILE.csv [--no-trim]\n"
    "\n"
    "Prints the column names of the CSV file (its first row), one per line, in UTF-8. On a\n"
    "terminal, control characters and line breaks in a name are shown as U+FFFD.\n"
    "\n"
    "FILE may be an Excel workbook (.xlsx): its first worksheet, or the one named after a '#'\n"
    "(staff.xlsx#Sheet2), is read as the CSV file it would be; the same holds for --csv.\n"
    "\n"
    "Options:\n"
    "  --no-trim   keep spaces and tabs at both ends of each name\n"
    "  -h, --help  show this help\n";

constexpr const char* kRowsUsage =
    "Usage: torvale-batch rows FILE.csv [--no-trim]\n"
    "\n"
    "Prints every data row the batch reads, one JSON array of strings per line, in UTF-8.\n"
    "Rows whose number of cells differs from the header's are skipped and reported on stderr,\n"
    "as data row and line of the file, as is a quote that is never closed.\n"
    "\n"
    "FILE may be an Excel workbook (.xlsx): its first worksheet, or the one named after a '#'\n"
    "(staff.xlsx#Sheet2), is read as the CSV file it would be; a row's line is its row number.\n"
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

constexpr std::size_t kFlushSize = 1 << 16;

int runColumnsCommand(const ParsedArgs& args)
{
    const std::string& path = args.positional[0];
    CsvStatus status = CsvStatus::Ok;
    const auto columns = loadCsvColumns(path, args.flags.count("--no-trim") == 0, &status);
    if (!columns) {
        printError(csvStatusMessage(path, status));
        return kExitUsage;
    }
    // A pipe gets the names as they are, as data; a terminal would act on their escape
    // sequences and show a line break inside a name as two columns.
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    std::string out;
    for (std::size_t i = 0; i < columns->size(); ++i) {
        out += terminal ? replaceTerminalControls((*columns)[i], false) : (*columns)[i];
        out += '\n';
        if (out.size() >= kFlushSize) {
            writeStdout(out);
            out.clear();
        }
    }
    writeStdout(out);
    return kExitOk;
}

int runRowsCommand(const ParsedArgs& args)
{
    const std::string& path = args.positional[0];
    std::unique_ptr<RowSource> source;
    if (const CsvStatus status = openRowSource(path, args.flags.count("--no-trim") == 0, source);
        status != CsvStatus::Ok) {
        printError(csvStatusMessage(path, status));
        return kExitUsage;
    }
    std::string out;
    try {
        if (const std::size_t quoteLine = source->headerUnclosedQuoteLine())
            printError(formatText(kMsgHeaderUnclosedQuote, quoteLine));
        const auto rows = source->rows();
        CsvDataRow row;
        while (rows->next(row)) {
            for (const std::string& note : csvRowNotes(row, source->columns().size()))
                printError(note);
            if (row.skipped)
                continue;
            out += '[';
            for (std::size_t i = 0; i < row.cells.size(); ++i) {
                if (i > 0)
                    out += ',';
                appendJsonString(out, row.cells[i]);
            }
            out += "]\n";
            if (out.size() >= kFlushSize) {
                writeStdout(out);
                out.clear();
            }
        }
    } catch (const std::bad_alloc&) {
        // The whole rows printed so far stand; the message says the file was not read to its
        // end.
        out.erase(out.rfind('\n') + 1);
        writeStdout(out);
        printError(csvStatusMessage(path, CsvStatus::OutOfMemory));
        return kExitUsage;
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
    runColumnsCommand,
};

const CommandSpec kRowsCommand = {
    "rows",
    "  rows FILE.csv [--no-trim]     print every data row the batch reads, as JSON arrays\n",
    kRowsUsage,
    {},
    {"--no-trim"},
    {},
    "expected one CSV file",
    runRowsCommand,
};

} // namespace torvale::cli
