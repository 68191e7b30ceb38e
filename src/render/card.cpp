#include "render/card.h"

#include "common/paths.h"
#include "common/text.h"
#include "model/template_file.h"
#include "model/text_fields.h"
#include "render/code_render.h"
#include "render/glyph_coverage.h"
#include "render/output_file.h"
#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/png8.h"
#include "render/text_render.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace torvale {

namespace {

constexpr std::size_t kMaxFileNameUnits = 64;

// Cell text echoed in a log line is cut to this many UTF-16 units.
constexpr std::size_t kMaxLoggedCellUnits = 200;

// The colour space a JPEG card is transformed to; nothing for sRGB (no transformation).
std::optional<ColorspaceType> jpegColorspace(OutputColorspace colorspace)
{
    switch (colorspace) {
    case OutputColorspace::Rgb:
        return RGBColorspace;
    case OutputColorspace::Cmyk:
        return CMYKColorspace;
    case OutputColorspace::Gray:
        return GRAYColorspace;
    case OutputColorspace::SRgb:
        break;
    }
    return std::nullopt;
}

// A card written with its transparency: a PNG with the transparency switch on.
bool isTransparentCard(const OutputSettings& output)
{
    return output.format == OutputFormat::Png && output.transparent_open;
}

bool composite(MagickWand* target, MagickWand* source, std::int32_t x, std::int32_t y)
{
    return MagickCompositeImage(target, source, OverCompositeOp, x, y) != MagickFalse;
}

// The text of a cell as it goes into a file name: without format characters, cut to
// kMaxFileNameUnits UTF-16 units (the scan ends there, however long the cell).
std::string visibleNamePart(std::string_view text)
{
    std::string out;
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size() && units < kMaxFileNameUnits;) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        if (isFormatCodePoint(cp))
            continue;
        const std::size_t width = cp >= 0x10000 ? 2 : 1;
        if (units + width > kMaxFileNameUnits)
            break;
        units += width;
        out.append(text.substr(start, i - start));
    }
    return out;
}

// An extension in upper case (".JPG").
std::string upperExtension(std::string extension)
{
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension;
}

} // namespace

const std::string* findCell(const CardRow& row, const std::string& column)
{
    const auto it = row.find(column);
    return it == row.end() ? nullptr : &it->second;
}

const std::string* layerCell(const Layer& layer, const CardRow& row, std::string& storage)
{
    if (!layer.isFixed)
        return findCell(row, layer.bind_col_name);
    if (layer.type == LayerType::Picture)
        return nullptr;
    // A text layer draws at most maxDrawnUnits of it (each at most 3 bytes); one more unit
    // still shows that the text was cut. Cells of megabytes repeated by many fields are
    // never joined whole.
    const std::size_t maxBytes = layer.type == LayerType::Text
                                     ? 3 * (maxDrawnUnits(layer) + 1)
                                     : std::string::npos;
    storage = fillTextFields(
        layer.text, [&row](const std::string& column) { return findCell(row, column); }, maxBytes);
    return &storage;
}

std::string cellForLog(const std::string& cell)
{
    // A line break in a cell would split the log line (and could fake another one); invisible
    // characters would make it read like another cell.
    if (cell.size() <= kMaxLoggedCellUnits)
        return replaceTerminalControls(cell, false);
    const std::size_t units = utf16Length(cell);
    if (units <= kMaxLoggedCellUnits)
        return replaceTerminalControls(cell, false);
    return formatText(
        "%s...（共 %zu 个字符）",
        replaceTerminalControls(truncateUtf16Units(cell, kMaxLoggedCellUnits), false).c_str(),
        units);
}

bool isBlankNameCell(const std::string* cell)
{
    if (!cell)
        return true;
    for (std::size_t i = 0; i < cell->size();) {
        const char32_t cp = nextCodePoint(*cell, i);
        if (cp != ' ' && cp != '\t' && cp != '\r' && cp != '\n' && !isFormatCodePoint(cp))
            return false;
    }
    return true;
}

