#include "render/fonts.h"

#include "common/text.h"
#include "render/fc_resources.h"
#include "render/magick.h"
#include "render/text_engine.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>

namespace torvale {

namespace {

// The writing styles of Chinese faces.
enum class CjkStyle { Song, FangSong, Kai, Hei };

// Standard Windows Chinese family names, each with its style and the style that comes closest
// when no face of its own is installed.
struct StandardName {
    const char* name;
    CjkStyle style;
    std::optional<CjkStyle> nearest;
};
constexpr StandardName kStandardNames[] = {
    {"宋体", CjkStyle::Song, std::nullopt},       {"新宋体", CjkStyle::Song, std::nullopt},
    {"仿宋", CjkStyle::FangSong, CjkStyle::Song}, {"楷体", CjkStyle::Kai, CjkStyle::Song},
    {"黑体", CjkStyle::Hei, std::nullopt},        {"微软雅黑", CjkStyle::Hei, std::nullopt},
};

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Sort key of a font name: its GB18030 bytes with single-byte letters lower-cased. The bytes of
// double- and four-byte characters are left alone, since trail bytes may fall in the ASCII range.
std::string sortKey(const std::string& name)
{
    std::string key = utf8ToGb18030(name).value_or(name);
    for (std::size_t i = 0; i < key.size();) {
        const auto byte = static_cast<unsigned char>(key[i]);
        if (byte < 0x80) {
            if (byte >= 'A' && byte <= 'Z')
                key[i] = static_cast<char>(byte - 'A' + 'a');
            ++i;
        } else if (i + 1 < key.size() && key[i + 1] >= '0' && key[i + 1] <= '9') {
            i += 4;
        } else {
            i += 2;
        }
    }
    return key;
}

} // namespace

bool isFontFileName(const std::string& path)
{
    return endsWithIgnoreCase(path, ".ttf") || endsWithIgnoreCase(path, ".ttc") ||
           endsWithIgnoreCase(path, ".otf");
}

namespace {

bool isRegularFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), error);
}

// fontconfig weight on the 100..900 scale, to the nearest hundred.
std::int32_t openTypeWeight(int fcWeight)
{
    const int weight = FcWeightToOpenType(fcWeight);
    if (weight <= 0)
        return 400;
    return std::clamp((weight + 50) / 100 * 100, 100, 900);
}

// Rank of a family-name language for the name shown to the user (lower is better).
int languageRank(const std::string& lang)
{
    if (lang == "zh-cn")
        return 0;
    if (lang == "zh-sg")
        return 1;
    if (lang.rfind("zh", 0) == 0)
        return 2;
    if (lang == "ja")
        return 3;
    return 4;
}

// One installed face (the first face of its file).
struct Face {
    std::string path;
    std::vector<std::string> names; // every family name, English and localised
    std::string shownName;
    std::int32_t weight = 400;
    bool italic = false;
    bool normalWidth = true;
    bool chinese = false;
};

bool coversChinese(FcPattern* pattern)
{
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(pattern, FC_LANG, 0, &langs) != FcResultMatch)
        return false;
    for (const char* lang : {"zh-cn", "ja", "zh-tw"}) {
        if (FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>(lang)) == FcLangEqual)
            return true;
    }
    return false;
}

