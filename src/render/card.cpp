#include "render/card.h"

#include "common/paths.h"
#include "common/text.h"
#include "model/template_file.h"
#include "render/glyph_coverage.h"
#include "render/picture_input.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace torvale {

namespace {

// A worker keeps the memory of the largest picture it decoded, up to this much; a larger one
// is given back once drawn.
constexpr std::size_t kKeptPictureBytes = 32 * 1024 * 1024;

// A card written with its transparency: a PNG with the transparency switch on.
bool isTransparentCard(const OutputSettings& output)
{
    return output.format == OutputFormat::Png && output.transparent_open;
}

// What a log line about one card ends with: its name, when it has one.
std::string cardSuffix(const std::string& cardName)
{
    return cardName.empty() ? std::string() : "（" + cardName + "）";
}

// A text box blended into the card, clipped to its layer.
void drawTextBox(CardBuffers& buffers, const Layer& layer, const TextBox& box)
{
    const long x = layer.x + box.x;
    const long y = layer.y + box.y;
    buffers.drawn.push_back(blendOver(buffers.card, box.box, x, y,
                                      {x, y, static_cast<long>(layer.x) + layer.width,
                                       static_cast<long>(layer.y) + layer.height}));
}

void releaseIfLarge(RgbaPixels& pixels)
{
    if (pixels.bytes.capacity() > kKeptPictureBytes)
        pixels = RgbaPixels();
}

// The background picture decoded into 8-bit pixels; empty when it cannot be.
RgbaPixels decodeBackground(const PictureBytes& picture)
{
    RgbaPixels pixels;
    const DecodedPicture decoded = decodePicture(picture.bytes.data(), picture.bytes.size());
    if (!decoded)
        return pixels;
    MagickWand* wand = decoded.wand.get();
    // A grey picture decodes in a grey colour space; the layers drawn on it are in colour.
    if (MagickGetImageColorspace(wand) != sRGBColorspace)
        MagickTransformImageColorspace(wand, sRGBColorspace);
    try {
        exportRgba(wand, pixels);
    } catch (const std::bad_alloc&) {
        pixels = RgbaPixels();
    }
    return pixels;
}

} // namespace

struct CardRenderer::CachedText {
    TextBox box;
    TextFit fit;
};

// A text is drawn into the cache the second time it is seen, so texts that never repeat (names,
// numbers) cost nothing but their key. Keys and pixels are both bounded.
struct CardRenderer::TextCache {
    static constexpr std::size_t kMaxKeys = 20000;
    static constexpr std::size_t kMaxPixels = 1024 * 1024; // 4 MiB of RGBA

    std::mutex mutex;
    std::unordered_map<std::string, bool> seen;
    std::unordered_map<std::string, CachedText> boxes;
    std::size_t pixels = 0;
};

CardRenderer::CardRenderer(const Template& tpl, std::int32_t dpi, const FontRegistry& fonts,
                           std::string csvPath)
    : m_template(tpl), m_dpi(dpi), m_fonts(fonts), m_textCache(std::make_unique<TextCache>())
{
    if (!csvPath.empty())
        m_csvFolder = pathToUtf8(folderOf(splitSheetPath(csvPath).file));

    const BackgroundLayer& background = m_template.background;
    if (background.kind == BackgroundKind::Picture && background.picture)
        m_background = decodeBackground(*background.picture);
    if (m_background.empty()) {
        const std::int64_t width = std::max(1, background.width);
        const std::int64_t height = std::max(1, background.height);
        const std::uint32_t color =
            background.kind == BackgroundKind::Custom ? background.drawingColor : 0xFFFFFF;
        const bool clear = background.kind == BackgroundKind::Custom && background.hasAlpha;
        if (withinCanvasLimits(width, height)) {
            try {
                fillPixels(m_background, static_cast<std::size_t>(width),
                           static_cast<std::size_t>(height),
                           clear ? std::array<std::uint8_t, 4>{0, 0, 0, 0}
                                 : std::array<std::uint8_t, 4>{
                                       static_cast<std::uint8_t>(color & 0xFF),
                                       static_cast<std::uint8_t>((color >> 8) & 0xFF),
                                       static_cast<std::uint8_t>((color >> 16) & 0xFF), 255});
            } catch (const std::bad_alloc&) {
                m_background = RgbaPixels(); // every card then says it has no canvas
            }
        }
    }
    try {
        if (!m_background.empty() && !m_background.opaque) {
            fillPixels(m_backgroundOnWhite, m_background.width, m_background.height,
                       {255, 255, 255, 255});
            blendOver(m_backgroundOnWhite, m_background, 0, 0);
        }
    } catch (const std::bad_alloc&) {
        m_background = m_backgroundOnWhite = RgbaPixels();
    }
    for (const Layer& layer : m_template.layers) {
        if (followsLayerLevel(layer.type) && layer.layer_level == LayerLevel::BelowBackground)
            m_layersBelow = true;
        const bool picture = layer.type == LayerType::Picture;
        m_fixedPictures.push_back(layer.type == LayerType::Shape ? prepareShape(layer)
                                  : picture && layer.isFixed ? preparePicture(layer.filePath, layer)
                                                             : std::nullopt);
        m_placeholders.push_back(picture && !layer.isFixed && !layer.placeholderPath.empty()
                                     ? preparePicture(layer.placeholderPath, layer)
                                     : std::nullopt);
        m_pictureFolders.push_back(
            picture && !layer.pictureFolder.empty()
                ? resolveTemplatePath(layer.pictureFolder, m_template.templatePath)
                : std::string());
    }
}