CardColumns::CardColumns(const PackedStrings& header, const Template& tpl, const Template* back)
    : m_header(header)
{
    const auto add = [this](const std::string& name) {
        if (name.empty())
            return;
        for (const auto& column : m_columns) {
            if (column.first == name)
                return;
        }
        // With duplicate names the first column's cell is used.
        if (const std::size_t index = m_header.find(name); index < m_header.size())
            m_columns.emplace_back(name, index);
    };
    for (const Template* t : {&tpl, back}) {
        if (!t)
            continue;
        for (const Layer& layer : t->layers) {
            if (!layer.isFixed)
                add(layer.bind_col_name);
            else if (layer.type != LayerType::Picture)
                for (const std::string& column : textFieldNames(layer.text))
                    add(column);
        }
        add(t->output.file_name_bind_col_name);
        add(t->output.file_name_bind_col_name2);
    }
}

CardRow CardColumns::row(const PackedStrings& cells) const
{
    CardRow row;
    row.reserve(m_columns.size());
    for (const auto& [name, index] : m_columns) {
        if (index < cells.size())
            row.emplace(name, cells[index]);
    }
    return row;
}

CardRow CardColumns::row(const PackedStrings& cells, const OutputSettings& output) const
{
    CardRow row = this->row(cells);
    for (const std::string* name :
         {&output.file_name_bind_col_name, &output.file_name_bind_col_name2}) {
        if (name->empty() || row.count(*name))
            continue;
        if (const std::size_t index = m_header.find(*name); index < cells.size())
            row.emplace(*name, cells[index]);
    }
    return row;
}

