// Times of a QR code on the bundled example card, per card: the whole card with the code layer
// (drawn, composed, encoded as JPEG), the code's encoding and drawing alone, and the reading
// back of the code from the composed card. Run through bench/codes.sh.
#include "app/image_library.h"
#include "common/settings_store.h"
#include "model/template_file.h"
#include "render/card.h"
#include "render/code_render.h"
#include "render/fonts.h"
#include "render/picture_input.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

using namespace torvale;

namespace {

struct NoLog : LogSink {
    void log(const std::string& line) override { std::fprintf(stderr, "%s", line.c_str()); }
};

double medianMs(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename Step> std::vector<double> timeRounds(int rounds, const Step& step)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        step(i);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto problem = setUpImageLibrary()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: code_steps EXAMPLE.dat [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 100;
    const auto settings = std::filesystem::temp_directory_path() / "torvale-code-steps.json";
    const SettingsStore store(settings.string());
    const FontRegistry fonts = FontRegistry::build(store);
    Template tpl;
    if (!readTemplateFile(argv[1], tpl, 300, {}).ok() ||
        !loadBackgroundPicture(resolveTemplatePath(tpl.background.background_path, argv[1]),
                               tpl.background)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    Layer code = makeLayer(LayerType::Code, LayerLevel::AboveBackground, OverflowStyle::FillScale);
    code.x = 820;
    code.y = 440;
    code.width = code.height = 150;
    code.bind_col_name = "工号";
    tpl.layers.push_back(code);
    renumberLayers(tpl.layers);
    const Layer& layer = tpl.layers.back();

    const CardRenderer renderer(tpl, 300, fonts, resolveTemplatePath(tpl.csv_file_path, argv[1]));
    NoLog log;
    std::atomic<bool> stop{false};
    const auto value = [](int i) { return "A" + std::to_string(100000 + i); };
    const CardRow row = {
        {"姓名", "张伟"}, {"部门", "研发部"}, {"工号", "A0001"}, {"照片", "photos/p01.jpg"}};
    const auto card = timeRounds(rounds, [&](int i) {
        CardRow r = row;
        r["工号"] = value(i);
        renderer.compose(r, tpl.output, log, stop);
    });
    const auto draw = timeRounds(rounds, [&](int i) {
        const CodeEncoding encoded = encodeCode(layer, value(i));
        drawCode(layer, *encoded.symbol, fonts,
                 {0, 0, tpl.background.width, tpl.background.height});
    });
    const RgbaPixels composed = renderer.draw(row, tpl.output, log, stop);
    const CodeEncoding encoded = encodeCode(layer, "A0001");
    const CodeImage drawn = drawCode(layer, *encoded.symbol, fonts,
                                     {0, 0, tpl.background.width, tpl.background.height});
    const auto read = timeRounds(rounds, [&](int) {
        if (!readsBack(composed, drawn, *encoded.symbol))
            std::fprintf(stderr, "the code did not read back\n");
    });
    std::printf("QR layer on the example card, %d rounds, median ms per card\n", rounds);
    std::printf("  whole card (JPEG)     %7.2f\n", medianMs(card));
    std::printf("  encode + draw code    %7.2f  (%4.1f %%)\n", medianMs(draw),
                100 * medianMs(draw) / medianMs(card));
    std::printf("  read back             %7.2f  (%4.1f %%)\n", medianMs(read),
                100 * medianMs(read) / medianMs(card));
    return 0;
}
