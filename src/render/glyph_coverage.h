#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// A stretch of a text drawn with one font file.
struct FontRun {
    std::string font; // the font file
    std::string text; // UTF-8
};

/// How a text is split between its own font and fallback fonts.
struct FontSplit {
    /// In text order; a single run of the text's own font when that font covers every
    /// character (or cannot be read, in which case nothing is known about it).
    std::vector<FontRun> runs;
    /// Characters no installed font can draw, each once, in order of first appearance. They
    /// stay in the run of the text's own font.
    std::vector<char32_t> missing;
};

/// Splits text by the fonts that draw it: fontFile (the first face of the file) where it has
/// the character, else the installed font fontconfig matches best for that character, bold and
/// italic kept where that family has them. Characters that need no glyph (controls, joiners,
/// variation selectors) stay with their neighbours. What is learnt about a font file or a
/// character is kept for the life of the process; safe to call from several threads.
FontSplit splitTextByFont(std::string_view text, const std::string& fontFile, bool bold,
                          bool italic);

/// "U+4E2D" for a character (at least four hexadecimal digits).
std::string codePointName(char32_t cp);

} // namespace torvale
