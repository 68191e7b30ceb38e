#include "render/thumbnail.h"

#include "model/layer_fields.h"
#include "model/template_file.h"
#include "render/code_render.h"
#include "render/picture_input.h"
#include "render/text_render.h"

namespace torvale {

std::string thumbnailKey(const Layer& layer, const std::string& templatePath)
{
    std::string key(1, static_cast<char>('0' + static_cast<int>(layer.type)));
    for (const LayerFieldInfo& field : layerFields()) {
        if (field.thumbnail & layerTypeBit(layer.type))
            key += fieldText(field, layer) + '\0';
    }
    // A picture layer's relative demo path names another file in another template's folder.
    if (layer.type == LayerType::Picture)
        key += templatePath;
    return key;
}

Thumbnail renderLayerThumbnail(const Layer& layer, const FontRegistry& fonts,
                               const std::string& templatePath)
{
    if (layer.type == LayerType::Text)
        return renderLayerImage(layer, layer.text, fonts);
    if (layer.type == LayerType::Code)
        return renderCodeLayerImage(layer, layer.text, fonts);
    if (layer.filePath.empty())
        return {};
    const DecodedPicture picture = readPicture(resolveTemplatePath(layer.filePath, templatePath));
    return exportRgba(picture.wand.get());
}

} // namespace torvale
