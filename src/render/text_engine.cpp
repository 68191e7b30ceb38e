#include "render/text_engine.h"

#include "common/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <hb-ot.h>
#include <hb.h>

#include <unicode/ubidi.h>
#include <unicode/ubrk.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

namespace torvale {

namespace {

// HarfBuzz positions are in 26.6 fixed point: 64 units a pixel.
constexpr double kUnitsPerPixel = 64;
// Glyphs are rendered at quarter-pixel offsets, so that joined and spaced glyphs keep their
// places without one bitmap per position.
constexpr int kSubpixels = 4;

struct HbBufferDeleter {
    void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
};
struct UBiDiDeleter {
    void operator()(UBiDi* bidi) const { ubidi_close(bidi); }
};
struct UBreakDeleter {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};
using UBreakPtr = std::unique_ptr<UBreakIterator, UBreakDeleter>;

// A glyph rendered at one size and sub-pixel offset: premultiplied RGBA (colour glyphs) or
// coverage (outline glyphs), with its top-left corner relative to the pen on the baseline.
struct GlyphBitmap {
    int left = 0;
    int top = 0; // pixels above the baseline to the first row
    int width = 0;
    int rows = 0;
    bool color = false;
    std::vector<std::uint8_t> pixels; // width x rows coverage, or x 4 for colour
};

// One font file opened for shaping (HarfBuzz) and rendering (FreeType).
struct Face {
    FT_Face ft = nullptr;
    hb_face_t* hbFace = nullptr;
    hb_font_t* hbFont = nullptr;
    double hbSize = 0;      // the pixel size hbFont is scaled to
    double ftSize = 0;      // the pixel size ft is set to
    double bitmapScale = 1; // a face of bitmaps only (colour emoji): its strike to the size

    ~Face()
    {
        if (hbFont)
            hb_font_destroy(hbFont);
        if (hbFace)
            hb_face_destroy(hbFace);
        if (ft)
            FT_Done_Face(ft);
    }
};

struct GlyphKey {
    const Face* face;
    double size;
    std::uint32_t glyph;
    int subX;
    int subY;
    bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
    std::size_t operator()(const GlyphKey& key) const
    {
        std::size_t h = std::hash<const void*>()(key.face);
        h = h * 31 + std::hash<double>()(key.size);
        h = h * 31 + key.glyph;
        return h * 31 + static_cast<std::size_t>(key.subX * kSubpixels + key.subY);
    }
};

// The fonts and glyphs of one thread, kept from text to text: nothing here is shared with
// another thread, so none of it needs a lock.
class ThreadFonts {
public:
    static ThreadFonts& instance()
    {
        thread_local ThreadFonts fonts;
        return fonts;
    }

    ThreadFonts()
    {
        if (FT_Init_FreeType(&m_library) != 0)
            m_library = nullptr;
    }

    ~ThreadFonts()
    {
        m_glyphs.clear();
        m_faces.clear();
        if (m_library)
            FT_Done_FreeType(m_library);
    }

    ThreadFonts(const ThreadFonts&) = delete;
    ThreadFonts& operator=(const ThreadFonts&) = delete;

    // The face of a file (its first face); null when it cannot be read.
    Face* face(const std::string& file)
    {
        if (const auto it = m_faces.find(file); it != m_faces.end())
            return it->second.get();
        auto face = std::make_unique<Face>();
        if (!m_library || FT_New_Face(m_library, file.c_str(), 0, &face->ft) != 0) {
            face->ft = nullptr;
            m_faces.emplace(file, nullptr);
            return nullptr;
        }
        hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.c_str());
        if (!blob) {
            m_faces.emplace(file, nullptr);
            return nullptr;
        }
        face->hbFace = hb_face_create(blob, 0);
        hb_blob_destroy(blob);
        face->hbFont = hb_font_create(face->hbFace);
        return m_faces.emplace(file, std::move(face)).first->second.get();
    }

    // Closes every face when many are open; called where no face is in use, at the start of
    // each operation, so that the faces an operation opens stay open until it ends.
    void trim()
    {
        if (m_faces.size() < kMaxFaces)
            return;
        m_glyphs.clear();
        m_glyphBytes = 0;
        m_faces.clear();
    }

