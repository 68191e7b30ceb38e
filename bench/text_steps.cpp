// Times of the texts of a card, per card, on one thread as a batch worker draws them: every text
// layer of the template laid out and drawn with the row's cell (renderTextBox), for each row of
// a CSV file in turn, after one pass over the rows that opens the faces and fills the glyph
// cache. Run through bench/text.sh.
#include "app/image_library.h"
#include "batch/card_columns.h"
#include "batch/csv_source.h"
#include "batch/data_file.h"
#include "common/settings_store.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/fonts.h"
#include "render/text_render.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

using namespace torvale;

namespace {

double percentile(std::vector<double> times, double share)
{
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, static_cast<std::size_t>(share * times.size()))];
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto problem = setUpImageLibrary()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: text_steps TEMPLATE.dat ROWS.csv\n");
        return 2;
    }
    const auto settings = std::filesystem::temp_directory_path() / "torvale-text-steps.json";
    const FontRegistry fonts = FontRegistry::build(SettingsStore(settings.string()));
    Template tpl;
    std::unique_ptr<RowSource> source;
    if (!readTemplateFile(argv[1], tpl, 300, {}).ok() ||
        openRowSource(argv[2], true, source) != CsvStatus::Ok) {
        std::fprintf(stderr, "cannot open %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    const CardColumns columns(source->columns(), tpl);
    std::vector<CardRow> rows;
    const auto csv = source->rows();
    for (CsvDataRow cells; csv->next(cells);)
        rows.push_back(columns.row(cells));
    std::vector<const Layer*> texts;
    for (const Layer& layer : tpl.layers) {
        if (layer.type == LayerType::Text)
            texts.push_back(&layer);
    }
    if (rows.empty() || texts.empty()) {
        std::fprintf(stderr, "no rows or no text layers\n");
        return 1;
    }
    std::size_t drawn = 0;
    const auto card = [&](const CardRow& row) {
        for (const Layer* layer : texts) {
            std::string storage;
            if (const std::string* cell = layerCell(*layer, row, storage))
                drawn += renderTextBox(*layer, *cell, fonts).box ? 1 : 0;
        }
    };
    const auto start = std::chrono::steady_clock::now();
    for (const CardRow& row : rows)
        card(row);
    const double firstPass =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::vector<double> times;
    for (const CardRow& row : rows) {
        const auto begin = std::chrono::steady_clock::now();
        card(row);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count());
    }
    double total = 0;
    for (const double t : times)
        total += t;
    std::printf("%zu text layers, %zu rows, %zu boxes drawn\n", texts.size(), rows.size(), drawn);
    std::printf("  first pass (faces opened, glyphs rendered): %.3f ms per card\n",
                firstPass / static_cast<double>(rows.size()));
    std::printf("  per card: mean %.3f ms, median %.3f ms, 90th percentile %.3f ms\n",
                total / static_cast<double>(times.size()), percentile(times, 0.5),
                percentile(times, 0.9));
    return 0;
}
