#pragma once

#include "common/settings_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace torvale {

/// One drawable font file.
struct FontEntry {
    std::string family;        // name under which it is listed
    std::string fontReference; // what the image library gets: the font file path
    std::string libraryFamily; // family reported by the image library; empty for mapped fonts
    std::string filePath;      // the font file's path, lower-cased
    std::int32_t weight = 400; // 100..900
    bool italic = false;
    bool mapped = false; // added through the font mapping
};

/// The font tables built once at start-up; read-only afterwards, so any thread may read them.
class FontRegistry {
public:
    /// Builds the tables from the installed fonts (fontconfig and the image library's type
    /// list) and the font mapping in the store.
    static FontRegistry build(const SettingsStore& store);

    /// The entries of a family, or nullptr when the name is not a family. Standard Windows
    /// Chinese family names that are not installed resolve to the best CJK font.
    const std::vector<FontEntry>* family(const std::string& name) const;

    /// Every family name once, sorted case-insensitively in GB18030 order: the list offered
    /// to the user.
    const std::vector<std::string>& fontNames() const { return m_fontNames; }

    /// True when the family's fonts cover Chinese or Japanese.
    bool isChineseCapable(const std::string& name) const;
    /// True when at least one installed font covers Chinese or Japanese.
    bool hasChineseFonts() const { return !m_chineseCapable.empty(); }

    /// True when the name finds a family: any of a font's names (English or localised), a
    /// mapped name or a standard Windows Chinese name (a batch refuses other font names).
    bool hasFontName(const std::string& name) const { return family(name) != nullptr; }

    /// The font drawn when a layer names no known family: the installed font that best covers
    /// Chinese and Latin text; nullptr when no font is installed.
    const FontEntry* fallbackFont() const { return m_fallback ? &*m_fallback : nullptr; }

    /// Adds a mapped family (font mapping dialog) and offers its name; false when the name is
    /// already a family. A mapping replaces a standard Windows name that only stood for
    /// another font.
    bool addMappedFamily(const FontEntry& entry);
    /// Removes a mapped family again (other families are left alone).
    void removeMappedFamily(const std::string& name);

private:
    void addFontName(const std::string& name);
    void sortFontNames();
    void offerStandardName(const std::string& name);

    std::unordered_map<std::string, std::vector<FontEntry>> m_families;
    std::vector<std::string> m_fontNames;
    std::unordered_set<std::string> m_chineseCapable;
    // Standard Windows name that is not installed -> the family it stands for.
    std::unordered_map<std::string, std::string> m_aliases;
    // What each standard Windows name would stand for, kept so removing a mapping restores it.
    std::unordered_map<std::string, std::string> m_standardTargets;
    std::optional<FontEntry> m_fallback;
};

/// The mapped fonts kept under the font map key: family = value name, reference = path.
std::vector<FontEntry> loadFontMapping(const SettingsStore& store);

/// Picks the file of a family for bold and italic (entries in table order).
const FontEntry& chooseFontFile(const std::vector<FontEntry>& entries, bool bold, bool italic);

/// True when the family can draw Latin text, and with needChinese also Chinese text.
bool fontSupportsText(const FontRegistry& registry, const std::string& family, bool needChinese);

} // namespace torvale