    // The HarfBuzz font of a face at a pixel size.
    static hb_font_t* shapingFont(Face& face, double size)
    {
        if (face.hbSize != size) {
            const auto scale = static_cast<int>(std::lround(size * kUnitsPerPixel));
            hb_font_set_scale(face.hbFont, scale, scale);
            face.hbSize = size;
        }
        return face.hbFont;
    }

    // Sets the FreeType face to a pixel size; false when it has no such size.
    static bool setSize(Face& face, double size)
    {
        if (face.ftSize == size)
            return true;
        FT_Face ft = face.ft;
        face.bitmapScale = 1;
        if (FT_IS_SCALABLE(ft)) {
            if (FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(size)) != 0)
                return false;
        } else {
            // Bitmaps only (colour emoji): the strike nearest above the size, scaled to it.
            if (ft->num_fixed_sizes <= 0)
                return false;
            int best = 0;
            for (int i = 1; i < ft->num_fixed_sizes; ++i) {
                const double here = static_cast<double>(ft->available_sizes[i].y_ppem) / 64;
                const double chosen = static_cast<double>(ft->available_sizes[best].y_ppem) / 64;
                if ((chosen < size && here > chosen) || (here >= size && here < chosen))
                    best = i;
            }
            if (FT_Select_Size(ft, best) != 0)
                return false;
            face.bitmapScale = size / (static_cast<double>(ft->available_sizes[best].y_ppem) / 64);
        }
        face.ftSize = size;
        return true;
    }

    const GlyphBitmap* glyph(Face& face, double size, std::uint32_t glyph, int subX, int subY)
    {
        const GlyphKey key{&face, size, glyph, subX, subY};
        if (const auto it = m_glyphs.find(key); it != m_glyphs.end())
            return &it->second;
        if (!setSize(face, size))
            return nullptr;
        GlyphBitmap bitmap;
        if (!render(face, glyph, subX, subY, bitmap))
            return nullptr;
        if (m_glyphBytes + bitmap.pixels.size() > kMaxGlyphBytes) {
            m_glyphs.clear();
            m_glyphBytes = 0;
        }
        m_glyphBytes += bitmap.pixels.size();
        return &m_glyphs.emplace(key, std::move(bitmap)).first->second;
    }

    UBreakIterator* breaker(UBreakIteratorType type)
    {
        UBreakPtr& iterator = type == UBRK_LINE   ? m_lineBreaks
                              : type == UBRK_WORD ? m_words
                                                  : m_characters;
        if (!iterator) {
            UErrorCode status = U_ZERO_ERROR;
            iterator.reset(ubrk_open(type, "", nullptr, 0, &status));
            if (U_FAILURE(status))
                iterator.reset();
        }
        return iterator.get();
    }

private:
    static constexpr std::size_t kMaxFaces = 48;
    static constexpr std::size_t kMaxGlyphBytes = 32 * 1024 * 1024;

