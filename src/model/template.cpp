#include "model/template.h"

#include "common/text.h"

#include <cmath>
#include <cstdlib>

namespace torvale {

namespace {

constexpr double kPointsPerCm = 28.346;
constexpr double kPointsPerMm = 2.8346;
constexpr double kPointsPerInch = 72.0;

} // namespace

const char* colorspaceText(OutputColorspace colorspace)
{
    switch (colorspace) {
    case OutputColorspace::Rgb:
        return "RGB";
    case OutputColorspace::Cmyk:
        return "CMYK";
    case OutputColorspace::Gray:
        return "灰色";
    case OutputColorspace::SRgb:
        break;
    }
    return "sRGB";
}

std::int32_t sizeToPixels(const std::string& text, SizeUnit unit, std::int32_t dpi)
{
    if (unit == SizeUnit::Pixel) {
        const long value = std::strtol(text.c_str(), nullptr, 10);
        if (value <= 0)
            return 1;
        return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
    }
    double value = std::strtod(text.c_str(), nullptr);
    if (!(value > 0))
        value = 1;
    double inches = value;
    if (unit == SizeUnit::Centimetre)
        inches = value * kPointsPerCm / kPointsPerInch;
    else if (unit == SizeUnit::Millimetre)
        inches = value * kPointsPerMm / kPointsPerInch;
    const double p = inches * dpi;
    if (!(p < static_cast<double>(INT32_MAX)))
        return INT32_MAX;
    double whole = std::floor(p);
    if (p - whole > 0.5)
        whole += 1;
    return whole <= 0 ? 1 : static_cast<std::int32_t>(whole);
}

std::string pixelsToSizeText(std::int32_t pixels, SizeUnit unit, std::int32_t dpi)
{
    switch (unit) {
    case SizeUnit::Centimetre:
        return formatText("%0.2f", pixels / kPointsPerCm * kPointsPerInch / dpi);
    case SizeUnit::Millimetre:
        return formatText("%0.2f", pixels / kPointsPerMm * kPointsPerInch / dpi);
    case SizeUnit::Inch:
        return formatText("%0.3f", static_cast<double>(pixels) / dpi);
    case SizeUnit::Pixel:
        break;
    }
    return formatText("%d", pixels);
}

bool followsLayerLevel(LayerType type)
{
    return type != LayerType::Text;
}

Layer makeLayer(LayerType type, LayerLevel defaultLevel, OverflowStyle defaultOverflow)
{
    Layer layer;
    layer.type = type;
    layer.layer_level = defaultLevel;
    layer.overflow_style = defaultOverflow;
    // A code needs a value to be drawn at all: the editor shows this one until it is changed.
    if (type == LayerType::Code)
        layer.text = kDefaultCodeDemo;
    // The default level is the pictures' setting: a new code or shape starts where it shows.
    if (type == LayerType::Code || type == LayerType::Shape)
        layer.layer_level = LayerLevel::AboveBackground;
    if (type == LayerType::Shape) {
        layer.color = kDefaultShapeFillValue;
        layer.htmlColor = kDefaultShapeFill;
    }
    return layer;
}

void renumberLayers(std::vector<Layer>& layers)
{
    for (std::size_t i = 0; i < layers.size(); ++i)
        layers[i].number = static_cast<std::int32_t>(i + 1);
}

void resetTemplate(Template& tpl)
{
    BackgroundLayer background;
    background.dpi = tpl.background.dpi;
    // The colour last chosen in the colour dialog stays offered for the next template.
    background.chosenColor = tpl.background.chosenColor;
    tpl.background = std::move(background);
    tpl.layers.clear();
    tpl.csv_file_path.clear();
    tpl.is_trim_csv_cell_value = true;
    tpl.output.outputFolder.clear();
    tpl.output.file_name_bind_col_name.clear();
    tpl.output.file_name_bind_col_name2.clear();
    tpl.output.serialStart = kDefaultSerialStart;
}

void updateCustomCanvasSize(BackgroundLayer& background)
{
    background.sizeUnreadable = false;
    background.width = sizeToPixels(background.szWidth, background.unit, background.dpi);
    background.height = sizeToPixels(background.szHeight, background.unit, background.dpi);
}

void setBackgroundColorMode(BackgroundLayer& background, BackgroundColorMode mode)
{
    background.colorMode = mode;
    background.hasAlpha = mode == BackgroundColorMode::Transparent;
    if (mode == BackgroundColorMode::White)
        background.drawingColor = 0xFFFFFF;
    else if (mode == BackgroundColorMode::Chosen)
        background.drawingColor = background.chosenColor;
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace torvale
