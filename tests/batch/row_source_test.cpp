#include "batch/data_file.h"
#include "support/test_support.h"
#include "support/workbook_files.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

using test::TempDir;
using test::TestWorkbook;
using test::writeFile;
using test::writeWorkbook;

// A data row as one string: number, line, skipped mark and cells.
std::string describe(const CsvDataRow& row)
{
    std::string text = std::to_string(row.number) + "@" + std::to_string(row.line) +
                       (row.skipped ? " skipped:" : ":");
    for (std::size_t i = 0; i < row.cells.size(); ++i)
        text += (i ? "|" : "") + std::string(row.cells[i]);
    return text;
}

std::vector<std::string> readAll(RowCursor& cursor)
{
    std::vector<std::string> rows;
    for (CsvDataRow row; cursor.next(row);)
        rows.push_back(describe(row));
    return rows;
}

TEST(RowSource, RowsAtAnyPositionAreTheRowsReadInOrder)
{
    // 200 data rows with a blank line, a cell over two lines and a skipped row among them, as
    // a CSV file and as a workbook: each row found by its number is the row read in order, and
    // a cursor started anywhere reads on to the end.
    TempDir dir;
    std::string csv = "名,号\n";
    TestWorkbook book;
    std::string sheet = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>名</t></is></c>"
                        "<c r=\"B1\" t=\"inlineStr\"><is><t>号</t></is></c></row>";
    for (int i = 1; i <= 200; ++i) {
        const std::string n = std::to_string(i);
        csv += i == 70 ? "\"a\nb\",70\n\n" : i == 130 ? "x,130,extra\n" : "人" + n + "," + n + "\n";
        const std::string r = std::to_string(i + 1);
        sheet += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"inlineStr\"><is><t>人" + n +
                 "</t></is></c><c r=\"" + (i == 130 ? "C" : "B") + r + "\"><v>" + n +
                 "</v></c></row>";
    }
    book.sheets = {{"S", sheet}};
    writeFile(dir.file("rows.csv"), csv);
    writeWorkbook(dir.file("rows.xlsx"), book);

    for (const char* name : {"rows.csv", "rows.xlsx"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> visited;
        std::unique_ptr<RowSource> source;
        ASSERT_EQ(openRowSource(dir.file(name), true, source,
                                [&](const CsvDataRow& row, const PackedStrings& columns) {
                                    EXPECT_EQ(columns.toVector(),
                                              (std::vector<std::string>{"名", "号"}));
                                    visited.push_back(describe(row));
                                }),
                  CsvStatus::Ok);
        ASSERT_EQ(source->rowCount(), 200u);
        const std::vector<std::string> all = readAll(*source->rows());
        EXPECT_EQ(all, visited);
        ASSERT_EQ(all.size(), 200u);
        EXPECT_EQ(all[64], "65@66:人65|65");
        EXPECT_TRUE(all[129].starts_with("130@")) << all[129];
        EXPECT_TRUE(all[129].find("skipped") != std::string::npos) << all[129];
        for (std::size_t number = 1; number <= 200; ++number) {
            CsvDataRow row;
            ASSERT_TRUE(source->rowAt(number, row)) << number;
            ASSERT_EQ(describe(row), all[number - 1]);
        }
        const auto tail = source->rows(190);
        EXPECT_EQ(readAll(*tail), std::vector<std::string>(all.begin() + 189, all.end()));
        CsvDataRow row;
        EXPECT_FALSE(source->rowAt(0, row));
        EXPECT_FALSE(source->rowAt(201, row));
    }
}

TEST(RowSourceCache, ReadsTheFileAgainOnlyWhenItChanged)
{
    TempDir dir;
    const std::string path = dir.file("d.csv");
    writeFile(path, "名\n甲\n");
    RowSourceCache cache;
    std::shared_ptr<const RowSource> first;
    std::shared_ptr<const RowSource> again;
    ASSERT_EQ(cache.open(path, true, first), CsvStatus::Ok);
    ASSERT_EQ(cache.open(path, true, again), CsvStatus::Ok);
    EXPECT_EQ(first, again) << "unchanged: the rows already read";
    ASSERT_EQ(cache.open(path, false, again), CsvStatus::Ok);
    EXPECT_NE(first, again) << "other trimming: read again";

    struct Change {
        const char* what;
        const char* text;
        bool touch; // a modification time one second later
        std::size_t rows;
    };
    const Change changes[] = {
        {"longer", "名\n甲\n乙\n", false, 2},
        {"same size, later", "名\n丙\n丁\n", true, 2},
        {"shorter", "名\n", false, 0},
    };
    for (const Change& change : changes) {
        ASSERT_EQ(cache.open(path, true, first), CsvStatus::Ok);
        const auto before = std::filesystem::last_write_time(path);
        writeFile(path, change.text);
        if (change.touch)
            std::filesystem::last_write_time(path, before + std::chrono::seconds(1));
        ASSERT_EQ(cache.open(path, true, again), CsvStatus::Ok) << change.what;
        EXPECT_NE(first, again) << change.what;
        EXPECT_EQ(again->rowCount(), change.rows) << change.what;
    }

    // A file gone is an error, however recently it was read; the rows handed out stay valid.
    std::filesystem::remove(path);
    std::shared_ptr<const RowSource> gone;
    EXPECT_EQ(cache.open(path, true, gone), CsvStatus::CannotAccess);
    EXPECT_FALSE(gone);
    EXPECT_EQ(again->rowCount(), 0u);
}

} // namespace
} // namespace torvale
