#include "render/text_engine.h"

#include "common/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <hb-ot.h>
#include <hb.h>

#include <unicode/ubidi.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
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
    // Vertical text: hbVertical shapes with the face's vertical metrics where they hold (see
    // verticalFuncs), on hbVerticalBase at the face's own units.
    hb_font_t* hbVerticalBase = nullptr;
    hb_font_t* hbVertical = nullptr;
    double hbVerticalSize = 0;
    bool verticalMetricsHold = true; // false: every glyph stands in an em square (see below)
    std::optional<std::vector<unsigned>> vertLookups; // its GSUB lookups of the 'vert' feature

    ~Face()
    {
        if (hbVertical)
            hb_font_destroy(hbVertical);
        if (hbVerticalBase)
            hb_font_destroy(hbVerticalBase);
        if (hbFont)
            hb_font_destroy(hbFont);
        if (hbFace)
            hb_face_destroy(hbFace);
        if (ft)
            FT_Done_Face(ft);
    }
};

// Vertical metrics. A face's own (vmtx, VORG) are used where they hold. Some CJK fonts ship
// vertical metrics that are zero for most ideographs and wrong for others (kana that reach into
// the next character): a face whose common ideographs do not stand inside their vertical
// advances has every glyph stand in an em square centred on the middle of its horizontal line,
// and so has a glyph another face gives no vertical advance though it is no mark. The font
// asked is a sub-font (its data the Face) of a font at the face's units.
bool verticalMetricsHold(hb_font_t* base)
{
    int em = 0;
    int unused = 0;
    hb_font_get_scale(base, &unused, &em);
    for (const char32_t cp : {U'国', U'口', U'中'}) {
        hb_codepoint_t glyph = 0;
        if (!hb_font_get_nominal_glyph(base, cp, &glyph))
            continue;
        const hb_position_t advance = -hb_font_get_glyph_v_advance(base, glyph);
        hb_position_t x = 0;
        hb_position_t y = 0;
        hb_font_get_glyph_origin_for_direction(base, glyph, HB_DIRECTION_TTB, &x, &y);
        hb_glyph_extents_t ink{};
        hb_font_get_glyph_extents(base, glyph, &ink);
        const hb_position_t slack = em / 8;
        return advance > 0 && y - ink.y_bearing >= -slack &&
               y - (ink.y_bearing + ink.height) <= advance + slack;
    }
    return true;
}

bool lacksVerticalMetrics(const void* face, hb_font_t* base, hb_codepoint_t glyph)
{
    if (!static_cast<const Face*>(face)->verticalMetricsHold)
        return true;
    return hb_font_get_glyph_v_advance(base, glyph) == 0 &&
           hb_ot_layout_get_glyph_class(hb_font_get_face(base), glyph) !=
               HB_OT_LAYOUT_GLYPH_CLASS_MARK &&
           hb_font_get_glyph_h_advance(base, glyph) > 0;
}

// A length of the base font (face units) at the font's scale.
hb_position_t scaledFromBase(hb_font_t* font, hb_font_t* base, hb_position_t value)
{
    int scale = 0;
    int baseScale = 0;
    int unused = 0;
    hb_font_get_scale(font, &unused, &scale);
    hb_font_get_scale(base, &unused, &baseScale);
    return baseScale ? static_cast<hb_position_t>(
                           std::llround(static_cast<double>(value) * scale / baseScale))
                     : 0;
}

hb_position_t verticalAdvance(hb_font_t* font, void* face, hb_codepoint_t glyph, void*)
{
    hb_font_t* base = hb_font_get_parent(font);
    if (lacksVerticalMetrics(face, base, glyph)) {
        int scale = 0;
        int unused = 0;
        hb_font_get_scale(font, &unused, &scale);
        return -scale; // an em, downwards
    }
    return scaledFromBase(font, base, hb_font_get_glyph_v_advance(base, glyph));
}