    static bool render(Face& face, std::uint32_t glyph, int subX, int subY, GlyphBitmap& out)
    {
        FT_Face ft = face.ft;
        const bool colorFace = FT_HAS_COLOR(ft) || !FT_IS_SCALABLE(ft);
        // Embedded bitmaps of outline fonts are left out: they exist for a few small sizes
        // and would draw those sizes in another style.
        const FT_Int32 flags = colorFace ? FT_LOAD_COLOR : FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT;
        if (FT_Load_Glyph(ft, glyph, flags) != 0)
            return false;
        FT_GlyphSlot slot = ft->glyph;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Outline_Translate(&slot->outline, subX * 64 / kSubpixels, -subY * 64 / kSubpixels);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0)
                return false;
        }
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_BGRA) {
            scaleColor(bitmap, slot->bitmap_left, slot->bitmap_top, face.bitmapScale, out);
            return true;
        }
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
            return bitmap.rows == 0 || bitmap.width == 0;
        out.left = slot->bitmap_left;
        out.top = slot->bitmap_top;
        out.width = static_cast<int>(bitmap.width);
        out.rows = static_cast<int>(bitmap.rows);
        out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.rows));
        for (int y = 0; y < out.rows; ++y) {
            const unsigned char* row =
                bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
            for (int x = 0; x < out.width; ++x) {
                const std::uint8_t value = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY
                                               ? row[x]
                                               : ((row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0);
                out.pixels[static_cast<std::size_t>(y * out.width + x)] = value;
            }
        }
        return true;
    }

    // A colour bitmap (premultiplied BGRA at its strike's size) scaled to the text's size by
    // averaging the source pixels each target pixel covers.
    static void scaleColor(const FT_Bitmap& bitmap, int left, int top, double scale,
                           GlyphBitmap& out)
    {
        const auto sourceWidth = static_cast<int>(bitmap.width);
        const auto sourceRows = static_cast<int>(bitmap.rows);
        out.color = true;
        out.left = static_cast<int>(std::lround(left * scale));
        out.top = static_cast<int>(std::lround(top * scale));
        out.width = std::max(1, static_cast<int>(std::lround(sourceWidth * scale)));
        out.rows = std::max(1, static_cast<int>(std::lround(sourceRows * scale)));
        out.pixels.assign(
            static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.rows) * 4, 0);
        if (sourceWidth == 0 || sourceRows == 0)
            return;
        for (int y = 0; y < out.rows; ++y) {
            const int y0 = std::min(sourceRows - 1, y * sourceRows / out.rows);
            const int y1 = std::max(y0 + 1, (y + 1) * sourceRows / out.rows);
            for (int x = 0; x < out.width; ++x) {
                const int x0 = std::min(sourceWidth - 1, x * sourceWidth / out.width);
                const int x1 = std::max(x0 + 1, (x + 1) * sourceWidth / out.width);
                std::array<unsigned, 4> sum{};
                for (int sy = y0; sy < y1; ++sy) {
                    const unsigned char* row =
                        bitmap.buffer + static_cast<std::ptrdiff_t>(sy) * bitmap.pitch;
                    for (int sx = x0; sx < x1; ++sx) {
                        // BGRA to RGBA.
                        sum[0] += row[sx * 4 + 2];
                        sum[1] += row[sx * 4 + 1];
                        sum[2] += row[sx * 4 + 0];
                        sum[3] += row[sx * 4 + 3];
                    }
                }
                const auto count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
                std::uint8_t* pixel = &out.pixels[static_cast<std::size_t>(y * out.width + x) * 4];
                for (int c = 0; c < 4; ++c)
                    pixel[c] = static_cast<std::uint8_t>(
                        (sum[static_cast<std::size_t>(c)] + count / 2) / count);
            }
        }
    }

    FT_Library m_library = nullptr;
    std::unordered_map<std::string, std::unique_ptr<Face>> m_faces;
    std::unordered_map<GlyphKey, GlyphBitmap, GlyphKeyHash> m_glyphs;
    std::size_t m_glyphBytes = 0;
    UBreakPtr m_lineBreaks;
    UBreakPtr m_words;
    UBreakPtr m_characters;
};

// Scripts whose letters join: spacing between two of their letters would break the join.
bool isCursive(UScriptCode script)
{
    switch (script) {
    case USCRIPT_ARABIC:
    case USCRIPT_SYRIAC:
    case USCRIPT_MONGOLIAN:
    case USCRIPT_NKO:
    case USCRIPT_MANDAIC:
    case USCRIPT_ADLAM:
    case USCRIPT_HANIFI_ROHINGYA:
    case USCRIPT_MANICHAEAN:
    case USCRIPT_PSALTER_PAHLAVI:
    case USCRIPT_SOGDIAN:
    case USCRIPT_PHAGS_PA:
        return true;
    default:
        return false;
    }
}

// The script of each UTF-16 unit, characters common to several scripts (spaces, digits,
// punctuation) and marks taking the script of the text around them.
std::vector<UScriptCode> unitScripts(std::u16string_view text, std::size_t first, std::size_t last)
{
    std::vector<UScriptCode> scripts(last - first, USCRIPT_COMMON);
    UScriptCode current = USCRIPT_COMMON;
    for (std::size_t i = first; i < last;) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        UErrorCode status = U_ZERO_ERROR;
        UScriptCode script = uscript_getScript(static_cast<UChar32>(cp), &status);
        if (U_FAILURE(status) || script == USCRIPT_INHERITED || script == USCRIPT_COMMON ||
            script == USCRIPT_UNKNOWN)
            script = current;
        else
            current = script;
        for (std::size_t k = start; k < i; ++k)
            scripts[k - first] = script;
    }
    // What comes before the first letter takes its script.
    const auto firstLetter = std::find_if(scripts.begin(), scripts.end(),
                                          [](UScriptCode s) { return s != USCRIPT_COMMON; });
    if (firstLetter != scripts.end())
        std::fill(scripts.begin(), firstLetter, *firstLetter);
    return scripts;
}

