// Reads arbitrary bytes as the worksheet part of an otherwise well-formed workbook (the shared
// strings and styles of the example's kind), and checks that the sheet becomes rows a cursor
// reads in order and each found by its number, all valid UTF-8, or a refusal that gives no rows.
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "batch/workbook_source.h"
#include "common/text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zip.h>

namespace {

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kPkg = "http://schemas.openxmlformats.org/package/2006/relationships";

std::vector<std::pair<std::string, std::string>> parts(std::string sheet)
{
    const std::string rel = std::string("<Relationship Type=\"") + kRel;
    return {
        {"_rels/.rels",
         std::string("<Relationships xmlns=\"") + kPkg + "\">" + rel +
             "/officeDocument\" Id=\"a\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", std::string("<workbook xmlns=\"") + kMain + "\" xmlns:r=\"" + kRel +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"s\"/></sheets>"
                                "</workbook>"},
        {"xl/_rels/workbook.xml.rels",
         std::string("<Relationships xmlns=\"") + kPkg + "\">" + rel +
             "/worksheet\" Id=\"s\" Target=\"sheet.xml\"/>" + rel +
             "/sharedStrings\" Id=\"t\" Target=\"strings.xml\"/>" + rel +
             "/styles\" Id=\"u\" Target=\"styles.xml\"/></Relationships>"},
        {"xl/strings.xml", std::string("<sst xmlns=\"") + kMain +
                               "\"><si><t>姓名</t></si><si><r><t>a,</t></r><r><t>\"b</t></r>"
                               "<rPh><t>x</t></rPh></si></sst>"},
        {"xl/styles.xml", std::string("<styleSheet xmlns=\"") + kMain +
                              "\"><numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy h:mm:ss\"/>"
                              "</numFmts><cellXfs><xf/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/>"
                              "</cellXfs></styleSheet>"},
        {"xl/sheet.xml", std::move(sheet)},
    };
}

// The workbook of the current input, removed when the fuzzer ends.
struct ScratchFile {
    std::string path = "/tmp/fuzz-workbook-" + std::to_string(::getpid()) + ".xlsx";
    ~ScratchFile() { ::unlink(path.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    const auto entries = parts(std::string(reinterpret_cast<const char*>(data), size));
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    FUZZ_CHECK(archive != nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        FUZZ_CHECK(source != nullptr && zip_file_add(archive, name.c_str(), source, 0) >= 0);
    }
    FUZZ_CHECK(zip_close(archive) == 0);

    std::unique_ptr<torvale::RowSource> source;
    const torvale::CsvStatus status = torvale::openRowSource(path, true, source);
    if (status != torvale::CsvStatus::Ok) {
        FUZZ_CHECK(!source);
        FUZZ_CHECK(status == torvale::CsvStatus::WorkbookBroken ||
                   status == torvale::CsvStatus::WorkbookTooLarge);
        return 0;
    }
    for (std::size_t i = 0; i < source->columns().size(); ++i)
        FUZZ_CHECK(torvale::isValidUtf8(source->columns()[i]));
    // The cursor ends after the rows counted, numbering them in order; each is also found by
    // its number.
    const auto rows = source->rows();
    torvale::CsvDataRow row;
    torvale::CsvDataRow found;
    std::size_t count = 0;
    while (rows->next(row)) {
        FUZZ_CHECK(row.number == ++count && count <= source->rowCount());
        for (std::size_t i = 0; i < row.cells.size(); ++i)
            FUZZ_CHECK(torvale::isValidUtf8(row.cells[i]));
        FUZZ_CHECK(source->rowAt(count, found) && found.cells == row.cells);
    }
    FUZZ_CHECK(count == source->rowCount());
    return 0;
}
