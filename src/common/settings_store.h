#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// Key of the program's settings and of its font map.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Torvale";
inline constexpr const char* kFontsKey = "SOFTWARE\\Torvale\\Fonts";

/// Per-user settings: named text and number values grouped under keys, kept in one JSON file
/// (an object per key). Every operation reads the file afresh, so changes made by another
/// process are seen; writes replace the file atomically. A file that cannot be parsed reads as
/// empty, and before such a file is rewritten a copy is kept beside it ("settings.json.corrupt").
class SettingsStore {
public:
    /// A store backed by the given JSON file.
    explicit SettingsStore(std::filesystem::path file);

    /// The user's store: settings.json in configFolder().
    static SettingsStore userStore();

    const std::filesystem::path& file() const { return m_file; }

    /// Reads a text value of at most capacity characters, terminator included (UTF-16 units).
    /// False when the key or value is missing, is not text, or is longer.
    bool readSettingText(const std::string& key, const std::string& name, std::string& out,
                         std::size_t capacity) const;
    /// Writes a text value, creating the key when needed.
    bool writeSettingText(const std::string& key, const std::string& name,
                          const std::string& text) const;
    /// Reads a 32-bit number value. False when missing or not a number.
    bool readSettingNumber(const std::string& key, const std::string& name,
                           std::int32_t& out) const;
    /// Writes a 32-bit number value, creating the key when needed.
    bool writeSettingNumber(const std::string& key, const std::string& name,
                            std::int32_t value) const;
    /// Deletes one value. False when it was not there or the file could not be written.
    bool deleteSetting(const std::string& key, const std::string& name) const;
    /// Every text value under a key as (name, text), in stored order.
    std::vector<std::pair<std::string, std::string>> textValues(const std::string& key) const;

private:
    std::filesystem::path m_file;
};

} // namespace torvale
