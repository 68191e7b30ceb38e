#include "app/layer_properties.h"

#include "common/text.h"
#include "render/code_render.h"
#include "render/text_render.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace torvale {

namespace {

bool hasNonAscii(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

} // namespace

std::vector<std::string> fontListOrder(const std::vector<std::string>& names)
{
    std::vector<std::string> ordered;
    std::copy_if(names.begin(), names.end(), std::back_inserter(ordered),
                 [](const std::string& name) { return hasNonAscii(name); });
    std::copy_if(names.begin(), names.end(), std::back_inserter(ordered),
                 [](const std::string& name) { return !hasNonAscii(name); });
    return ordered;
}

std::vector<std::string> fontSizeEntries(const std::string& current)
{
    std::vector<std::string> entries;
    for (int size : kOfferedFontSizes)
        entries.push_back(std::to_string(size));
    if (!current.empty() && std::find(entries.begin(), entries.end(), current) == entries.end())
        entries.insert(entries.begin(), current);
    return entries;
}

bool isBoldSelectable(const FontRegistry& fonts, const std::string& family)
{
    const std::vector<FontEntry>* entries = fonts.family(family);
    if (!entries)
        return false;
    const auto heavy = [](const FontEntry& e) { return e.weight > 400; };
    return std::any_of(entries->begin(), entries->end(), heavy) &&
           !std::all_of(entries->begin(), entries->end(), heavy);
}

std::optional<PropertyWarning> checkLayerFont(const FontRegistry& fonts, const std::string& font,
                                              const std::string& demoText)
{
    if (isBlankText(demoText) ||
        std::find(fonts.fontNames().begin(), fonts.fontNames().end(), font) ==
            fonts.fontNames().end())
        return std::nullopt;
    if (hasNonAscii(demoText)) {
        if (!fontSupportsText(fonts, font, true))
            return PropertyWarning{"当前字体不支持中文", "请选择一个中文字体，例如：宋体, 楷体, 黑体"};
    } else if (!fontSupportsText(fonts, font, false)) {
        return PropertyWarning{"当前字体不支持显示演示文本", "请重新选择一个字体"};
    }
    // The text is drawn, but not in the style the name promises.
    if (const auto used = fonts.standInFamily(font))
        return PropertyWarning{"当前字体未安装，使用 " + *used, ""};
    return std::nullopt;
}

std::string newLayerFont(const FontRegistry& fonts)
{
    const std::string standard = Layer{}.fontName;
    if (fonts.hasFontName(standard) && !fonts.standInFamily(standard))
        return standard;
    const FontEntry* fallback = fonts.fallbackFont();
    return fallback ? fallback->family : standard;
}

bool acceptsPastedInteger(std::string_view result)
{
    if (result == "-")
        return true;
    if (!result.empty() && result.front() == '-')
        result.remove_prefix(1);
    return !result.empty() &&
           std::all_of(result.begin(), result.end(), [](char c) { return c >= '0' && c <= '9'; });
}

NumericFieldValue numericFieldValue(const std::string& text, std::int32_t minimum)
{
    if (text.empty())
        return {};
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // A lone "-" reads as nothing yet; values past the field's few characters cannot happen.
    if (error != std::errc() || end != text.data() + text.size())
        return {};
    if (value < minimum)
        return {std::nullopt, true};
    return {value, false};
}

const char* layerTypeName(LayerType type)
{
    switch (type) {
    case LayerType::Text:
        return "字";
    case LayerType::Picture:
        return "图";
    case LayerType::Code:
        return "码";
    case LayerType::Shape:
        return "形";
    }
    return "";
}

bool codeTypeHasErrorLevel(const std::string& codeType)
{
    return codeType == "QR";
}

std::optional<PropertyWarning> checkCodeLayer(const Layer& layer)
{
    if (layer.text.empty())
        return std::nullopt;
    const CodeEncoding encoded = encodeCode(layer, layer.text);
    if (!encoded.symbol)
        return PropertyWarning{"演示内容无法生成" + layer.codeType, encoded.reason};
    if (layer.hasRect() && codeModuleSize(layer, *encoded.symbol) < kMinCodeModule)
        return PropertyWarning{"图层太小，放不下条码", "请加大图层或缩短内容"};
    return std::nullopt;
}

int columnListIndex(const Layer& layer, const std::vector<std::string>& columns)
{
    if (layer.isFixed)
        return 0;
    const auto found = std::find(columns.begin(), columns.end(), layer.bind_col_name);
    return found == columns.end() ? 1 : static_cast<int>(found - columns.begin()) + 2;
}

void applyColumnListEntry(Layer& layer, int index, const std::vector<std::string>& columns)
{
    if (index == 0) {
        layer.isFixed = true;
        return;
    }
    layer.isFixed = false;
    layer.bind_col_name = index >= 2 && index - 2 < static_cast<int>(columns.size())
                              ? columns[static_cast<std::size_t>(index) - 2]
                              : std::string();
}

std::string printedSizeText(std::int32_t fontSize, std::int32_t dpi)
{
    return formatText("≈ %.1f 磅（打印）", printedPoints(fontSize * double{kTextDpi} / 72.0, dpi));
}

std::optional<std::string> listedFontName(const FontRegistry& fonts, const std::string& name)
{
    const std::vector<std::string>& listed = fonts.fontNames();
    if (std::find(listed.begin(), listed.end(), name) != listed.end())
        return name;
    // The listed name whose family has the same font files.
    const std::vector<FontEntry>* entries = fonts.family(name);
    if (!entries || entries->empty())
        return std::nullopt;
    for (const std::string& candidate : listed) {
        const std::vector<FontEntry>* other = fonts.family(candidate);
        if (other && !other->empty() && other->front().filePath == entries->front().filePath)
            return candidate;
    }
    return std::nullopt;
}

} // namespace torvale
