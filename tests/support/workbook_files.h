#pragma once

#include <string>
#include <utility>
#include <vector>

namespace torvale::test {

/// One entry of a zip archive: its name and bytes.
using ZipEntry = std::pair<std::string, std::string>;

/// Writes the entries, deflated and in order, as a zip archive at path (replacing it).
void writeZip(const std::string& path, const std::vector<ZipEntry>& entries);

/// A worksheet of a test workbook: its name and what goes inside its <sheetData>.
struct TestSheet {
    std::string name;
    std::string rows;
};

/// What a test workbook holds besides its worksheets.
struct TestWorkbook {
    std::vector<TestSheet> sheets;
    std::string sharedStrings; // the <si> elements
    std::string styles;        // the children of <styleSheet> (<numFmts>, <cellXfs>)
    bool date1904 = false;
};

/// The parts of a workbook, as a spreadsheet lays them out: [Content_Types].xml, the
/// relationships, xl/workbook.xml, a part per sheet, the shared strings and the styles.
std::vector<ZipEntry> workbookParts(const TestWorkbook& workbook);

/// Writes a workbook (workbookParts) at path.
void writeWorkbook(const std::string& path, const TestWorkbook& workbook);

} // namespace torvale::test
