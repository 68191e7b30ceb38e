#pragma once

#include "common/settings_store.h"
#include "render/magick.h"

#include <cstdint>
#include <memory>
#include <mutex>
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

/// The font tables built at start-up. A registry is not changed while anyone may read it: the
/// font mapping changes a copy through FontLibrary.
class FontRegistry {
public:
    /// Builds the tables from the installed fonts (fontconfig and the image library's type
    /// list) and the font mapping in the store.
    static FontRegistry build(const SettingsStore& store);

    /// The entries of a family, or nullptr when the name is not a family. Standard Windows
    /// Chinese family names that are not installed resolve to the installed face of their
    /// style (Song, FangSong, Kai or Hei), else to the nearest style or the best CJK font.
    const std::vector<FontEntry>* family(const std::string& name) const;

    /// Every family name once, sorted case-insensitively in GB18030 order: the list offered
    /// to the user.
    const std::vector<std::string>& fontNames() const { return m_fontNames; }

    /// True when the family's fonts cover Chinese or Japanese.
    bool isChineseCapable(const std::string& name) const;
    /// True when at least one installed font covers Chinese or Japanese.
    bool hasChineseFonts() const { return !m_chineseCapable.empty(); }

    /// True when the name is a family of its own (installed or mapped), not a standard Windows
    /// name standing for another font.
    bool hasFamily(const std::string& name) const { return m_families.count(name) != 0; }

    /// The family a standard Windows Chinese name is drawn with when no face of its own style
    /// is installed; nothing for any other name.
    std::optional<std::string> standInFamily(const std::string& name) const;

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
    // Standard Windows names whose target is a face of another style.
    std::unordered_set<std::string> m_otherStyle;
    std::optional<FontEntry> m_fallback;
};

/// The font tables in use, as snapshots. A reader (a batch on its worker thread, a view while it
/// paints) keeps the snapshot it took; a change of the font mapping copies the current
/// registry, changes the copy and makes it the current one, so no snapshot ever changes.
class FontLibrary {
public:
    explicit FontLibrary(FontRegistry registry);

    /// The current registry; it stays valid and unchanged as long as the pointer is held.
    std::shared_ptr<const FontRegistry> current() const;

    /// Adds a mapped family in a new snapshot; false (nothing changes) when the name is already
    /// a family.
    bool addMappedFamily(const FontEntry& entry);
    /// Removes a mapped family in a new snapshot; false when no mapped family has the name.
    bool removeMappedFamily(const std::string& name);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const FontRegistry> m_current;
};

/// The entry of a mapped font: family = name, reference = path, weight 400, not italic.
FontEntry mappedFontEntry(const std::string& name, const std::string& path);

/// True for the font file names the image library draws with: .ttf, .ttc and .otf.
bool isFontFileName(const std::string& path);

/// True when fontconfig and the text engine can both read the file as a font.
bool isReadableFontFile(const std::string& path);

/// The mapped fonts kept under the font map key: family = value name, reference = path.
std::vector<FontEntry> loadFontMapping(const SettingsStore& store);

/// Picks the file of a family for bold and italic (entries in table order).
const FontEntry& chooseFontFile(const std::vector<FontEntry>& entries, bool bold, bool italic);

/// True when the family can draw Latin text, and with needChinese also Chinese text.
bool fontSupportsText(const FontRegistry& registry, const std::string& family, bool needChinese);

} // namespace torvale