hb_bool_t verticalOrigin(hb_font_t* font, void* face, hb_codepoint_t glyph, hb_position_t* x,
                         hb_position_t* y, void*)
{
    hb_font_t* base = hb_font_get_parent(font);
    hb_position_t baseX = 0;
    hb_position_t baseY = 0;
    if (lacksVerticalMetrics(face, base, glyph)) {
        hb_font_extents_t extents{};
        hb_font_get_h_extents(base, &extents);
        int em = 0;
        int unused = 0;
        hb_font_get_scale(base, &unused, &em);
        baseX = hb_font_get_glyph_h_advance(base, glyph) / 2;
        baseY = (extents.ascender + extents.descender) / 2 + em / 2;
    } else {
        hb_font_get_glyph_origin_for_direction(base, glyph, HB_DIRECTION_TTB, &baseX, &baseY);
    }
    *x = scaledFromBase(font, base, baseX);
    *y = scaledFromBase(font, base, baseY);
    return true;
}

hb_font_funcs_t* verticalFuncs()
{
    // Immutable once made, so every thread may use it.
    static hb_font_funcs_t* const funcs = [] {
        hb_font_funcs_t* made = hb_font_funcs_create();
        hb_font_funcs_set_glyph_v_advance_func(made, verticalAdvance, nullptr, nullptr);
        hb_font_funcs_set_glyph_v_origin_func(made, verticalOrigin, nullptr, nullptr);
        hb_font_funcs_make_immutable(made);
        return made;
    }();
    return funcs;
}

