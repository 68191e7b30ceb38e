#include "support/workbook_files.h"

#include <gtest/gtest.h>
#include <memory>
#include <zip.h>

namespace torvale::test {

namespace {

constexpr const char* kXmlHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kPackageRelationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";

std::string relationship(const std::string& id, const std::string& type, const std::string& target)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelationships + "/" + type +
           "\" Target=\"" + target + "\"/>";
}

} // namespace

void writeZip(const std::string& path, const std::vector<ZipEntry>& entries)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr) << "zip_open " << error;
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        ASSERT_NE(source, nullptr);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zip_source_free(source);
        ASSERT_GE(index, 0) << name;
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0);
    }
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

std::vector<ZipEntry> workbookParts(const TestWorkbook& workbook)
{
    std::string sheets;
    std::string relationships;
    std::vector<ZipEntry> sheetParts;
    for (std::size_t i = 0; i < workbook.sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        sheets += "<sheet name=\"" + workbook.sheets[i].name + "\" sheetId=\"" + n +
                  "\" r:id=\"rId" + n + "\"/>";
        relationships += relationship("rId" + n, "worksheet", "worksheets/sheet" + n + ".xml");
        sheetParts.emplace_back("xl/worksheets/sheet" + n + ".xml",
                                std::string(kXmlHeader) + "<worksheet xmlns=\"" + kMain +
                                    "\"><sheetData>" + workbook.sheets[i].rows +
                                    "</sheetData></worksheet>");
    }
    relationships += relationship("rIdS", "sharedStrings", "sharedStrings.xml") +
                     relationship("rIdT", "styles", "/xl/styles.xml");
    std::vector<ZipEntry> parts = {
        {"[Content_Types].xml",
         std::string(kXmlHeader) +
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
        {"_rels/.rels",
         std::string(kXmlHeader) + "<Relationships xmlns=\"" + kPackageRelationships + "\">" +
             relationship("rId1", "officeDocument", "xl/workbook.xml") + "</Relationships>"},
        {"xl/workbook.xml", std::string(kXmlHeader) + "<workbook xmlns=\"" + kMain +
                                "\" xmlns:r=\"" + kRelationships + "\">" +
                                (workbook.date1904 ? "<workbookPr date1904=\"1\"/>" : "") +
                                "<sheets>" + sheets + "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", std::string(kXmlHeader) + "<Relationships xmlns=\"" +
                                           kPackageRelationships + "\">" + relationships +
                                           "</Relationships>"},
    };
    parts.insert(parts.end(), sheetParts.begin(), sheetParts.end());
    parts.emplace_back("xl/sharedStrings.xml", std::string(kXmlHeader) + "<sst xmlns=\"" + kMain +
                                                   "\">" + workbook.sharedStrings + "</sst>");
    parts.emplace_back("xl/styles.xml", std::string(kXmlHeader) + "<styleSheet xmlns=\"" + kMain +
                                            "\">" + workbook.styles + "</styleSheet>");
    return parts;
}

void writeWorkbook(const std::string& path, const TestWorkbook& workbook)
{
    writeZip(path, workbookParts(workbook));
}

} // namespace torvale::test