CardRenderer::~CardRenderer() = default;

std::optional<CardRenderer::PreparedPicture>
CardRenderer::preparePicture(const std::string& storedPath, const Layer& layer) const
{
    if (storedPath.empty() || layer.width <= 0 || layer.height <= 0)
        return std::nullopt;
    DecodedPicture picture = readPicture(resolveTemplatePath(storedPath, m_template.templatePath));
    try {
        RgbaPixels decoded;
        if (!picture || !exportRgba(picture.wand.get(), decoded))
            return std::nullopt;
        PreparedPicture prepared;
        RgbaPixels scaled;
        const std::optional<FitPosition> at =
            layerPicture(decoded, picture.width, picture.height, layer, prepared.pixels, scaled);
        if (!at)
            return std::nullopt;
        prepared.at = *at;
        return prepared;
    } catch (const std::bad_alloc&) {
        return std::nullopt; // an invalid picture, as one that cannot be decoded
    }
}

std::optional<CardRenderer::PreparedPicture> CardRenderer::prepareShape(const Layer& layer) const
{
    // Only the part on the card is drawn: a band far wider than the card costs no more.
    const long x = layer.x;
    const long y = layer.y;
    PreparedPicture prepared;
    try {
        if (!drawShapePixels(layer, prepared.pixels,
                             {-x, -y, static_cast<long>(m_background.width) - x,
                              static_cast<long>(m_background.height) - y}))
            return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    prepared.at = {static_cast<std::int32_t>(std::max(x, 0L)),
                   static_cast<std::int32_t>(std::max(y, 0L))};
    return prepared;
}

void CardRenderer::drawText(CardBuffers& buffers, std::size_t layerIndex, const std::string& cell,
                            TextNotes& notes, LogSink& log) const
{
    const Layer& layer = m_template.layers[layerIndex];
    std::string cut;
    const std::size_t maxUnits = maxDrawnUnits(layer);
    if (cell.size() > maxUnits) {
        if (const std::size_t units = utf16Length(cell); units > maxUnits) {
            cut = truncateUtf16Units(cell, maxUnits);
            log.log(formatText("图层#%d 的文字过长（%zu 个字符），只绘制前 %zu 个字符\n",
                               layer.number, units, maxUnits));
        }
    }
    const std::string& text = cut.empty() ? cell : cut;
    std::string key = std::to_string(layerIndex);
    key += '\0';
    key += text;
    TextCache& cache = *m_textCache;
    {
        // The cached box is copied under the lock and drawn outside it, so workers drawing
        // the same text do not wait for each other.
        std::optional<CachedText> cached;
        {
            std::lock_guard lock(cache.mutex);
            if (const auto it = cache.boxes.find(key); it != cache.boxes.end())
                cached = it->second;
        }
        if (cached) {
            notes.add(layer, cached->fit);
            drawTextBox(buffers, layer, cached->box);
            return;
        }
    }
    TextBoxResult drawn = renderTextBox(layer, text, m_fonts);
    if (drawn.failed)
        log.log(formatText("图层#%d 的文字无法绘制（字体 '%s'，%d 磅）:%s\n", layer.number,
                           layer.fontName.c_str(), layer.fontSize, cellForLog(text).c_str()));
    notes.add(layer, drawn.fit);
    std::optional<TextBox>& box = drawn.box;
    if (!box)
        return;
    {
        std::lock_guard lock(cache.mutex);
        const auto seen = cache.seen.find(key);
        const std::size_t pixels = box->box.width * box->box.height;
        if (seen == cache.seen.end()) {
            if (cache.seen.size() < TextCache::kMaxKeys)
                cache.seen.emplace(key, true);
        } else if (cache.pixels + pixels <= TextCache::kMaxPixels && !cache.boxes.count(key)) {
            cache.pixels += pixels;
            cache.boxes.emplace(key, CachedText{*box, drawn.fit});
        }
    }
    drawTextBox(buffers, layer, *box);
}

void CardRenderer::TextNotes::add(const Layer& layer, const TextFit& fit)
{
    // A shrinking layer reports only that even its minimum size does not fit.
    if (layer.autoShrink && fit.atMinimum)
        shrunkToMinimum.push_back(layer.number);
    else if (!layer.autoShrink && fit.wider)
        wider.push_back(layer.number);
    else if (!layer.autoShrink && fit.taller)
        taller.push_back(layer.number);
    for (const char32_t cp : fit.missing) {
        if (std::find(missing.begin(), missing.end(), cp) == missing.end())
            missing.push_back(cp);
    }
}

void CardRenderer::TextNotes::log(const std::string& cardName, LogSink& sink) const
{
    const std::string named = cardSuffix(cardName);
    for (const std::int32_t number : shrunkToMinimum)
        sink.log(formatText("文字太长，已按最小字号绘制：图层#%d%s\n", number, named.c_str()));
    for (const std::int32_t number : wider)
        sink.log(
            formatText("文字比图层宽，超出的部分不会显示：图层#%d%s\n", number, named.c_str()));
    for (const std::int32_t number : taller)
        sink.log(
            formatText("文字的行比图层高，超出的部分不会显示：图层#%d%s\n", number, named.c_str()));
    if (missing.empty())
        return;
    std::string line = "无法显示的字符：";
    for (std::size_t i = 0; i < missing.size(); ++i)
        line += (i ? " " : "") + codePointName(missing[i]);
    sink.log(line + named + "\n");
}

void CardRenderer::drawCodeLayer(CardBuffers& buffers, const Layer& layer, const std::string& value,
                                 std::vector<DrawnCode>& codes, LogSink& log,
                                 const std::string& cardName) const
{
    CodeEncoding encoded = encodeCode(layer, value);
    if (!encoded.symbol) {
        log.log(codeInvalidText(layer, value, encoded.reason) + cardSuffix(cardName) + "\n");
        return;
    }
    CodeImage image = drawCode(
        layer, *encoded.symbol, m_fonts,
        {0, 0, static_cast<long>(m_background.width), static_cast<long>(m_background.height)});
    if (image.pixels.empty()) {
        // A code that misses the card cannot be read from it.
        log.log(
            (image.module < kMinCodeModule ? codeTooSmallText(layer) : codeUnreadableText(layer)) +
            cardSuffix(cardName) + "\n");
        return;
    }
    if (layer.layer_level == LayerLevel::BelowBackground)
        blendOver(buffers.under, image.pixels, image.x, image.y);
    else
        buffers.drawn.push_back(blendOver(buffers.card, image.pixels, image.x, image.y));
    codes.push_back({&layer, std::move(image), std::move(*encoded.symbol)});
}

void CardRenderer::drawPicture(CardBuffers& buffers, const RgbaPixels& pixels, FitPosition at,
                               bool below) const
{
    if (below)
        blendOver(buffers.under, pixels, at.x, at.y);
    else
        buffers.drawn.push_back(blendOver(buffers.card, pixels, at.x, at.y));
}

bool CardRenderer::drawRowPicture(CardBuffers& buffers, const Layer& layer, const std::string& path,
                                  const std::string& cell, LogSink& log,
                                  const std::string& named) const
{
    DecodedPicture picture = readLayerPicture(path, layer);
    if (!picture || !exportRgba(picture.wand.get(), buffers.decoded))
        return false;
    // The 8-bit pixels are all that is drawn from; the decoded image goes at once.
    picture.wand.reset();
    if (picture.damaged)
        log.log(formatText("图片已损坏：%s%s\n", cellForLog(cell).c_str(), named.c_str()));
    const std::optional<FitPosition> at = layerPicture(
        buffers.decoded, picture.width, picture.height, layer, buffers.fitted, buffers.scaled);
    if (at)
        drawPicture(buffers, buffers.fitted, *at, layer.layer_level == LayerLevel::BelowBackground);
    releaseIfLarge(buffers.decoded);
    releaseIfLarge(buffers.scaled);
    releaseIfLarge(buffers.fitted);
    return true;
}

void CardRenderer::drawLayers(CardBuffers& buffers, const CardRow& row, LogSink& log,
                              const std::atomic<bool>& stop, const std::string& cardName,
                              std::vector<DrawnCode>& codes) const
{
    TextNotes notes;
    std::string filled;
    // Every problem of a picture names its card, as those of texts and codes do.
    const std::string named = cardSuffix(cardName);
    for (std::size_t index = 0; index < m_template.layers.size(); ++index) {
        const Layer& layer = m_template.layers[index];
        if (stop.load())
            break;
        if (!layerShown(layer, row))
            continue;
        const bool below = layer.layer_level == LayerLevel::BelowBackground;
        if (layer.type == LayerType::Shape) {
            if (const std::optional<PreparedPicture>& shape = m_fixedPictures[index])
                drawPicture(buffers, shape->pixels, shape->at, below);
            continue;
        }
        const std::string* cell = layerCell(layer, row, filled);
        if (layer.type == LayerType::Text) {
            if (cell && !cell->empty() && layer.width > 0 && layer.height > 0)
                drawText(buffers, index, *cell, notes, log);
            continue;
        }
        if (layer.type == LayerType::Code) {
            if (cell && !cell->empty() && layer.width > 0 && layer.height > 0)
                drawCodeLayer(buffers, layer, *cell, codes, log, cardName);
            continue;
        }
        // An empty rectangle has no room for any part of a picture.
        if (layer.width <= 0 || layer.height <= 0)
            continue;
        const auto drawPrepared = [&](const std::optional<PreparedPicture>& prepared) {
            if (prepared)
                drawPicture(buffers, prepared->pixels, prepared->at, below);
        };
        if (layer.isFixed) {
            if (!m_fixedPictures[index])
                log.log(formatText("无效图片:%s%s\n", cellForLog(layer.filePath).c_str(),
                                   named.c_str()));
            drawPrepared(m_fixedPictures[index]);
            continue;
        }
        // A row without a picture gets the placeholder, as one whose picture is missing.
        if (!cell || isBlankText(*cell)) {
            drawPrepared(m_placeholders[index]);
            continue;
        }
        const char* placeholder = m_placeholders[index] ? "（已使用占位图片）" : "";
        std::string path;
        if (const std::string& folder = m_pictureFolders[index]; !folder.empty()) {
            const std::string name = trimBlank(*cell);
            const FolderPicture found = findFolderPicture(folder, name);
            if (found.path.empty()) {
                log.log(formatText("无效图片:%s（%s）%s%s\n", cellForLog(*cell).c_str(),
                                   folderPictureProblem(folder, name, found).c_str(), placeholder,
                                   named.c_str()));
                drawPrepared(m_placeholders[index]);
                continue;
            }
            path = found.path;
        } else {
            path = resolveCellPicturePath(trimBlank(*cell), m_csvFolder);
        }
        if (!drawRowPicture(buffers, layer, path, *cell, log, named)) {
            log.log(formatText("无效图片:%s%s%s\n", cellForLog(*cell).c_str(), placeholder,
                               named.c_str()));
            drawPrepared(m_placeholders[index]);
        }
    }
    notes.log(cardName, log);
}

const RgbaPixels* CardRenderer::drawCard(CardBuffers& buffers, const CardRow& row,
                                         const OutputSettings& output, LogSink& log,
                                         const std::atomic<bool>& stop, const std::string& cardName,
                                         std::vector<DrawnCode>& codes) const
{
    if (m_background.empty()) {
        log.log("无法创建画布\n");
        return nullptr;
    }
    // The card starts as a copy of the background: over white when it lets an opaque card's
    // white show through and no layer is drawn under it.
    const bool transparentCard = isTransparentCard(output);
    const bool onWhite = !transparentCard && !m_layersBelow && !m_backgroundOnWhite.empty();
    const RgbaPixels& start = onWhite ? m_backgroundOnWhite : m_background;
    if (buffers.start == &start && buffers.card.bytes.size() == start.bytes.size()) {
        // Only the parts the last card drew on are put back.
        const std::size_t stride = start.width * 4;
        for (const PixelRect& rect : buffers.drawn) {
            const auto offset = static_cast<std::size_t>(rect.left) * 4;
            const auto length = static_cast<std::size_t>(rect.right - rect.left) * 4;
            for (long y = rect.top; y < rect.bottom; ++y) {
                const std::size_t at = static_cast<std::size_t>(y) * stride + offset;
                std::memcpy(&buffers.card.bytes[at], &start.bytes[at], length);
            }
        }
    } else {
        buffers.card = start;
        buffers.start = &start;
    }
    buffers.drawn.clear();
    if (m_layersBelow)
        fillPixels(buffers.under, start.width, start.height,
                   transparentCard ? std::array<std::uint8_t, 4>{0, 0, 0, 0}
                                   : std::array<std::uint8_t, 4>{255, 255, 255, 255});
    drawLayers(buffers, row, log, stop, cardName, codes);
    if (!m_layersBelow)
        return &buffers.card;
    blendOver(buffers.under, buffers.card, 0, 0);
    return &buffers.under;
}

RgbaPixels CardRenderer::draw(const CardRow& row, const OutputSettings& output, LogSink& log,
                              const std::atomic<bool>& stop, const std::string& cardName) const
{
    CardBuffers buffers;
    std::vector<DrawnCode> codes;
    try {
        const RgbaPixels* pixels = drawCard(buffers, row, output, log, stop, cardName, codes);
        return pixels ? *pixels : RgbaPixels();
    } catch (const std::bad_alloc&) {
        log.log("无法创建画布\n");
        return {};
    }
}

std::optional<EncodedCard> CardRenderer::compose(const CardRow& row, const OutputSettings& output,
                                                 LogSink& log, std::atomic<bool>& stop,
                                                 const std::string& cardName,
                                                 CardBuffers* buffers) const
{
    CardBuffers ownBuffers;
    CardBuffers& used = buffers ? *buffers : ownBuffers;
    std::vector<DrawnCode> codes;
    const RgbaPixels* pixels = nullptr;
    try {
        pixels = drawCard(used, row, output, log, stop, cardName, codes);
    } catch (const std::bad_alloc&) {
        // The card's pixels did not fit in memory: this card fails, the batch goes on.
        used = CardBuffers();
        log.log("无法创建画布\n");
    }
    if (!pixels || stop.load())
        return std::nullopt;
    // Every code is read back from the card as it will be written.
    for (const DrawnCode& code : codes) {
        if (!readsBack(*pixels, code.image, code.symbol))
            log.log(codeUnreadableText(*code.layer) + cardSuffix(cardName) + "\n");
    }
    std::optional<EncodedCard> card =
        encodeCard(*pixels, output, m_dpi, log, stop, used.lastEncodedSize);
    if (card)
        used.lastEncodedSize = card->bytes.size();
    return card;
}

CardResult renderCard(const CardRenderer& renderer, const CardRow& row,
                      const OutputSettings& output, std::size_t rowNumber, LogSink& log,
                      std::atomic<bool>& stop)
{
    const std::string name = makeOutputName(row, output, rowNumber);
    const auto card = renderer.compose(row, output, log, stop, name);
    if (!card)
        return {stop.load() ? CardOutcome::Stopped : CardOutcome::WriteFailed, {}};
    return writeCard(*card, output.outputFolder, name, log, stop);
}

} // namespace torvale
