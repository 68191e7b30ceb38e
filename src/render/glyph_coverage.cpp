#include "render/glyph_coverage.h"

#include "common/text.h"
#include "render/fc_resources.h"
#include "render/fonts.h"
#include "render/text_engine.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace torvale {

namespace {

const FcChar8* fcText(const std::string& text)
{
    return reinterpret_cast<const FcChar8*>(text.c_str());
}

// Characters drawn without a glyph of their own, or only as part of their neighbour.
bool needsNoGlyph(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x200B && cp <= 0x200F) ||
           (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x206F) ||
           (cp >= 0xFE00 && cp <= 0xFE0F) || cp == 0xFEFF || (cp >= 0xE0000 && cp <= 0xE0FFF);
}

// The character set of a file's first face: from fontconfig's tables when the font is
// installed, else read from the file. Null when the file cannot be read as a font.
FcCharSetPtr readCharSet(const std::string& path)
{
    FcPatternPtr query(FcPatternCreate());
    FcObjectSetPtr objects(FcObjectSetBuild(FC_CHARSET, nullptr));
    if (query && objects && FcPatternAddString(query.get(), FC_FILE, fcText(path)) &&
        FcPatternAddInteger(query.get(), FC_INDEX, 0)) {
        FcFontSetPtr listed(FcFontList(nullptr, query.get(), objects.get()));
        FcCharSet* set = nullptr;
        if (listed && listed->nfont > 0 &&
            FcPatternGetCharSet(listed->fonts[0], FC_CHARSET, 0, &set) == FcResultMatch)
            return FcCharSetPtr(FcCharSetCopy(set));
    }
    int count = 0;
    FcPatternPtr face(FcFreeTypeQuery(fcText(path), 0, nullptr, &count));
    FcCharSet* set = nullptr;
    if (face && FcPatternGetCharSet(face.get(), FC_CHARSET, 0, &set) == FcResultMatch)
        return FcCharSetPtr(FcCharSetCopy(set));
    return nullptr;
}

// The installed font file that fontconfig ranks first for a set of characters in a style and
// that has all of them, among the first faces of font files; "" when none has them all.
std::string matchFallback(const std::u32string& chars, bool bold, bool italic)
{
    FcPatternPtr pattern(FcPatternCreate());
    FcCharSetPtr wanted(FcCharSetCreate());
    if (!pattern || !wanted)
        return {};
    for (const char32_t cp : chars) {
        if (!FcCharSetAddChar(wanted.get(), cp))
            return {};
    }
    if (!FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get()) ||
        !FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR) ||
        !FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN))
        return {};
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcFontSetPtr sorted(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
    if (!sorted)
        return {};
    for (int i = 0; i < sorted->nfont; ++i) {
        FcPattern* font = sorted->fonts[i];
        FcChar8* file = nullptr;
        int index = 0;
        FcCharSet* set = nullptr;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
            (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch && index != 0) ||
            FcPatternGetCharSet(font, FC_CHARSET, 0, &set) != FcResultMatch ||
            FcCharSetIntersectCount(set, wanted.get()) != FcCharSetCount(wanted.get()))
            continue;
        const std::string path = reinterpret_cast<const char*>(file);
        if (isFontFileName(path))
            return path;
    }
    return {};
}

class CoverageTables {
public:
    static CoverageTables& instance()
    {
        static CoverageTables tables;
        return tables;
    }

    FacedText split(std::string_view utf8, const TextFont& font)
    {
        FacedText result;
        result.text = utf8ToUtf16(utf8);
        const std::u16string_view text = result.text;
        const std::vector<std::size_t> ends = textBoundaries(text, Boundary::Word);
        const std::lock_guard lock(m_mutex);
        const FcCharSet* own = charSet(font.file);
        const auto append = [&](std::size_t start, std::size_t end, const std::string& face) {
            if (!result.runs.empty() && result.runs.back().face == face)
                result.runs.back().end = end;
            else
                result.runs.push_back({start, end, face});
        };
        std::size_t start = 0;
        for (const std::size_t end : ends) {
            // The characters of the word that the font's face lacks.
            std::u32string lacking;
            for (std::size_t i = start; own && i < end;) {
                const char32_t cp = nextCodePoint(text, i);
                if (!needsNoGlyph(cp) && !FcCharSetHasChar(own, cp))
                    lacking += cp;
            }
            if (lacking.empty()) {
                append(start, end, font.file);
                start = end;
                continue;
            }
            std::u32string needed; // every character of the word that needs a glyph
            for (std::size_t i = start; i < end;) {
                const char32_t cp = nextCodePoint(text, i);
                if (!needsNoGlyph(cp) && needed.find(cp) == std::u32string::npos)
                    needed += cp;
            }
            if (const std::string whole = fallbackFor(needed, font); !whole.empty()) {
                append(start, end, whole);
                start = end;
                continue;
            }
            // No face has the whole word: each character from the first face that has it.
            for (std::size_t i = start; i < end;) {
                const std::size_t from = i;
                const char32_t cp = nextCodePoint(text, i);
                std::string face = font.file;
                if (needsNoGlyph(cp)) {
                    if (!result.runs.empty() && result.runs.back().end == from)
                        face = result.runs.back().face;
                } else if (!FcCharSetHasChar(own, cp)) {
                    face = fallbackFor(std::u32string(1, cp), font);
                    if (face.empty() && std::find(result.missing.begin(), result.missing.end(),
                                                  cp) == result.missing.end())
                        result.missing.push_back(cp);
                }
                append(from, i, face);
            }
            start = end;
        }
        return result;
    }

private:
    const FcCharSet* charSet(const std::string& path)
    {
        auto it = m_charSets.find(path);
        if (it == m_charSets.end())
            it = m_charSets.emplace(path, readCharSet(path)).first;
        return it->second.get();
    }

    const std::string& fallbackFor(const std::u32string& chars, const TextFont& font)
    {
        // Words are many; the table is emptied rather than grown without bound.
        static constexpr std::size_t kMaxRemembered = 20000;
        const auto key = std::make_tuple(chars, font.bold, font.italic);
        auto it = m_fallbacks.find(key);
        if (it == m_fallbacks.end()) {
            if (m_fallbacks.size() >= kMaxRemembered)
                m_fallbacks.clear();
            it = m_fallbacks.emplace(key, matchFallback(chars, font.bold, font.italic)).first;
        }
        return it->second;
    }

    std::mutex m_mutex;
    std::unordered_map<std::string, FcCharSetPtr> m_charSets;
    std::map<std::tuple<std::u32string, bool, bool>, std::string> m_fallbacks;
};

} // namespace

FacedText faceText(std::string_view text, const TextFont& font)
{
    return CoverageTables::instance().split(text, font);
}

std::string codePointName(char32_t cp)
{
    return formatText("U+%04X", static_cast<unsigned>(cp));
}

} // namespace torvale