std::vector<Face> installedFaces()
{
    std::vector<Face> faces;
    FcPatternPtr pattern(FcPatternCreate());
    FcObjectSetPtr objects(FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_FAMILYLANG, FC_WEIGHT,
                                            FC_SLANT, FC_WIDTH, FC_LANG, nullptr));
    if (!pattern || !objects)
        return faces;
    FcFontSetPtr set(FcFontList(nullptr, pattern.get(), objects.get()));
    if (!set)
        return faces;
    for (int i = 0; i < set->nfont; ++i) {
        FcPattern* font = set->fonts[i];
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch)
            continue;
        // The image library can only select the first face of a collection by its path.
        if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch && index != 0)
            continue;
        Face face;
        face.path = reinterpret_cast<const char*>(file);
        if (!isFontFileName(face.path))
            continue;
        int bestRank = 5;
        FcChar8* name = nullptr;
        for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            face.names.emplace_back(reinterpret_cast<const char*>(name));
            FcChar8* lang = nullptr;
            if (FcPatternGetString(font, FC_FAMILYLANG, n, &lang) != FcResultMatch)
                continue;
            const int rank = languageRank(lowerAscii(reinterpret_cast<const char*>(lang)));
            if (rank < 4 && rank < bestRank) {
                bestRank = rank;
                face.shownName = face.names.back();
            }
        }
        if (face.names.empty())
            continue;
        if (face.shownName.empty())
            face.shownName = face.names.front();
        int value = 0;
        if (FcPatternGetInteger(font, FC_WEIGHT, 0, &value) == FcResultMatch)
            face.weight = openTypeWeight(value);
        if (FcPatternGetInteger(font, FC_SLANT, 0, &value) == FcResultMatch)
            face.italic = value != FC_SLANT_ROMAN;
        if (FcPatternGetInteger(font, FC_WIDTH, 0, &value) == FcResultMatch)
            face.normalWidth = value == FC_WIDTH_NORMAL;
        face.chinese = coversChinese(font);
        faces.push_back(std::move(face));
    }
    // fontconfig's order depends on its caches; the tables must not.
    std::sort(faces.begin(), faces.end(),
              [](const Face& a, const Face& b) { return a.path < b.path; });
    return faces;
}

// The image library's fonts: lower-cased glyph file -> library family names.
std::multimap<std::string, std::string> libraryFamilies()
{
    std::multimap<std::string, std::string> families;
    ExceptionInfoPtr exception(AcquireExceptionInfo());
    if (!exception)
        return families;
    std::size_t count = 0;
    MagickMemoryPtr<const TypeInfo*> types(GetTypeInfoList("*", &count, exception.get()));
    if (!types)
        return families;
    for (std::size_t i = 0; i < count; ++i) {
        const TypeInfo* type = types.get()[i];
        if (!type || !type->name || !type->family || !type->glyphs)
            continue;
        const std::string name = type->name;
        const std::string family = type->family;
        if (name.find('?') != std::string::npos || family.find('?') != std::string::npos)
            continue;
        families.emplace(lowerAscii(type->glyphs), family);
    }
    return families;
}

std::string libraryFamilyOf(const Face& face,
                            const std::multimap<std::string, std::string>& families)
{
    const auto [begin, end] = families.equal_range(lowerAscii(face.path));
    for (auto it = begin; it != end; ++it) {
        if (std::find(face.names.begin(), face.names.end(), it->second) != face.names.end())
            return it->second;
    }
    return begin != end ? begin->second : std::string();
}

// A Chinese face's style from words in its family names. FangSong comes before Song, since its
// names hold both; a serif or sans face of a Chinese family is drawn in the Song or Hei manner.
std::optional<CjkStyle> styleOf(const Face& face)
{
    struct StyleWords {
        CjkStyle style;
        std::array<std::string_view, 7> words; // empty entries end the list
    };
    static constexpr StyleWords kWords[] = {
        {CjkStyle::FangSong, {"fangsong", "fang song", "fandolfang", "仿宋"}},
        {CjkStyle::Kai, {"kai", "楷"}},
        {CjkStyle::Song, {"song", "sung", "ming", "mincho", "serif", "宋", "明"}},
        {CjkStyle::Hei, {"hei", "gothic", "sans", "黑"}},
    };
    if (!face.chinese)
        return std::nullopt;
    for (const auto& [style, words] : kWords) {
        for (const std::string& name : face.names) {
            const std::string lower = lowerAscii(name);
            for (const std::string_view word : words) {
                if (!word.empty() && lower.find(word) != std::string::npos)
                    return style;
            }
        }
    }
    return std::nullopt;
}

