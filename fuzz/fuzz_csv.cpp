// Decodes arbitrary bytes as a CSV file and cuts them into rows with trimming on and off, with
// the raw reader, the data-row walker the batch, the row check and the commands use, and the
// header alone as the column lists read it.
#include "batch/csv_source.h"
#include "batch/row_source.h"
#include "common/text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using torvale::CsvReader;
using torvale::CsvRows;
using torvale::PackedStrings;

struct Row {
    PackedStrings cells;
    std::size_t line = 0;
    std::size_t quoteLine = 0;
};

// Every row the reader yields. Each row takes at least one byte of the text, so more rows than
// bytes means the reader is going round in circles.
std::vector<Row> readAllRows(std::string_view text, bool trim)
{
    std::vector<Row> rows;
    CsvReader reader(text, torvale::csvFormatFor(trim));
    Row row;
    while (reader.next(row.cells, row.line)) {
        row.quoteLine = reader.unclosedQuoteLine();
        FUZZ_CHECK(!row.cells.empty());
        FUZZ_CHECK(row.line >= 1);
        FUZZ_CHECK(rows.empty() || row.line > rows.back().line);
        // A quote left open takes the rest of the text: nothing can follow its row.
        FUZZ_CHECK(rows.empty() || rows.back().quoteLine == 0);
        FUZZ_CHECK(row.quoteLine == 0 || row.quoteLine >= row.line);
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
        FUZZ_CHECK(trimmed[i].quoteLine == plain[i].quoteLine);
        FUZZ_CHECK(trimmed[i].cells.size() == plain[i].cells.size());
        for (std::size_t c = 0; c < plain[i].cells.size(); ++c)
            FUZZ_CHECK(trimmed[i].cells[c] == torvale::trimSpacesTabs(plain[i].cells[c]));
    }

    for (const bool trim : {true, false}) {
        const std::vector<Row>& rows = trim ? trimmed : plain;
        const auto format = torvale::csvFormatFor(trim);
        CsvRows walker(text, format);
        if (rows.empty()) {
            FUZZ_CHECK(walker.header().empty() && walker.headerLine() == 0);
            torvale::CsvDataRow none;
            FUZZ_CHECK(!walker.next(none));
            continue;
        }
        // The first row is the header; every other row is a data row, numbered in order and
        // skipped exactly when its cell count differs from the header's.
        FUZZ_CHECK(walker.header() == rows.front().cells);
        FUZZ_CHECK(walker.headerLine() == rows.front().line);
        FUZZ_CHECK(walker.headerUnclosedQuoteLine() == rows.front().quoteLine);
        torvale::CsvDataRow row;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            FUZZ_CHECK(walker.next(row));
            FUZZ_CHECK(row.number == i);
            FUZZ_CHECK(row.line == rows[i].line);
            FUZZ_CHECK(row.unclosedQuoteLine == rows[i].quoteLine);
            FUZZ_CHECK(row.cells == rows[i].cells);
            FUZZ_CHECK(row.skipped == (rows[i].cells.size() != rows.front().cells.size()));
            const std::vector<std::string> notes =
                torvale::csvRowNotes(row, walker.header().size());
            FUZZ_CHECK(notes.size() ==
                       (row.skipped ? 1u : 0u) + (row.unclosedQuoteLine > 0 ? 1u : 0u));
        }
        FUZZ_CHECK(!walker.next(row));

        // The header read alone, as the column lists read it, and a row found by its number,
        // as the preview and the card command find it.
        CsvRows headerOnly(text, format);
        FUZZ_CHECK(headerOnly.takeHeader() == rows.front().cells);
        const std::size_t wanted = size == 0 ? 0 : data[0] % rows.size();
        const auto source = torvale::makeCsvRowSource(std::string(text), format);
        FUZZ_CHECK(source->rowCount() == rows.size() - 1);
        torvale::CsvDataRow found;
        FUZZ_CHECK(source->rowAt(wanted, found) == (wanted >= 1));
        if (wanted >= 1)
            FUZZ_CHECK(found.number == wanted && found.cells == rows[wanted].cells);
    }
    return 0;
}
