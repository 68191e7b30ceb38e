#include "render/thumbnail.h"

#include "model/layer_fields.h"
#include "model/template_file.h"
#include "model/text_fields.h"
#include "render/code_render.h"
#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/text_render.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace torvale {

namespace {

// A shape's picture is at most this large; the canvas stretches a smaller one over the layer.
constexpr double kMaxShapeSide = 4096;
constexpr double kMaxShapePixels = 8.0 * 1024 * 1024;

Thumbnail shapeThumbnail(const Layer& layer)
{
    Thumbnail image;
    if (layer.width <= 0 || layer.height <= 0)
        return image;
    const double width = layer.width;
    const double height = layer.height;
    const double scale = std::min({1.0, kMaxShapeSide / width, kMaxShapeSide / height,
                                   std::sqrt(kMaxShapePixels / (width * height))});
    Layer drawn = layer;
    if (scale < 1) {
        const auto scaled = [scale](std::int32_t value) {
            return static_cast<std::int32_t>(std::lround(value * scale));
        };
        drawn.width = std::max(1, scaled(layer.width));
        drawn.height = std::max(1, scaled(layer.height));
        drawn.cornerRadius =
            scaled(std::min(layer.cornerRadius, std::min(layer.width, layer.height)));
        drawn.borderWidth =
            scaled(std::min(layer.borderWidth, std::min(layer.width, layer.height)));
    }
    try {
        drawShapePixels(drawn, image);
    } catch (const std::bad_alloc&) {
        image = Thumbnail();
    }
    return image;
}

// What a text or code layer shows without a data row.
std::string shownText(const Layer& layer, std::int64_t serialStart)
{
    return layer.isFixed ? fillSerialFields(layer.text, serialStart) : layer.text;
}

} // namespace

std::string thumbnailKey(const Layer& layer, const std::string& templatePath,
                         std::int64_t serialStart)
{
    std::string key(1, static_cast<char>('0' + static_cast<int>(layer.type)));
    for (const LayerFieldInfo& field : layerFields()) {
        if (field.thumbnail & layerTypeBit(layer.type))
            key += fieldText(field, layer) + '\0';
    }
    // A picture layer's relative demo path names another file in another template's folder.
    if (layer.type == LayerType::Picture)
        key += templatePath;
    else if (std::string shown = shownText(layer, serialStart); shown != layer.text)
        key += shown; // the serial shown follows the template's first serial
    return key;
}

Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath, std::int64_t serialStart)
{
    if (layer.type == LayerType::Text)
        return renderLayerImage(layer, shownText(layer, serialStart), fonts);
    if (layer.type == LayerType::Code)
        return renderCodeLayerImage(layer, shownText(layer, serialStart), fonts);
    if (layer.type == LayerType::Shape)
        return shapeThumbnail(layer);
    if (layer.filePath.empty())
        return {};
    const DecodedPicture picture = readPicture(resolveTemplatePath(layer.filePath, templatePath));
    return exportRgba(picture.wand.get());
}

} // namespace torvale