// fontconfig's order of preference for Chinese text of a generic family, as lower-cased
// files; the user's and the distribution's font configuration speak through it.
std::vector<std::string> preferredFiles(const char* generic)
{
    std::vector<std::string> files;
    const std::string query = std::string(generic) + ":lang=zh-cn";
    FcPatternPtr pattern(FcNameParse(reinterpret_cast<const FcChar8*>(query.c_str())));
    if (!pattern)
        return files;
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcFontSetPtr sorted(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
    if (!sorted)
        return files;
    for (int i = 0; i < sorted->nfont; ++i) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(sorted->fonts[i], FC_FILE, 0, &file) == FcResultMatch)
            files.push_back(lowerAscii(reinterpret_cast<const char*>(file)));
    }
    return files;
}

// The face of each style that fontconfig likes best for Chinese text: plain faces only, so a
// standard name does not stand for a condensed or slanted variant.
std::map<CjkStyle, const Face*> bestFaceOfEachStyle(const std::vector<Face>& faces,
                                                   const std::vector<std::string>& serif,
                                                   const std::vector<std::string>& sans)
{
    const auto rank = [](const std::vector<std::string>& order, const Face& face) {
        return std::find(order.begin(), order.end(), lowerAscii(face.path)) - order.begin();
    };
    std::map<CjkStyle, const Face*> best;
    for (const Face& face : faces) {
        const auto style = styleOf(face);
        if (!style || !face.normalWidth || face.italic)
            continue;
        const auto& order = *style == CjkStyle::Hei ? sans : serif;
        const Face*& current = best[*style];
        if (!current || rank(order, face) < rank(order, *current))
            current = &face;
    }
    return best;
}

} // namespace

FontRegistry FontRegistry::build(const SettingsStore& store)
{
    FontRegistry registry;
    const std::vector<Face> faces = installedFaces();
    const auto library = libraryFamilies();

    // Family name -> its faces; lower-cased file -> the name shown for its font.
    std::map<std::string, std::vector<const Face*>> byName;
    std::unordered_map<std::string, std::string> shownByPath;
    for (const Face& face : faces) {
        for (const std::string& name : face.names)
            byName[name].push_back(&face);
        shownByPath.emplace(lowerAscii(face.path), face.shownName);
        registry.addFontName(face.shownName);
        if (face.chinese)
            registry.m_chineseCapable.insert(face.names.begin(), face.names.end());
    }
    for (auto& [name, members] : byName) {
        // Faces that carry the name as their own come before those that list it as a second
        // name (a condensed or light variant), and plain widths and weights before the rest,
        // so that the first regular or bold entry is the one a user means.
        const auto rank = [&name = name](const Face* face) {
            const bool own = face->names.front() == name || face->shownName == name;
            const int weightDistance =
                std::min(std::abs(face->weight - 400), std::abs(face->weight - 700));
            return std::make_tuple(!own, !face->normalWidth, weightDistance, face->italic,
                                   face->path);
        };
        std::sort(members.begin(), members.end(),
                  [&rank](const Face* a, const Face* b) { return rank(a) < rank(b); });
        auto& entries = registry.m_families[name];
        for (const Face* face : members) {
            FontEntry entry;
            entry.family = name;
            entry.fontReference = face->path;
            entry.libraryFamily = libraryFamilyOf(*face, library);
            entry.filePath = lowerAscii(face->path);
            entry.weight = face->weight;
            entry.italic = face->italic;
            entries.push_back(std::move(entry));
        }
    }

    for (FontEntry& mapped : loadFontMapping(store)) {
        if (registry.m_families.count(mapped.family) || !isRegularFile(mapped.fontReference))
            continue;
        registry.addFontName(mapped.family);
        registry.m_families[mapped.family].push_back(mapped);
    }

    // Each standard name stands for the best face of its style, else of the nearest style,
    // else for what fontconfig draws Chinese serif or sans text with.
    const std::vector<std::string> serifOrder = preferredFiles("serif");
    const std::vector<std::string> sansOrder = preferredFiles("sans-serif");
    const auto bestOf = [&](const std::vector<std::string>& order) {
        return order.empty() ? shownByPath.end() : shownByPath.find(order.front());
    };
    const auto serifMatch = bestOf(serifOrder);
    const auto sansMatch = bestOf(sansOrder);
    const auto styles = bestFaceOfEachStyle(faces, serifOrder, sansOrder);
    for (const auto& [name, style, nearest] : kStandardNames) {
        std::string target;
        if (const auto own = styles.find(style); own != styles.end()) {
            target = own->second->shownName;
        } else {
            if (const auto near = nearest ? styles.find(*nearest) : styles.end();
                near != styles.end())
                target = near->second->shownName;
            else if (const auto match = style == CjkStyle::Hei ? sansMatch : serifMatch;
                     match != shownByPath.end())
                target = match->second;
            if (!target.empty())
                registry.m_otherStyle.insert(name);
        }
        if (target.empty())
            continue;
        registry.m_standardTargets[name] = target;
        registry.offerStandardName(name);
    }

    if (sansMatch != shownByPath.end())
        registry.m_fallback =
            chooseFontFile(registry.m_families.at(sansMatch->second), false, false);
    else if (!faces.empty())
        registry.m_fallback = registry.m_families.at(faces.front().names.front()).front();

    registry.sortFontNames();
    return registry;
}

