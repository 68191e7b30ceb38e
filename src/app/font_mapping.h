#pragma once

#include "common/settings_store.h"
#include "render/fonts.h"

#include <string>

namespace torvale {

/// The add dialog's field a problem is shown at.
enum class FontMappingField { None, Name, Path };

/// Outcome of checking a new font mapping.
struct FontMappingCheck {
    FontMappingField field = FontMappingField::None; // None: accepted
    std::string message;                             // the balloon text when refused
    std::string name;                                // the name, trimmed
    std::string path;                                // the path, trimmed

    bool ok() const { return field == FontMappingField::None; }
};

/// Checks a name and a path of the add dialog, both trimmed of blanks first; the first problem
/// wins: an empty name, an empty path, a file that does not exist, a name that is already a
/// family, a file that is not a readable font.
FontMappingCheck checkFontMapping(const std::string& name, const std::string& path,
                                  const FontRegistry& fonts);

/// True when the path holds a character outside ASCII (the font file chooser refuses it).
bool hasNonAsciiCharacter(const std::string& path);

/// The chooser's warning about a path with such characters.
std::string fontPathWarning(const std::string& path);

/// Adds a mapping: the family in a new snapshot of the fonts, then the stored value (name ->
/// path). False, and nothing changes, when the name is already a family.
bool addFontMapping(FontLibrary& fonts, const SettingsStore& store, const std::string& name,
                    const std::string& path);

/// Deletes a mapping: the stored value, then its family. True when a mapped family went (a
/// stored mapping that was not loaded, or one named like an installed font, has none).
bool removeFontMapping(FontLibrary& fonts, const SettingsStore& store, const std::string& name);

} // namespace torvale