namespace {

// What a log line about one card ends with: its name, when it has one.
std::string cardSuffix(const std::string& cardName)
{
    return cardName.empty() ? std::string() : "（" + cardName + "）";
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
    static constexpr std::size_t kMaxPixels = 2 * 1024 * 1024; // 8 MiB of RGBA

    std::mutex mutex;
    std::unordered_map<std::string, bool> seen;
    std::unordered_map<std::string, CachedText> boxes;
    std::size_t pixels = 0;
};

// Where the layers of a card are drawn.
class CardRenderer::Surface {
public:
    virtual ~Surface() = default;
    // A fitted picture at (x, y), on the canvas under the background when below.
    virtual void picture(MagickWand* picture, long x, long y, bool below) = 0;
    // A text box, clipped to its layer.
    virtual void text(const Layer& layer, const TextBox& box) = 0;
    virtual void code(const CodeImage& image) = 0;
};

// The image library's images, in 16 bits per channel.
class CardRenderer::WandSurface final : public Surface {
public:
    WandSurface(MagickWand* card, MagickWand* canvas) : m_card(card), m_canvas(canvas) {}
    void picture(MagickWand* picture, long x, long y, bool below) override
    {
        composite(below ? m_canvas : m_card, picture, static_cast<std::int32_t>(x),
                  static_cast<std::int32_t>(y));
    }
    void text(const Layer& layer, const TextBox& box) override { drawTextBox(m_card, layer, box); }
    void code(const CodeImage& image) override
    {
        composite(m_card, image.image.get(), static_cast<std::int32_t>(image.x),
                  static_cast<std::int32_t>(image.y));
    }

private:
    MagickWand* m_card;
    MagickWand* m_canvas;
};

// A worker's 8-bit buffers: each picture, text box and code is exported from the image library
// and blended in.
class CardRenderer::BufferSurface final : public Surface {
public:
    BufferSurface(CardBuffers& buffers, ToEightBits mode) : m_buffers(buffers), m_mode(mode) {}
    void picture(MagickWand* picture, long x, long y, bool below) override
    {
        if (!exportWide(picture, m_buffers.scratch))
            return;
        if (below)
            blendOver(m_buffers.under, m_buffers.scratch, x, y, m_mode);
        else
            m_buffers.drawn.push_back(blendOver(m_buffers.card, m_buffers.scratch, x, y, m_mode));
    }
    void text(const Layer& layer, const TextBox& box) override
    {
        widen(box.box, m_buffers.scratch);
        const long x = layer.x + box.x;
        const long y = layer.y + box.y;
        m_buffers.drawn.push_back(blendOver(m_buffers.card, m_buffers.scratch, x, y, m_mode,
                                            {x, y, static_cast<long>(layer.x) + layer.width,
                                             static_cast<long>(layer.y) + layer.height}));
    }
    void code(const CodeImage& image) override
    {
        if (exportWide(image.image.get(), m_buffers.scratch))
            m_buffers.drawn.push_back(
                blendOver(m_buffers.card, m_buffers.scratch, image.x, image.y, m_mode));
    }

private:
    CardBuffers& m_buffers;
    ToEightBits m_mode;
};

CardRenderer::CardRenderer(const Template& tpl, std::int32_t dpi, const FontRegistry& fonts,
                           std::string csvPath)
    : m_template(tpl), m_dpi(dpi), m_fonts(fonts), m_textCache(std::make_unique<TextCache>())
{
    if (!csvPath.empty())
        m_csvFolder = pathToUtf8(folderOf(splitSheetPath(csvPath).file));

    const BackgroundLayer& background = m_template.background;
    bool backgroundPicture = false;
    if (background.kind == BackgroundKind::Picture && background.picture) {
        const auto& bytes = background.picture->bytes;
        m_background = decodePicture(bytes.data(), bytes.size()).wand;
        backgroundPicture = m_background != nullptr;
        // A grey picture decodes in a grey colour space; the layers drawn on it are in colour.
        if (m_background && MagickGetImageColorspace(m_background.get()) != sRGBColorspace)
            MagickTransformImageColorspace(m_background.get(), sRGBColorspace);
        m_backgroundOpaque =
            m_background && MagickGetImageAlphaChannel(m_background.get()) == MagickFalse;
    }
    if (!m_background) {
        const std::string color =
            background.kind == BackgroundKind::Custom && background.hasAlpha
                ? std::string("none")
                : colorToHtml(background.kind == BackgroundKind::Custom ? background.drawingColor
                                                                        : 0xFFFFFF);
        const auto width = static_cast<std::size_t>(std::max(1, background.width));
        const auto height = static_cast<std::size_t>(std::max(1, background.height));
        m_background = newCanvas(width, height, color.c_str());
        m_backgroundOpaque = !(background.kind == BackgroundKind::Custom && background.hasAlpha);
    }
    for (const Layer& layer : m_template.layers) {
        if (layer.type == LayerType::Picture && layer.layer_level == LayerLevel::BelowBackground)
            m_layersBelow = true;
        const bool picture = layer.type == LayerType::Picture;
        m_fixedPictures.push_back(picture && layer.isFixed ? preparePicture(layer.filePath, layer)
                                                           : std::nullopt);
        m_placeholders.push_back(picture && !layer.isFixed && !layer.placeholderPath.empty()
                                     ? preparePicture(layer.placeholderPath, layer)
                                     : std::nullopt);
        m_pictureFolders.push_back(
            picture && !layer.pictureFolder.empty()
                ? resolveTemplatePath(layer.pictureFolder, m_template.templatePath)
                : std::string());
    }
    // A background of more than 8 bits per channel is kept exact: its cards are drawn by the
    // image library. Its 8-bit copies are made when the first card needs them, not for a
    // renderer that only draws previews.
    MagickWand* backgroundWand = m_background.get();
    m_drawsInBuffers =
        backgroundWand && (!backgroundPicture || MagickGetImageDepth(backgroundWand) <= 8);
    if (m_drawsInBuffers) {
        std::size_t profileCount = 0;
        MagickMemoryPtr<char*> profiles(MagickGetImageProfiles(backgroundWand, "*", &profileCount));
        MagickMemoryPtr<char> comment(MagickGetImageProperty(backgroundWand, "comment"));
        MagickMemoryPtr<char> format(MagickGetImageFormat(backgroundWand));
        // A JPEG background may carry its own sampling into the cards the library writes.
        m_plainBackground = profileCount == 0 && !comment &&
                            MagickGetImageInterlaceScheme(backgroundWand) == NoInterlace &&
                            !(format && std::strcmp(format.get(), "JPEG") == 0);
        if (profiles) {
            for (std::size_t i = 0; i < profileCount; ++i)
                MagickRelinquishMemory(profiles.get()[i]);
        }
    }
}

std::optional<CardRenderer::PreparedPicture>
CardRenderer::preparePicture(const std::string& storedPath, const Layer& layer) const
{
    if (storedPath.empty() || layer.width <= 0 || layer.height <= 0)
        return std::nullopt;
    DecodedPicture picture = readPicture(resolveTemplatePath(storedPath, m_template.templatePath));
    if (!picture)
        return std::nullopt;
    const FitPosition at = fitPicture(picture.wand.get(), layer, picture.width, picture.height);
    framePicture(picture.wand.get(), layer);
    return PreparedPicture{std::move(picture.wand), at};
}

MagickWandPtr CardRenderer::preparedCopy(const std::optional<PreparedPicture>& prepared) const
{
    if (!prepared)
        return nullptr;
    // A clone shares the pixels; clones are made one at a time, as for the text boxes.
    std::lock_guard lock(m_preparedMutex);
    return MagickWandPtr(CloneMagickWand(prepared->wand.get()));
}

CardRenderer::~CardRenderer() = default;

void CardRenderer::drawText(Surface& surface, std::size_t layerIndex, const std::string& cell,
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
            surface.text(layer, cached->box);
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
    surface.text(layer, *box);
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

void CardRenderer::drawCodeLayer(Surface& surface, const Layer& layer, const std::string& value,
                                 std::vector<DrawnCode>& codes, LogSink& log,
                                 const std::string& cardName) const
{
    CodeEncoding encoded = encodeCode(layer, value);
    if (!encoded.symbol) {
        log.log(codeInvalidText(layer, value, encoded.reason) + cardSuffix(cardName) + "\n");
        return;
    }
    CodeImage image = drawCode(layer, *encoded.symbol, m_fonts, cardArea());
    if (!image.image) {
        // A code that misses the card cannot be read from it.
        log.log((image.module < kMinCodeModule ? codeTooSmallText(layer)
                                               : codeUnreadableText(layer)) +
                cardSuffix(cardName) + "\n");
        return;
    }
    surface.code(image);
    codes.push_back({&layer, std::move(image), std::move(*encoded.symbol)});
}

PixelRect CardRenderer::cardArea() const
{
    MagickWand* background = m_background.get();
    return {0, 0, background ? static_cast<long>(MagickGetImageWidth(background)) : 0,
            background ? static_cast<long>(MagickGetImageHeight(background)) : 0};
}

MagickWandPtr CardRenderer::backgroundImage() const
{
    return MagickWandPtr(m_background ? CloneMagickWand(m_background.get()) : nullptr);
}

DecodedPicture readLayerPicture(const std::string& path, const Layer& layer)
{
    // Large JPEG photos are decoded at a reduced scale when the layer is smaller; the fitted
    // sizes still follow from the picture's real size.
    return overflowStyleAllowsReducedDecode(layer.overflow_style)
               ? readPicture(path, static_cast<std::size_t>(layer.width),
                             static_cast<std::size_t>(layer.height))
               : readPicture(path);
}

std::string resolveCellPicturePath(const std::string& cell, const std::string& csvFolder)
{
    const auto path = pathFromUtf8(cell);
    if (path.is_absolute())
        return cell;
    std::error_code ec;
    const auto inProgram = programFolder() / path;
    if (std::filesystem::exists(inProgram, ec) || csvFolder.empty())
        return pathToUtf8(inProgram);
    return pathToUtf8(pathFromUtf8(csvFolder) / path);
}

namespace {

// Whether a found file's real path, symbolic links followed, lies inside the folder's.
bool staysInFolder(const std::filesystem::path& folder, const std::filesystem::path& file)
{
    std::error_code error;
    const std::filesystem::path realFolder = std::filesystem::canonical(folder, error);
    if (error)
        return false;
    const std::filesystem::path realFile = std::filesystem::canonical(file, error);
    if (error)
        return false;
    const auto [folderEnd, fileAt] =
        std::mismatch(realFolder.begin(), realFolder.end(), realFile.begin(), realFile.end());
    return folderEnd == realFolder.end() && fileAt != realFile.end();
}

FolderPicture findInFolder(const std::string& folder, const std::string& cell);

} // namespace

FolderPicture findFolderPicture(const std::string& folder, const std::string& cell)
{
    // A NUL would end the path early (p1\0.jpg opening p1); no file is named with controls.
    for (std::size_t i = 0; i < cell.size();) {
        const char32_t cp = nextCodePoint(cell, i);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            FolderPicture found;
            found.controls = true;
            return found;
        }
    }
    FolderPicture found = findInFolder(folder, cell);
    if (!found.path.empty() && !staysInFolder(pathFromUtf8(folder), pathFromUtf8(found.path))) {
        found.path.clear();
        found.outside = true;
    }
    return found;
}

namespace {

FolderPicture findInFolder(const std::string& folder, const std::string& cell)
{
    FolderPicture found;
    const std::filesystem::path name = pathFromUtf8(cell);
    if (cell.empty() || name.has_root_path() ||
        std::any_of(name.begin(), name.end(), [](const auto& part) { return part == ".."; })) {
        found.outside = true;
        return found;
    }
    const std::filesystem::path base = pathFromUtf8(folder) / name;
    std::error_code error;
    if (name.has_extension()) {
        if (std::filesystem::exists(base, error))
            found.path = pathToUtf8(base);
        else
            found.tried.push_back(cell);
        return found;
    }
    static constexpr const char* kExtensions[] = {".jpg",  ".jpeg", ".png", ".bmp",
                                                  ".gif",  ".webp", ".tif", ".tiff",
                                                  ".heic", ".heif", ".avif"};
    for (const char* extension : kExtensions)
        found.tried.push_back(cell + extension);
    // The names as written first, in lower and in upper case; then the folder is listed for a
    // name that differs in case only (A0001.Jpg).
    for (const std::string& tried : found.tried) {
        for (const std::string& candidate :
             {tried, cell + upperExtension(tried.substr(cell.size()))}) {
            const std::filesystem::path path = pathFromUtf8(folder) / pathFromUtf8(candidate);
            if (std::filesystem::is_regular_file(path, error)) {
                found.path = pathToUtf8(path);
                found.tried.clear();
                return found;
            }
        }
    }
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(base.parent_path(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            names.push_back(pathToUtf8(it->path().filename()));
    }
    const std::string stem = pathToUtf8(name.filename());
    for (const char* extension : kExtensions) {
        for (const std::string& file : names) {
            if (equalsIgnoreCase(file, stem + extension)) {
                found.path = pathToUtf8(base.parent_path() / pathFromUtf8(file));
                found.tried.clear();
                return found;
            }
        }
    }
    return found;
}

} // namespace

std::string folderPictureProblem(const std::string& folder, const std::string& cell,
                                 const FolderPicture& found)
{
    if (found.controls)
        return formatText("'%s' 含有控制字符，不能用作图片文件名", cellForLog(cell).c_str());
    if (found.outside)
        return formatText("'%s' 不在图片文件夹 '%s' 里，不会读取", cellForLog(cell).c_str(),
                          folder.c_str());
    std::string tried;
    for (const std::string& name : found.tried)
        tried += (tried.empty() ? "" : "、") + cellForLog(name);
    return formatText("图片文件夹 '%s' 里没有这张图片（试过 %s）", folder.c_str(), tried.c_str());
}

void CardRenderer::drawLayers(Surface& surface, const CardRow& row, LogSink& log,
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
        const std::string* cell = layerCell(layer, row, filled);
        if (layer.type == LayerType::Text) {
            if (cell && !cell->empty() && layer.width > 0 && layer.height > 0)
                drawText(surface, index, *cell, notes, log);
            continue;
        }
        if (layer.type == LayerType::Code) {
            if (cell && !cell->empty() && layer.width > 0 && layer.height > 0)
                drawCodeLayer(surface, layer, *cell, codes, log, cardName);
            continue;
        }
        // An empty rectangle has no room for any part of a picture.
        if (layer.width <= 0 || layer.height <= 0)
            continue;
        const bool below = layer.layer_level == LayerLevel::BelowBackground;
        const auto drawPrepared = [&](const std::optional<PreparedPicture>& prepared) {
            if (const MagickWandPtr copy = preparedCopy(prepared))
                surface.picture(copy.get(), prepared->at.x, prepared->at.y, below);
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
        std::string path;
        if (const std::string& folder = m_pictureFolders[index]; !folder.empty()) {
            const std::string name = trimBlank(*cell);
            const FolderPicture found = findFolderPicture(folder, name);
            if (found.path.empty()) {
                log.log(formatText("无效图片:%s（%s）%s%s\n", cellForLog(*cell).c_str(),
                                   folderPictureProblem(folder, name, found).c_str(),
                                   m_placeholders[index] ? "（已使用占位图片）" : "",
                                   named.c_str()));
                drawPrepared(m_placeholders[index]);
                continue;
            }
            path = found.path;
        } else {
            path = resolveCellPicturePath(trimBlank(*cell), m_csvFolder);
        }
        DecodedPicture picture = readLayerPicture(path, layer);
        if (!picture) {
            log.log(formatText("无效图片:%s%s%s\n", cellForLog(*cell).c_str(),
                               m_placeholders[index] ? "（已使用占位图片）" : "", named.c_str()));
            drawPrepared(m_placeholders[index]);
            continue;
        }
        if (picture.damaged)
            log.log(formatText("图片已损坏：%s%s\n", cellForLog(*cell).c_str(), named.c_str()));
        const FitPosition at = fitPicture(picture.wand.get(), layer, picture.width, picture.height);
        framePicture(picture.wand.get(), layer);
        surface.picture(picture.wand.get(), at.x, at.y, below);
    }
    notes.log(cardName, log);
}

MagickWandPtr CardRenderer::draw(const CardRow& row, const OutputSettings& output, LogSink& log,
                                 const std::atomic<bool>& stop, const std::string& cardName) const
{
    const bool transparentCard = isTransparentCard(output);
    const BackgroundLayer& bg = m_template.background;
    MagickWandPtr background = backgroundImage();
    // The background composited over a transparent canvas, or an opaque background over a
    // white one, is the background itself: the canvas is only needed under a background that
    // lets it show through, or for layers below the background.
    MagickWandPtr canvas;
    if (needsCanvas(transparentCard)) {
        canvas = newCanvas(static_cast<std::size_t>(std::max(1, bg.width)),
                           static_cast<std::size_t>(std::max(1, bg.height)),
                           transparentCard ? "none" : "#ffffff");
        if (!canvas) {
            log.log("无法创建画布\n");
            return nullptr;
        }
    }
    if (!background) {
        log.log("无法创建画布\n");
        return nullptr;
    }

    std::vector<DrawnCode> codes;
    WandSurface surface(background.get(), canvas.get());
    drawLayers(surface, row, log, stop, cardName, codes);
    MagickWandPtr card = std::move(background);
    if (canvas) {
        composite(canvas.get(), card.get(), 0, 0);
        card = std::move(canvas);
    }
    // Every code is read back from the card as it will be written.
    for (const DrawnCode& code : codes) {
        if (!readsBack(card.get(), code.image, code.symbol))
            log.log(codeUnreadableText(*code.layer) + cardSuffix(cardName) + "\n");
    }
    MagickSetImageUnits(card.get(), PixelsPerInchResolution);
    MagickSetImageResolution(card.get(), m_dpi, m_dpi);
    return card;
}

const CardRenderer::BackgroundPixels& CardRenderer::backgroundPixels() const
{
    std::call_once(m_backgroundPixelsOnce, [this] {
        BackgroundPixels& made = m_backgroundPixels;
        if (!exportRgba(m_background.get(), made.plain) || m_backgroundOpaque)
            return;
        WidePixels wide;
        widen(made.plain, wide);
        for (const ToEightBits mode : {ToEightBits::Nearest, ToEightBits::Down}) {
            RgbaPixels& onWhite = made.onWhite[static_cast<std::size_t>(mode)];
            fillPixels(onWhite, made.plain.width, made.plain.height, {255, 255, 255, 255});
            blendOver(onWhite, wide, 0, 0, mode);
        }
    });
    return m_backgroundPixels;
}

bool CardRenderer::drawsInBuffers(const OutputSettings& output) const
{
    if (!m_drawsInBuffers)
        return false;
    if (output.format == OutputFormat::Png)
        return !(output.isSaveToPng8 && output.transparent_open);
    return output.colorspace == OutputColorspace::SRgb;
}

const RgbaPixels& CardRenderer::drawInBuffers(CardBuffers& buffers, const CardRow& row,
                                              const OutputSettings& output, LogSink& log,
                                              const std::atomic<bool>& stop,
                                              const std::string& cardName,
                                              std::vector<DrawnCode>& codes) const
{
    // The card starts as a copy of the background: over white when it lets an opaque card's
    // canvas show through and no layer is drawn under it.
    const bool transparentCard = isTransparentCard(output);
    const bool onWhite = !m_layersBelow && needsCanvas(transparentCard);
    // Values are made 8-bit as the writer of the card would make them.
    const ToEightBits mode = output.format == OutputFormat::Png && !output.isSaveToPng8
                                 ? ToEightBits::Down
                                 : ToEightBits::Nearest;
    const BackgroundPixels& background = backgroundPixels();
    const RgbaPixels& start =
        onWhite ? background.onWhite[static_cast<std::size_t>(mode)] : background.plain;
    if (buffers.start == &start && buffers.card.bytes.size() == start.bytes.size()) {
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
        fillPixels(buffers.under, background.plain.width, background.plain.height,
                   transparentCard ? std::array<std::uint8_t, 4>{0, 0, 0, 0}
                                   : std::array<std::uint8_t, 4>{255, 255, 255, 255});
    BufferSurface surface(buffers, mode);
    drawLayers(surface, row, log, stop, cardName, codes);
    if (!m_layersBelow)
        return buffers.card;
    widen(buffers.card, buffers.wide);
    blendOver(buffers.under, buffers.wide, 0, 0, mode);
    return buffers.under;
}

RgbaPixels CardRenderer::drawPixels(const CardRow& row, const OutputSettings& output, LogSink& log,
                                    const std::atomic<bool>& stop) const
{
    CardBuffers buffers;
    std::vector<DrawnCode> codes;
    return drawInBuffers(buffers, row, output, log, stop, {}, codes);
}

std::optional<EncodedCard> CardRenderer::compose(const CardRow& row, const OutputSettings& output,
                                                 LogSink& log, std::atomic<bool>& stop,
                                                 const std::string& cardName,
                                                 CardBuffers* buffers) const
{
    // A background that could not be exported leaves the card to the image library.
    if (!drawsInBuffers(output) || backgroundPixels().plain.empty()) {
        MagickWandPtr canvas = draw(row, output, log, stop, cardName);
        if (stop.load() || !canvas)
            return std::nullopt;
        return encode(canvas.get(), output, log, stop);
    }
    CardBuffers ownBuffers;
    CardBuffers& used = buffers ? *buffers : ownBuffers;
    std::vector<DrawnCode> codes;
    const RgbaPixels& pixels = drawInBuffers(used, row, output, log, stop, cardName, codes);
    if (stop.load())
        return std::nullopt;
    for (const DrawnCode& code : codes) {
        if (!readsBack(pixels, code.image, code.symbol))
            log.log(codeUnreadableText(*code.layer) + cardSuffix(cardName) + "\n");
    }
    const bool transparentCard = isTransparentCard(output);
    // A JPEG the library would write with nothing but the pixels and the resolution is
    // encoded here; one it cannot (larger than a JPEG may be) goes to the library, which says why.
    if (output.format == OutputFormat::Jpg && (m_plainBackground || needsCanvas(false))) {
        EncodedCard card;
        card.extension = cardExtension(OutputFormat::Jpg);
        // Room for about the last card's size, so that the bytes are not copied as they grow.
        card.bytes.reserve(used.lastEncodedSize + used.lastEncodedSize / 4);
        if (encodeJpeg(pixels, output.quality, m_dpi, card.bytes)) {
            used.lastEncodedSize = card.bytes.size();
            return card;
        }
    }
    // Other cards are written by the image library, from an image that carries what the
    // background's would (its profiles, its comment): the pixels put into a copy of it, or into
    // a fresh canvas where the card has one.
    MagickWandPtr wand =
        needsCanvas(transparentCard)
            ? newCanvas(pixels.width, pixels.height, transparentCard ? "none" : "#ffffff")
            : backgroundImage();
    if (!wand) {
        log.log("无法创建画布\n");
        return std::nullopt;
    }
    if (transparentCard)
        MagickSetImageAlphaChannel(wand.get(), ActivateAlphaChannel);
    if (MagickImportImagePixels(wand.get(), 0, 0, pixels.width, pixels.height, "RGBA", CharPixel,
                                pixels.bytes.data()) == MagickFalse) {
        log.log(
            formatText("编码图片时发生错误:\r\n%s\r\n", magickExceptionText(wand.get()).c_str()));
        return std::nullopt;
    }
    MagickSetImageUnits(wand.get(), PixelsPerInchResolution);
    MagickSetImageResolution(wand.get(), m_dpi, m_dpi);
    return encode(wand.get(), output, log, stop);
}

std::optional<EncodedCard> CardRenderer::encode(MagickWand* wand, const OutputSettings& output,
                                                LogSink& log, std::atomic<bool>& stop) const
{
    EncodedCard card;
    // The wand of a decoded background remembers the format it was read in, which would win
    // over the image's own format when the card is encoded.
    MagickSetFormat(wand, output.format == OutputFormat::Png ? "PNG" : "JPEG");
    if (output.format == OutputFormat::Png) {
        card.extension = cardExtension(OutputFormat::Png);
        MagickSetImageFormat(wand, "PNG");
        if (output.isSaveToPng8) {
            auto bytes = encodePng8(wand, output.colorCount, m_dpi, log);
            if (!bytes) {
                stop.store(true);
                return std::nullopt;
            }
            card.bytes = std::move(*bytes);
            card.png8 = true;
            return card;
        }
        // The encoder would otherwise pick the colour type from the pixels (an all-white card
        // becomes 1-bit grey): always 8-bit RGB, with alpha when the card may be transparent.
        // Date chunks would make the bytes of two identical cards differ.
        if (!output.transparent_open)
            MagickSetImageAlphaChannel(wand, DeactivateAlphaChannel);
        MagickSetImageDepth(wand, 8);
        MagickSetImageType(wand, output.transparent_open ? TrueColorMatteType : TrueColorType);
        MagickSetOption(wand, "png:color-type", output.transparent_open ? "6" : "2");
        MagickSetOption(wand, "png:exclude-chunk", "date,time");
        // zlib level 5 with adaptive filtering: a few percent larger than the default level 7
        // and three times faster on photo-like cards.
        MagickSetCompressionQuality(wand, 55);
    } else {
        card.extension = cardExtension(OutputFormat::Jpg);
        MagickSetImageAlphaChannel(wand, DeactivateAlphaChannel);
        // A card drawn on a grey background picture keeps the picture's grey image type, and
        // the encoder would write it as a grey JPEG, dropping the colour of the layers.
        MagickSetImageType(wand, TrueColorType);
        MagickSetImageFormat(wand, "JPEG");
        MagickSetImageCompression(wand, JPEGCompression);
        MagickSetImageCompressionQuality(wand, static_cast<std::size_t>(output.quality));
        // Optimised Huffman tables cost encode time and change no pixel.
        MagickSetOption(wand, "jpeg:optimize-coding", "false");
        MagickSetImageDepth(wand, 8);
        if (const auto colorspace = jpegColorspace(output.colorspace))
            MagickTransformImageColorspace(wand, *colorspace);
    }
    std::size_t length = 0;
    MagickMemoryPtr<unsigned char> blob(MagickGetImageBlob(wand, &length));
    if (!blob || length == 0) {
        log.log(formatText("编码图片时发生错误:\r\n%s\r\n", magickExceptionText(wand).c_str()));
        return std::nullopt;
    }
    card.bytes.assign(blob.get(), blob.get() + length);
    return card;
}

std::string makeOutputName(const CardRow& row, const OutputSettings& output, std::size_t rowNumber)
{
    // Each part is cut first: nothing past 64 units can stay, and a cell may be megabytes. The
    // format characters go before the cut, so that they take no room from the visible ones.
    const auto part = [&row](const std::string& column) {
        const std::string* cell = findCell(row, column);
        return visibleNamePart(isBlankNameCell(cell) ? column : *cell);
    };
    const bool first = !output.file_name_bind_col_name.empty();
    const bool second = !output.file_name_bind_col_name2.empty();
    std::string name;
    if (first && second)
        name = part(output.file_name_bind_col_name) + "-" + part(output.file_name_bind_col_name2);
    else if (first)
        name = part(output.file_name_bind_col_name);
    else if (second)
        name = part(output.file_name_bind_col_name2);
    else
        name = std::to_string(rowNumber);
    name = sanitizeFileName(name);
    // A column named only with format characters leaves nothing: the name a row without
    // file-name columns gets.
    if (name.empty())
        name = std::to_string(rowNumber);
    // A name starting with "." would make a hidden card ("." and ".." would be no file at all).
    if (name.starts_with('.'))
        name.insert(0, "-");
    return truncateUtf16Units(name, kMaxFileNameUnits);
}

CardResult writeCard(const EncodedCard& card, const std::string& folder, const std::string& name,
                     LogSink& log, std::atomic<bool>& stop, FreeNameHints* hints)
{
    const WrittenFile file =
        writeFileUnderFreeName(folder, name, card.extension, card.bytes, hints);
    if (file.ok)
        return {CardOutcome::Written, file.path, file.number > 1};
    if (card.png8) {
        log.log(png8FailureText(formatText(file.openFailed ? "fopen() error: %s\r\n"
                                                           : "fwrite() error: %s\r\n",
                                           file.path.c_str()),
                                std::strerror(file.error)));
        stop.store(true);
        return {CardOutcome::Stopped, {}};
    }
    log.log(formatText("写入文件 '%s' 时发生错误:\r\n%s\r\n", file.path.c_str(),
                       std::strerror(file.error)));
    return {CardOutcome::WriteFailed, {}};
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