const std::vector<FontEntry>* FontRegistry::family(const std::string& name) const
{
    auto it = m_families.find(name);
    if (it == m_families.end()) {
        const auto alias = m_aliases.find(name);
        if (alias == m_aliases.end())
            return nullptr;
        it = m_families.find(alias->second);
        if (it == m_families.end())
            return nullptr;
    }
    return &it->second;
}

bool FontRegistry::isChineseCapable(const std::string& name) const
{
    if (m_chineseCapable.count(name))
        return true;
    const auto alias = m_aliases.find(name);
    return alias != m_aliases.end() && m_chineseCapable.count(alias->second);
}

std::optional<std::string> FontRegistry::standInFamily(const std::string& name) const
{
    const auto alias = m_aliases.find(name);
    if (alias == m_aliases.end() || !m_otherStyle.count(name))
        return std::nullopt;
    return alias->second;
}

bool FontRegistry::addMappedFamily(const FontEntry& entry)
{
    if (m_families.count(entry.family))
        return false;
    m_families[entry.family].push_back(entry);
    m_families[entry.family].back().mapped = true;
    if (m_aliases.erase(entry.family) == 0) {
        addFontName(entry.family);
        sortFontNames();
    }
    return true;
}

void FontRegistry::removeMappedFamily(const std::string& name)
{
    const auto it = m_families.find(name);
    if (it == m_families.end() || !std::all_of(it->second.begin(), it->second.end(),
                                               [](const FontEntry& entry) { return entry.mapped; }))
        return;
    m_families.erase(it);
    m_fontNames.erase(std::remove(m_fontNames.begin(), m_fontNames.end(), name), m_fontNames.end());
    offerStandardName(name);
    sortFontNames();
}

void FontRegistry::addFontName(const std::string& name)
{
    m_fontNames.push_back(name);
}

// A standard Windows name not taken by a real or mapped family stands for its best match.
void FontRegistry::offerStandardName(const std::string& name)
{
    const auto target = m_standardTargets.find(name);
    if (target == m_standardTargets.end() || m_families.count(name))
        return;
    m_aliases[name] = target->second;
    addFontName(name);
}

