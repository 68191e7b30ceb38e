// Decodes arbitrary bytes as a CSV file and cuts them into rows with trimming on and off.
#include "batch/csv_source.h"
#include "common/text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using torvale::CsvReader;

struct Row {
    std::vector<std::string> cells;
    std::size_t line = 0;
};

// Every row the reader yields. Each row takes at least one byte of the text, so more rows than
// bytes means the reader is going round in circles.
std::vector<Row> readAllRows(std::string_view text, bool trim)
{
    std::vector<Row> rows;
    CsvReader reader(text, torvale::csvFormatFor(trim));
    Row row;
    while (reader.next(row.cells, row.line)) {
        FUZZ_CHECK(!row.cells.empty());
        FUZZ_CHECK(row.line >= 1);
        FUZZ_CHECK(rows.empty() || row.line > rows.back().line);
        rows.push_back(row);
        FUZZ_CHECK(rows.size() <= text.size());
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text =
        torvale::decodeCsvText(std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(torvale::isValidUtf8(text));

    const std::vector<Row> trimmed = readAllRows(text, true);
    const std::vector<Row> plain = readAllRows(text, false);
    // Trimming works on cell values only: the rows, their lines and cell counts stay the same.
    FUZZ_CHECK(trimmed.size() == plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        FUZZ_CHECK(trimmed[i].line == plain[i].line);
        FUZZ_CHECK(trimmed[i].cells.size() == plain[i].cells.size());
        for (std::size_t c = 0; c < plain[i].cells.size(); ++c)
            FUZZ_CHECK(trimmed[i].cells[c] == torvale::trimSpacesTabs(plain[i].cells[c]));
    }

    for (const bool trim : {true, false}) {
        const std::vector<Row>& rows = trim ? trimmed : plain;
        const torvale::CsvTable table = torvale::readCsv(text, torvale::csvFormatFor(trim));
        if (rows.empty()) {
            FUZZ_CHECK(table.header.empty() && table.rows.empty() && table.dropped.empty());
            continue;
        }
        // The first row is the header; every other row is kept or listed as dropped, in order.
        FUZZ_CHECK(table.header == rows.front().cells);
        FUZZ_CHECK(table.rows.size() + table.dropped.size() == rows.size() - 1);
        std::size_t nextRow = 0;
        std::size_t nextDropped = 0;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            if (rows[i].cells.size() == table.header.size()) {
                FUZZ_CHECK(nextRow < table.rows.size() && table.rows[nextRow++] == rows[i].cells);
            } else {
                FUZZ_CHECK(nextDropped < table.dropped.size());
                FUZZ_CHECK(table.dropped[nextDropped].line == rows[i].line);
                FUZZ_CHECK(table.dropped[nextDropped++].cells == rows[i].cells.size());
            }
        }
    }
    return 0;
}
