#include "render/glyph_coverage.h"

#include "common/text.h"
#include "render/fc_resources.h"
#include "render/fonts.h"

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

// The installed font file that fontconfig ranks first for a character in a style, among the
// first faces of files the image library can draw; "" when none has the character.
std::string matchFallback(char32_t cp, bool bold, bool italic)
{
    FcPatternPtr pattern(FcPatternCreate());
    FcCharSetPtr wanted(FcCharSetCreate());
    if (!pattern || !wanted || !FcCharSetAddChar(wanted.get(), cp) ||
        !FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get()) ||
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
            !FcCharSetHasChar(set, cp))
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

    FontSplit split(std::string_view text, const std::string& fontFile, bool bold, bool italic)
    {
        FontSplit result;
        const std::lock_guard lock(m_mutex);
        const FcCharSet* own = charSet(fontFile);
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t start = i;
            const char32_t cp = nextCodePoint(text, i);
            const std::string* font = &fontFile;
            if (own && !needsNoGlyph(cp) && !FcCharSetHasChar(own, cp)) {
                const std::string& fallback = fallbackFor(cp, bold, italic);
                if (!fallback.empty()) {
                    font = &fallback;
                } else if (std::find(result.missing.begin(), result.missing.end(), cp) ==
                           result.missing.end()) {
                    result.missing.push_back(cp);
                }
            }
            // A character without a glyph of its own joins the run before it.
            if (result.runs.empty() ||
                (result.runs.back().font != *font && !(needsNoGlyph(cp) && start > 0)))
                result.runs.push_back({*font, {}});
            result.runs.back().text.append(text.substr(start, i - start));
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

    const std::string& fallbackFor(char32_t cp, bool bold, bool italic)
    {
        const auto key = std::make_tuple(cp, bold, italic);
        auto it = m_fallbacks.find(key);
        if (it == m_fallbacks.end())
            it = m_fallbacks.emplace(key, matchFallback(cp, bold, italic)).first;
        return it->second;
    }

    std::mutex m_mutex;
    std::unordered_map<std::string, FcCharSetPtr> m_charSets;
    std::map<std::tuple<char32_t, bool, bool>, std::string> m_fallbacks;
};

} // namespace

FontSplit splitTextByFont(std::string_view text, const std::string& fontFile, bool bold,
                          bool italic)
{
    return CoverageTables::instance().split(text, fontFile, bold, italic);
}

std::string codePointName(char32_t cp)
{
    return formatText("U+%04X", static_cast<unsigned>(cp));
}

} // namespace torvale