struct GlyphKey {
    const Face* face;
    double size;
    std::uint32_t glyph;
    int subX;
    int subY;
    bool turned;
    bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
    std::size_t operator()(const GlyphKey& key) const
    {
        std::size_t h = std::hash<const void*>()(key.face);
        h = h * 31 + std::hash<double>()(key.size);
        h = h * 31 + key.glyph;
        return h * 31 + static_cast<std::size_t>((key.subX * kSubpixels + key.subY) * 2 +
                                                 (key.turned ? 1 : 0));
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

    // The HarfBuzz font of a face for vertical shaping at a pixel size.
    static hb_font_t* verticalFont(Face& face, double size)
    {
        if (!face.hbVertical) {
            // A sub-font takes what it does not answer itself from its parent, which it makes
            // immutable: the parent stays at the face's units.
            face.hbVerticalBase = hb_font_create(face.hbFace);
            face.hbVertical = hb_font_create_sub_font(face.hbVerticalBase);
            hb_font_set_funcs(face.hbVertical, verticalFuncs(), &face, nullptr);
            face.verticalMetricsHold = verticalMetricsHold(face.hbVerticalBase);
        }
        if (face.hbVerticalSize != size) {
            const auto scale = static_cast<int>(std::lround(size * kUnitsPerPixel));
            hb_font_set_scale(face.hbVertical, scale, scale);
            face.hbVerticalSize = size;
        }
        return face.hbVertical;
    }

    const GlyphBitmap* glyph(Face& face, double size, std::uint32_t glyph, int subX, int subY,
                             bool turned)
    {
        const GlyphKey key{&face, size, glyph, subX, subY, turned};
        if (const auto it = m_glyphs.find(key); it != m_glyphs.end())
            return &it->second;
        if (!setSize(face, size))
            return nullptr;
        GlyphBitmap bitmap;
        if (!render(face, glyph, subX, subY, turned, bitmap))
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

    static bool render(Face& face, std::uint32_t glyph, int subX, int subY, bool turned,
                       GlyphBitmap& out)
    {
        FT_Face ft = face.ft;
        const bool colorFace = FT_HAS_COLOR(ft) || !FT_IS_SCALABLE(ft);
        // Embedded bitmaps of outline fonts are left out: they exist for a few small sizes
        // and would draw those sizes in another style.
        const FT_Int32 flags = colorFace ? FT_LOAD_COLOR : FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT;
        if (FT_Load_Glyph(ft, glyph, flags) != 0)
            return false;
        FT_GlyphSlot slot = ft->glyph;
        const bool outline = slot->format == FT_GLYPH_FORMAT_OUTLINE;
        if (outline) {
            if (turned) {
                // Clockwise, in FreeType's upward y: (x, y) to (y, -x).
                FT_Matrix clockwise{0, 0x10000, -0x10000, 0};
                FT_Outline_Transform(&slot->outline, &clockwise);
            }
            FT_Outline_Translate(&slot->outline, subX * 64 / kSubpixels, -subY * 64 / kSubpixels);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0)
                return false;
        }
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_BGRA) {
            scaleColor(bitmap, slot->bitmap_left, slot->bitmap_top, face.bitmapScale, out);
            if (turned)
                turnClockwise(out);
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
        if (turned && !outline)
            turnClockwise(out);
        return true;
    }

    // A rendered bitmap turned 90 degrees clockwise about the pen (pixels of a face without
    // outlines).
    static void turnClockwise(GlyphBitmap& bitmap)
    {
        const std::size_t channels = bitmap.color ? 4 : 1;
        const auto width = static_cast<std::size_t>(bitmap.width);
        const auto rows = static_cast<std::size_t>(bitmap.rows);
        std::vector<std::uint8_t> turned(bitmap.pixels.size());
        // Column x of row y goes to column rows - 1 - y of row x.
        for (std::size_t y = 0; y < rows; ++y) {
            for (std::size_t x = 0; x < width; ++x)
                std::copy_n(&bitmap.pixels[(y * width + x) * channels], channels,
                            &turned[(x * rows + rows - 1 - y) * channels]);
        }
        const int left = bitmap.left;
        bitmap.left = bitmap.top - bitmap.rows;
        bitmap.top = -left;
        std::swap(bitmap.width, bitmap.rows);
        bitmap.pixels = std::move(turned);
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

// How a character stands in vertical text, by its Unicode vertical orientation.
enum class Orientation : std::uint8_t {
    Upright,       // Chinese, Japanese, Korean, most symbols, "，。" (in their vertical forms)
    UprightIfForm, // brackets and the like: upright in a vertical form the face has, else turned
    Turned,        // Latin letters, digits, Arabic, ...: in a turned horizontal run
    Inherit,       // marks, joiners and the second unit of a pair: as the unit before
};

std::vector<Orientation> unitOrientations(std::u16string_view text, std::size_t first,
                                          std::size_t last)
{
    std::vector<Orientation> orientations(last - first, Orientation::Inherit);
    for (std::size_t i = first; i < last;) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        const auto c = static_cast<UChar32>(cp);
        const std::int8_t category = u_charType(c);
        if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK ||
            category == U_COMBINING_SPACING_MARK || cp == 0x200C || cp == 0x200D)
            continue;
        switch (u_getIntPropertyValue(c, UCHAR_VERTICAL_ORIENTATION)) {
        case U_VO_UPRIGHT:
        case U_VO_TRANSFORMED_UPRIGHT:
            orientations[start - first] = Orientation::Upright;
            break;
        case U_VO_TRANSFORMED_ROTATED:
            orientations[start - first] = Orientation::UprightIfForm;
            break;
        default:
            orientations[start - first] = Orientation::Turned;
            break;
        }
    }
    return orientations;
}

// Unicode's vertical presentation form of a character (0: none), for faces whose 'vert'
// feature does not give one.
char32_t presentationForm(char32_t cp)
{
    static constexpr std::pair<char32_t, char32_t> kForms[] = {
        {0x2013, 0xFE32}, {0x2014, 0xFE31}, {0x2025, 0xFE30}, {0x2026, 0xFE19}, {0x3001, 0xFE11},
        {0x3002, 0xFE12}, {0x3008, 0xFE3F}, {0x3009, 0xFE40}, {0x300A, 0xFE3D}, {0x300B, 0xFE3E},
        {0x300C, 0xFE41}, {0x300D, 0xFE42}, {0x300E, 0xFE43}, {0x300F, 0xFE44}, {0x3010, 0xFE3B},
        {0x3011, 0xFE3C}, {0x3014, 0xFE39}, {0x3015, 0xFE3A}, {0x3016, 0xFE17}, {0x3017, 0xFE18},
        {0xFE4F, 0xFE34}, {0xFF01, 0xFE15}, {0xFF08, 0xFE35}, {0xFF09, 0xFE36}, {0xFF0C, 0xFE10},
        {0xFF1A, 0xFE13}, {0xFF1B, 0xFE14}, {0xFF1F, 0xFE16}, {0xFF3B, 0xFE47}, {0xFF3D, 0xFE48},
        {0xFF3F, 0xFE33}, {0xFF5B, 0xFE37}, {0xFF5D, 0xFE38}};
    const auto* found =
        std::lower_bound(std::begin(kForms), std::end(kForms), cp,
                         [](const auto& form, char32_t c) { return form.first < c; });
    return found != std::end(kForms) && found->first == cp ? found->second : 0;
}

// Punctuation set in the lower left corner of its em square in horizontal text and in the upper
// right one in vertical text.
bool isCornerPunctuation(char32_t cp)
{
    return cp == 0x3001 || cp == 0x3002 || cp == 0xFF0C || cp == 0xFF0E;
}

hb_codepoint_t nominalGlyph(const Face& face, char32_t cp)
{
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(face.hbFont, cp, &glyph) ? glyph : 0;
}

// The lookups of the face's 'vert' feature (vertical forms), in any script and language.
const std::vector<unsigned>& vertLookups(Face& face)
{
    if (!face.vertLookups) {
        face.vertLookups.emplace();
        hb_set_t* lookups = hb_set_create();
        const hb_tag_t features[] = {HB_TAG('v', 'e', 'r', 't'), HB_TAG_NONE};
        hb_ot_layout_collect_lookups(face.hbFace, HB_OT_TAG_GSUB, nullptr, nullptr, features,
                                     lookups);
        for (hb_codepoint_t lookup = HB_SET_VALUE_INVALID; hb_set_next(lookups, &lookup);)
            face.vertLookups->push_back(lookup);
        hb_set_destroy(lookups);
    }
    return *face.vertLookups;
}

// Whether the face's 'vert' feature gives a glyph a vertical form.
bool vertChanges(Face& face, hb_codepoint_t glyph)
{
    const std::vector<unsigned>& lookups = vertLookups(face);
    return std::any_of(lookups.begin(), lookups.end(), [&](unsigned lookup) {
        return hb_ot_layout_lookup_would_substitute(face.hbFace, lookup, &glyph, 1, true) != 0;
    });
}

// The character a face draws for cp in vertical text: cp, which its 'vert' feature may change,
// or for a face without that feature cp's presentation form, when the face has the form (a face
// with the feature has its vertical forms where it wants them).
char32_t verticalStandIn(Face& face, char32_t cp)
{
    const char32_t form = presentationForm(cp);
    if (!form || !vertLookups(face).empty())
        return cp;
    return nominalGlyph(face, form) ? form : cp;
}

bool hasVerticalForm(Face& face, char32_t cp)
{
    const hb_codepoint_t glyph = nominalGlyph(face, cp);
    return glyph && (vertChanges(face, glyph) || verticalStandIn(face, cp) != cp);
}

// Where corner punctuation without a vertical form goes in a column: its ink moved from the
// lower left of the em square to the upper right, as far from the right and top as it was from
// the left and bottom. The glyph's origin across the column's centre and down from top.
std::pair<double, double> cornerPlace(hb_font_t* font, hb_codepoint_t glyph, double top)
{
    hb_glyph_extents_t ink{};
    hb_font_extents_t line{};
    hb_font_get_glyph_extents(font, glyph, &ink);
    hb_font_get_h_extents(font, &line);
    int em = 0;
    int unused = 0;
    hb_font_get_scale(font, &unused, &em);
    const double advance = hb_font_get_glyph_h_advance(font, glyph) / kUnitsPerPixel;
    const double left = ink.x_bearing / kUnitsPerPixel;
    const double width = ink.width / kUnitsPerPixel;
    const double inkTop = ink.y_bearing / kUnitsPerPixel;
    const double inkBottom = (ink.y_bearing + ink.height) / kUnitsPerPixel;
    const double emBottom = ((line.ascender + line.descender) / 2.0 - em / 2.0) / kUnitsPerPixel;
    return {advance / 2 - 2 * left - width, top + inkBottom - emBottom + inkTop};
}

// A stretch of a line shaped in one go: one face, one direction, one script, one orientation.
struct Item {
    std::size_t start = 0;
    std::size_t end = 0;
    const std::string* face = nullptr;
    UBiDiLevel level = 0;
    UScriptCode script = USCRIPT_COMMON;
    bool upright = false; // in a column: shaped vertically (else a turned horizontal run)
};

// shapeLine, or shapeColumn when vertical.
bool shapeText(const FacedText& text, double pixelSize, double spacing, ShapedLine& line,
               std::size_t first, std::size_t last, bool vertical)
{
    line = ShapedLine();
    const std::u16string& units = text.text;
    last = std::min(last, units.size());
    line.unitAdvances.assign(units.size(), 0);
    if (first >= last)
        return true;
    if (!(pixelSize >= 1 && pixelSize <= kMaxTextPixelSize))
        return false;

    // Bidirectional levels, the paragraph's direction from its first strong character; a
    // column always reads from top to bottom, its right-to-left runs turned in reverse order.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UBiDi, UBiDiDeleter> bidi(
        ubidi_openSized(static_cast<int32_t>(last - first), 0, &status));
    if (bidi && U_SUCCESS(status))
        ubidi_setPara(bidi.get(), reinterpret_cast<const UChar*>(units.data() + first),
                      static_cast<int32_t>(last - first), vertical ? UBIDI_LTR : UBIDI_DEFAULT_LTR,
                      nullptr, &status);
    const UBiDiLevel* levels =
        bidi && U_SUCCESS(status) ? ubidi_getLevels(bidi.get(), &status) : nullptr;
    if (!levels || U_FAILURE(status))
        return false;
    const std::vector<UScriptCode> scripts = unitScripts(units, first, last);
    const std::vector<Orientation> orientations =
        vertical ? unitOrientations(units, first, last) : std::vector<Orientation>();