// Scripts whose letters stand apart: their advances are rounded to whole pixels, as hinted text
// is set, so that letters keep even gaps and lines the widths they had. Joining scripts (Arabic,
// the Indic headlines) keep exact advances, or their joins would open.
bool roundsAdvances(UScriptCode script)
{
    switch (script) {
    case USCRIPT_COMMON:
    case USCRIPT_LATIN:
    case USCRIPT_GREEK:
    case USCRIPT_CYRILLIC:
    case USCRIPT_ARMENIAN:
    case USCRIPT_GEORGIAN:
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_HANGUL:
    case USCRIPT_BOPOMOFO:
        return true;
    default:
        return false;
    }
}

hb_script_t hbScript(UScriptCode script)
{
    const char* name = uscript_getShortName(script);
    return name ? hb_script_from_string(name, -1) : HB_SCRIPT_COMMON;
}

// A stretch of a line shaped in one go: one face, one direction, one script.
struct Item {
    std::size_t start = 0;
    std::size_t end = 0;
    const std::string* face = nullptr;
    UBiDiLevel level = 0;
    UScriptCode script = USCRIPT_COMMON;
};

} // namespace

bool shapeLine(const FacedText& text, double pixelSize, double spacing, ShapedLine& line,
               std::size_t first, std::size_t last)
{
    line = ShapedLine();
    const std::u16string& units = text.text;
    last = std::min(last, units.size());
    line.unitAdvances.assign(units.size(), 0);
    if (first >= last)
        return true;
    if (!(pixelSize >= 1 && pixelSize <= kMaxTextPixelSize))
        return false;

    // Bidirectional levels, the paragraph's direction from its first strong character.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UBiDi, UBiDiDeleter> bidi(
        ubidi_openSized(static_cast<int32_t>(last - first), 0, &status));
    if (bidi && U_SUCCESS(status))
        ubidi_setPara(bidi.get(), reinterpret_cast<const UChar*>(units.data() + first),
                      static_cast<int32_t>(last - first), UBIDI_DEFAULT_LTR, nullptr, &status);
    const UBiDiLevel* levels =
        bidi && U_SUCCESS(status) ? ubidi_getLevels(bidi.get(), &status) : nullptr;
    if (!levels || U_FAILURE(status))
        return false;
    const std::vector<UScriptCode> scripts = unitScripts(units, first, last);

    std::vector<Item> items;
    for (const FacedText::Run& run : text.runs) {
        if (run.face.empty())
            continue; // characters no face has take no room
        const std::size_t from = std::max(run.start, first);
        const std::size_t to = std::min(run.end, last);
        for (std::size_t i = from; i < to; ++i) {
            const UBiDiLevel level = levels[i - first];
            const UScriptCode script = scripts[i - first];
            if (i == from || items.back().level != level || items.back().script != script)
                items.push_back({i, i + 1, &run.face, level, script});
            else
                items.back().end = i + 1;
        }
    }
    if (items.empty())
        return true;
    std::vector<UBiDiLevel> itemLevels;
    for (const Item& item : items)
        itemLevels.push_back(item.level);
    std::vector<int32_t> visual(items.size());
    ubidi_reorderVisual(itemLevels.data(), static_cast<int32_t>(items.size()), visual.data());

    ThreadFonts& fonts = ThreadFonts::instance();
    fonts.trim();
    std::unique_ptr<hb_buffer_t, HbBufferDeleter> buffer(hb_buffer_create());
    std::unordered_map<const std::string*, std::uint32_t> faceIndex;
    double pen = 0;
    std::size_t previousCluster = SIZE_MAX;
    UScriptCode previousScript = USCRIPT_COMMON;
    bool previousSpace = false;
    line.inkRight = 0;
    for (const int32_t index : visual) {
        const Item& item = items[static_cast<std::size_t>(index)];
        Face* face = fonts.face(*item.face);
        if (!face || !ThreadFonts::setSize(*face, pixelSize))
            return false;
        hb_font_t* font = ThreadFonts::shapingFont(*face, pixelSize);
        auto [known, added] =
            faceIndex.emplace(item.face, static_cast<std::uint32_t>(line.faces.size()));
        if (added) {
            line.faces.push_back(*item.face);
            const FT_Size_Metrics& metrics = face->ft->size->metrics;
            line.ascent = std::max(line.ascent, std::ceil(static_cast<double>(metrics.ascender) /
                                                          64 * face->bitmapScale));
            line.descent =
                std::min(line.descent, std::floor(static_cast<double>(metrics.descender) / 64 *
                                                  face->bitmapScale));
        }
        hb_buffer_t* buf = buffer.get();
        hb_buffer_clear_contents(buf);
        // The whole line is the context, so that letters join across faces and scripts.
        hb_buffer_add_utf16(buf, reinterpret_cast<const std::uint16_t*>(units.data() + first),
                            static_cast<int>(last - first),
                            static_cast<unsigned>(item.start - first),
                            static_cast<int>(item.end - item.start));
        hb_buffer_set_direction(buf, item.level % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_set_script(buf, hbScript(item.script));
        hb_buffer_set_cluster_level(buf, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_GRAPHEMES);
        hb_shape(font, buf, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buf, &count);
        const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buf, &count);
        for (unsigned g = 0; g < count; ++g) {
            const std::size_t cluster = first + infos[g].cluster;
            if (cluster != previousCluster) {
                const bool space = units[cluster] == u' ' || units[cluster] == u'\u3000';
                const UScriptCode script = scripts[cluster - first];
                if (previousCluster != SIZE_MAX &&
                    !(isCursive(script) && isCursive(previousScript) && !space && !previousSpace)) {
                    pen += spacing;
                    line.unitAdvances[std::min(cluster, previousCluster)] += spacing;
                    ++line.gaps;
                }
                previousCluster = cluster;
                previousScript = script;
                previousSpace = space;
            }
            const double x = pen + positions[g].x_offset / kUnitsPerPixel;
            const double y = -positions[g].y_offset / kUnitsPerPixel;
            line.glyphs.push_back({known->second, infos[g].codepoint, x, y});
            hb_glyph_extents_t extents{};
            if (hb_font_get_glyph_extents(font, infos[g].codepoint, &extents) && extents.width != 0)
                line.inkRight = std::max(line.inkRight,
                                         x + (extents.x_bearing + extents.width) / kUnitsPerPixel);
            double advance = positions[g].x_advance / kUnitsPerPixel;
            if (roundsAdvances(item.script))
                advance = std::round(advance);
            pen += advance;
            line.unitAdvances[cluster] += advance;
        }
    }
    line.advance = pen;
    return true;
}

