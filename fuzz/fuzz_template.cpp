// Reads arbitrary bytes as a template file. A template that reads must survive a save: its JSON
// reads again, and writing that gives the same bytes.
#include "model/template_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using torvale::CsvColumnLoader;
using torvale::Template;

constexpr const char* kPath = "fuzz.dat";
constexpr std::int32_t kCurrentDpi = 72;

// The file-name columns are matched against the CSV header only when the CSV file loads, so
// the fuzzer picks with the input's last byte (outside the JSON text, which may end anywhere)
// whether it does.
CsvColumnLoader columnLoader(bool csvLoads)
{
    if (!csvLoads)
        return [](const std::string&, bool) { return std::optional<torvale::PackedStrings>(); };
    return [](const std::string&, bool) {
        return std::optional<torvale::PackedStrings>({"工号", "姓名", "Name", "照片", "name"});
    };
}

// Shows the first line where the two texts differ, then both texts.
[[noreturn]] void fail(const char* what, const std::string& first, const std::string& second)
{
    std::size_t start = 0;
    std::size_t line = 1;
    for (std::size_t i = 0; i < first.size() && i < second.size() && first[i] == second[i]; ++i) {
        if (first[i] == '\n') {
            start = i + 1;
            ++line;
        }
    }
    const auto lineAt = [start](const std::string& text) {
        return text.substr(start, text.find('\n', start) - start);
    };
    std::fprintf(
        stderr, "%s; line %zu:\n  %s\nbecame\n  %s\n--- first ---\n%s\n--- second ---\n%s\n", what,
        line, lineAt(first).c_str(), lineAt(second).c_str(), first.c_str(), second.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CsvColumnLoader loader = columnLoader(size > 0 && (data[size - 1] & 1) != 0);

    Template tpl;
    const auto read = torvale::readTemplateText(text, kPath, tpl, kCurrentDpi, loader);
    if (!read.ok())
        return 0;
    // The editor makes the file's dpi the current one before anything is saved.
    const std::int32_t dpi = read.dpi.value_or(kCurrentDpi);
    const std::string first = torvale::templateToJson(tpl, dpi);

    Template again;
    const auto reread = torvale::readTemplateText(first, kPath, again, dpi, loader);
    if (!reread.ok())
        fail("a saved template does not read again", first, reread.message);
    const std::string second = torvale::templateToJson(again, reread.dpi.value_or(dpi));
    if (second != first)
        fail("a saved template reads back differently", first, second);
    return 0;
}