void FontRegistry::sortFontNames()
{
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(m_fontNames.size());
    for (auto& name : m_fontNames)
        keyed.emplace_back(sortKey(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    keyed.erase(std::unique(keyed.begin(), keyed.end()), keyed.end());
    m_fontNames.clear();
    for (auto& [key, name] : keyed)
        m_fontNames.push_back(std::move(name));
}

FontLibrary::FontLibrary(FontRegistry registry)
    : m_current(std::make_shared<const FontRegistry>(std::move(registry)))
{
}

std::shared_ptr<const FontRegistry> FontLibrary::current() const
{
    const std::lock_guard lock(m_mutex);
    return m_current;
}

bool FontLibrary::addMappedFamily(const FontEntry& entry)
{
    const std::lock_guard lock(m_mutex);
    auto changed = std::make_shared<FontRegistry>(*m_current);
    if (!changed->addMappedFamily(entry))
        return false;
    m_current = std::move(changed);
    return true;
}

bool FontLibrary::removeMappedFamily(const std::string& name)
{
    const std::lock_guard lock(m_mutex);
    const std::vector<FontEntry>* entries = m_current->family(name);
    if (!m_current->hasFamily(name) || !entries || entries->empty() || !entries->front().mapped)
        return false;
    auto changed = std::make_shared<FontRegistry>(*m_current);
    changed->removeMappedFamily(name);
    m_current = std::move(changed);
    return true;
}

FontEntry mappedFontEntry(const std::string& name, const std::string& path)
{
    FontEntry entry;
    entry.family = name;
    entry.fontReference = path;
    entry.filePath = lowerAscii(path);
    entry.mapped = true;
    return entry;
}

bool isReadableFontFile(const std::string& path)
{
    if (!isRegularFile(path))
        return false;
    int faces = 0;
    FcPatternPtr pattern(
        FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(path.c_str()), 0, nullptr, &faces));
    if (!pattern)
        return false;
    return faceHasGlyphs(path, "");
}

std::vector<FontEntry> loadFontMapping(const SettingsStore& store)
{
    std::vector<FontEntry> entries;
    for (const auto& [name, path] : store.textValues(kFontsKey))
        entries.push_back(mappedFontEntry(name, path));
    return entries;
}

const FontEntry& chooseFontFile(const std::vector<FontEntry>& entries, bool bold, bool italic)
{
    const auto isBold = [](const FontEntry& entry) { return entry.weight > 400; };
    const auto isRegular = [&](const FontEntry& entry) { return !isBold(entry) && !entry.italic; };
    const auto isBoldItalic = [&](const FontEntry& entry) { return isBold(entry) && entry.italic; };
    const auto isSingleStyle = [&](const FontEntry& entry) {
        return isBold(entry) != entry.italic;
    };

    if (entries.size() == 1)
        return entries.front();
    for (const FontEntry& entry : entries) {
        if (isBold(entry) == bold && entry.italic == italic)
            return entry;
    }
    const auto first = [&entries](auto predicate) {
        return std::find_if(entries.begin(), entries.end(), predicate);
    };
    const auto last = [&entries](auto predicate) {
        const auto it = std::find_if(entries.rbegin(), entries.rend(), predicate);
        return it == entries.rend() ? entries.end() : std::prev(it.base());
    };
    auto found = entries.end();
    if (!bold && !italic) {
        found = first(isSingleStyle);
    } else if (bold && italic) {
        found = last(isSingleStyle);
    } else {
        found = last(isBoldItalic);
        if (found == entries.end())
            found = first(isRegular);
    }
    return found != entries.end() ? *found : entries.front();
}

bool fontSupportsText(const FontRegistry& registry, const std::string& family, bool needChinese)
{
    const std::vector<FontEntry>* entries = registry.family(family);
    if (!entries || entries->empty())
        return false;
    const FontEntry& entry = entries->front();
    if (needChinese && registry.hasChineseFonts() && !entry.mapped &&
        !registry.isChineseCapable(family))
        return false;

    return faceHasGlyphs(entry.fontReference, needChinese ? "a中" : "a");
}

} // namespace torvale