std::vector<std::size_t> textBoundaries(std::u16string_view text, Boundary kind, std::size_t first)
{
    std::vector<std::size_t> ends;
    const UBreakIteratorType type = kind == Boundary::Line   ? UBRK_LINE
                                    : kind == Boundary::Word ? UBRK_WORD
                                                             : UBRK_CHARACTER;
    UBreakIterator* iterator = ThreadFonts::instance().breaker(type);
    UErrorCode status = U_ZERO_ERROR;
    if (iterator)
        ubrk_setText(iterator, reinterpret_cast<const UChar*>(text.data()),
                     static_cast<int32_t>(text.size()), &status);
    if (iterator && U_SUCCESS(status)) {
        for (int32_t at = ubrk_following(iterator, static_cast<int32_t>(first)); at != UBRK_DONE;
             at = ubrk_next(iterator))
            ends.push_back(static_cast<std::size_t>(at));
    } else if (kind == Boundary::Grapheme) {
        // Without the rules, at least never inside a character.
        for (std::size_t i = first; i < text.size();) {
            nextCodePoint(text, i);
            ends.push_back(i);
        }
    }
    if (ends.empty() || ends.back() != text.size())
        ends.push_back(text.size());
    return ends;
}

bool drawShapedLine(const ShapedLine& line, double pixelSize, RgbaPixels& target, double x,
                    double baseline, const std::array<std::uint8_t, 3>& color)
{
    ThreadFonts& fonts = ThreadFonts::instance();
    fonts.trim();
    std::vector<Face*> faces;
    for (const std::string& file : line.faces) {
        Face* face = fonts.face(file);
        if (!face)
            return false;
        faces.push_back(face);
    }
    const auto width = static_cast<long>(target.width);
    const auto height = static_cast<long>(target.height);
    for (const PlacedGlyph& placed : line.glyphs) {
        const double px = x + placed.x;
        const double py = baseline + placed.y;
        auto wholeX = static_cast<long>(std::floor(px));
        auto wholeY = static_cast<long>(std::floor(py));
        int subX = static_cast<int>(std::lround((px - static_cast<double>(wholeX)) * kSubpixels));
        int subY = static_cast<int>(std::lround((py - static_cast<double>(wholeY)) * kSubpixels));
        if (subX == kSubpixels) {
            subX = 0;
            ++wholeX;
        }
        if (subY == kSubpixels) {
            subY = 0;
            ++wholeY;
        }
        const GlyphBitmap* glyph =
            fonts.glyph(*faces[placed.face], pixelSize, placed.glyph, subX, subY);
        if (!glyph)
            return false;
        const long left = wholeX + glyph->left;
        const long top = wholeY - glyph->top;
        for (int gy = 0; gy < glyph->rows; ++gy) {
            const long ty = top + gy;
            if (ty < 0 || ty >= height)
                continue;
            for (int gx = 0; gx < glyph->width; ++gx) {
                const long tx = left + gx;
                if (tx < 0 || tx >= width)
                    continue;
                const auto at = static_cast<std::size_t>(gy * glyph->width + gx);
                std::uint8_t* dst = &target.bytes[static_cast<std::size_t>(ty * width + tx) * 4];
                if (!glyph->color) {
                    const std::uint8_t coverage = glyph->pixels[at];
                    if (coverage == 0)
                        continue;
                    // Ink of the text's colour on nothing or on ink of the same colour (the
                    // usual cases): only the coverage adds up.
                    if (dst[3] == 0 ||
                        (dst[0] == color[0] && dst[1] == color[1] && dst[2] == color[2])) {
                        dst[0] = color[0];
                        dst[1] = color[1];
                        dst[2] = color[2];
                        dst[3] = static_cast<std::uint8_t>(coverage +
                                                           (dst[3] * (255 - coverage) + 127) / 255);
                        continue;
                    }
                }
                // Otherwise "over" in floating point on the straight-alpha target.
                std::array<float, 3> source{}; // premultiplied
                float sourceAlpha = 0;
                if (glyph->color) {
                    sourceAlpha = glyph->pixels[at * 4 + 3] / 255.0F;
                    for (std::size_t c = 0; c < 3; ++c)
                        source[c] = glyph->pixels[at * 4 + c] / 255.0F;
                } else {
                    sourceAlpha = glyph->pixels[at] / 255.0F;
                    for (std::size_t c = 0; c < 3; ++c)
                        source[c] = color[c] / 255.0F * sourceAlpha;
                }
                if (sourceAlpha <= 0)
                    continue;
                const float below = dst[3] / 255.0F * (1 - sourceAlpha);
                const float alpha = sourceAlpha + below;
                for (std::size_t c = 0; c < 3; ++c) {
                    const float value = (source[c] + dst[c] / 255.0F * below) / alpha;
                    dst[c] = static_cast<std::uint8_t>(std::clamp(value, 0.0F, 1.0F) * 255 + 0.5F);
                }
                dst[3] = static_cast<std::uint8_t>(std::min(alpha, 1.0F) * 255 + 0.5F);
            }
        }
    }
    return true;
}

bool faceHasGlyphs(const std::string& file, std::string_view text)
{
    ThreadFonts::instance().trim();
    Face* face = ThreadFonts::instance().face(file);
    if (!face)
        return false;
    for (std::size_t i = 0; i < text.size();) {
        if (FT_Get_Char_Index(face->ft, nextCodePoint(text, i)) == 0)
            return false;
    }
    return true;
}

std::optional<std::pair<double, double>> faceExtents(const std::string& file, double pixelSize)
{
    ThreadFonts::instance().trim();
    Face* face = ThreadFonts::instance().face(file);
    if (!face || !ThreadFonts::setSize(*face, pixelSize))
        return std::nullopt;
    const FT_Size_Metrics& metrics = face->ft->size->metrics;
    return std::make_pair(
        std::ceil(static_cast<double>(metrics.ascender) / 64 * face->bitmapScale),
        std::floor(static_cast<double>(metrics.descender) / 64 * face->bitmapScale));
}

} // namespace torvale