    ThreadFonts& fonts = ThreadFonts::instance();
    fonts.trim();
    std::vector<Item> items;
    bool upright = false;
    for (const FacedText::Run& run : text.runs) {
        if (run.face.empty())
            continue; // characters no face has take no room
        const std::size_t from = std::max(run.start, first);
        const std::size_t to = std::min(run.end, last);
        Face* face = vertical && from < to ? fonts.face(run.face) : nullptr;
        if (vertical && from < to && !face)
            return false;
        for (std::size_t i = from; i < to; ++i) {
            if (vertical) {
                switch (orientations[i - first]) {
                case Orientation::Upright:
                    upright = true;
                    break;
                case Orientation::UprightIfForm: {
                    std::size_t at = i;
                    upright = hasVerticalForm(*face, nextCodePoint(units, at));
                    break;
                }
                case Orientation::Turned:
                    upright = false;
                    break;
                case Orientation::Inherit:
                    break;
                }
            }
            const UBiDiLevel level = levels[i - first];
            const UScriptCode script = scripts[i - first];
            if (i == from || items.back().level != level || items.back().script != script ||
                items.back().upright != upright)
                items.push_back({i, i + 1, &run.face, level, script, upright});
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

    std::unique_ptr<hb_buffer_t, HbBufferDeleter> buffer(hb_buffer_create());
    std::unordered_map<const std::string*, std::uint32_t> faceIndex;
    std::vector<double> faceMiddles; // in a column: the middle of each face's line, above its
                                     // baseline
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
            const double ascent =
                std::ceil(static_cast<double>(metrics.ascender) / 64 * face->bitmapScale);
            const double descent =
                std::floor(static_cast<double>(metrics.descender) / 64 * face->bitmapScale);
            line.ascent = std::max(line.ascent, ascent);
            line.descent = std::min(line.descent, descent);
            faceMiddles.push_back((ascent + descent) / 2);
        }
        const bool turned = vertical && !item.upright;
        hb_font_t* shaping =
            vertical && item.upright ? ThreadFonts::verticalFont(*face, pixelSize) : font;
        hb_buffer_t* buf = buffer.get();
        hb_buffer_clear_contents(buf);
        // The whole line is the context, so that letters join across faces and scripts.
        hb_buffer_add_utf16(buf, reinterpret_cast<const std::uint16_t*>(units.data() + first),
                            static_cast<int>(last - first),
                            static_cast<unsigned>(item.start - first),
                            static_cast<int>(item.end - item.start));
        if (vertical && item.upright) {
            unsigned length = 0;
            hb_glyph_info_t* characters = hb_buffer_get_glyph_infos(buf, &length);
            for (unsigned c = 0; c < length; ++c)
                characters[c].codepoint = verticalStandIn(*face, characters[c].codepoint);
            hb_buffer_set_direction(buf, HB_DIRECTION_TTB);
        } else {
            hb_buffer_set_direction(buf, item.level % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        }
        hb_buffer_set_script(buf, hbScript(item.script));
        hb_buffer_set_cluster_level(buf, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_GRAPHEMES);
        hb_shape(shaping, buf, nullptr, 0);
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
            const hb_codepoint_t glyph = infos[g].codepoint;
            hb_glyph_extents_t extents{};
            const bool inked =
                hb_font_get_glyph_extents(font, glyph, &extents) && extents.width != 0;
            double advance = 0;
            if (!vertical) {
                const double x = pen + positions[g].x_offset / kUnitsPerPixel;
                const double y = -positions[g].y_offset / kUnitsPerPixel;
                line.glyphs.push_back({known->second, glyph, x, y});
                if (inked)
                    line.inkRight = std::max(
                        line.inkRight, x + (extents.x_bearing + extents.width) / kUnitsPerPixel);
                advance = positions[g].x_advance / kUnitsPerPixel;
            } else if (item.upright) {
                // Across from the glyph's middle for now, along from the column's top.
                double x = positions[g].x_offset / kUnitsPerPixel;
                double y = pen - positions[g].y_offset / kUnitsPerPixel;
                std::size_t at = cluster;
                const char32_t cp = nextCodePoint(units, at);
                if (isCornerPunctuation(cp) && glyph == nominalGlyph(*face, cp))
                    std::tie(x, y) = cornerPlace(font, glyph, pen);
                line.glyphs.push_back({known->second, glyph, x, y});
                if (inked)
                    line.inkRight = std::max(
                        line.inkRight, y - (extents.y_bearing + extents.height) / kUnitsPerPixel);
                advance = -positions[g].y_advance / kUnitsPerPixel;
            } else {
                // The run turned clockwise: its baseline runs down the column, the tops of its
                // letters to the right; across from the middle of its face's line for now.
                const double x =
                    positions[g].y_offset / kUnitsPerPixel - faceMiddles[known->second];
                const double y = pen + positions[g].x_offset / kUnitsPerPixel;
                line.glyphs.push_back({known->second, glyph, x, y, turned});
                if (inked)
                    line.inkRight = std::max(
                        line.inkRight, y + (extents.x_bearing + extents.width) / kUnitsPerPixel);
                advance = positions[g].x_advance / kUnitsPerPixel;
            }
            if (roundsAdvances(item.script))
                advance = std::round(advance);
            pen += advance;
            line.unitAdvances[cluster] += advance;
        }
    }
    line.advance = pen;
    // Every glyph of a column centred on the middle of the column's line.
    if (vertical) {
        for (PlacedGlyph& placed : line.glyphs)
            placed.x += (line.ascent + line.descent) / 2;
    }
    return true;
}

} // namespace

bool shapeLine(const FacedText& text, double pixelSize, double spacing, ShapedLine& line,
               std::size_t first, std::size_t last)
{
    return shapeText(text, pixelSize, spacing, line, first, last, false);
}

bool shapeColumn(const FacedText& text, double pixelSize, double spacing, ShapedLine& column,
                 std::size_t first, std::size_t last)
{
    return shapeText(text, pixelSize, spacing, column, first, last, true);
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
            fonts.glyph(*faces[placed.face], pixelSize, placed.glyph, subX, subY, placed.turned);
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
