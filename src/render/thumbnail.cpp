#include "render/thumbnail.h"

#include "model/template_file.h"
#include "render/code_render.h"
#include "render/picture_input.h"
#include "render/text_render.h"

namespace torvale {

std::string thumbnailKey(const Layer& layer, const std::string& templatePath)
{
    if (layer.type == LayerType::Code) {
        std::string key = "C" + layer.text + '\n' + layer.codeType + '\n' + layer.codeErrorLevel +
                          '\n' + layer.htmlColor + '\n' + layer.codeBackground + '\n' +
                          layer.fontName + '\n';
        for (const std::int32_t value :
             {layer.width, layer.height, layer.pHAlign, layer.pVAlign, layer.codeQuietZone,
              static_cast<std::int32_t>(layer.codeShowText), layer.fontSize, layer.isBold})
            key += std::to_string(value) + ',';
        return key;
    }
    if (layer.type != LayerType::Text)
        return "P" + layer.filePath + '\n' + templatePath;
    std::string key = "T" + layer.text + '\n' + layer.fontName + '\n' + layer.htmlColor + '\n';
    for (const std::int32_t value :
         {layer.fontSize, layer.isBold, layer.isItalic, layer.tHAlign, layer.tVAlign,
          layer.characterSpacing, layer.width, layer.height,
          static_cast<std::int32_t>(layer.autoShrink), layer.minFontSize, layer.maxLines})
        key += std::to_string(value) + ',';
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
