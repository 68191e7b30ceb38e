#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// The font a text is asked for: the file of the layer's face (its first face) and the style
/// fallback faces are chosen in.
struct TextFont {
    std::string file;
    bool bold = false;
    bool italic = false;
};

/// A paragraph of text (no line breaks) split between faces. Made once per text and font and
/// shaped at any size.
struct FacedText {
    std::u16string text;
    struct Run {
        std::size_t start = 0; // UTF-16 units
        std::size_t end = 0;
        std::string face; // "" for characters no installed face has: they take no room
    };
    std::vector<Run> runs;         // in text order, covering the whole text
    std::vector<char32_t> missing; // characters no installed face has, each once, in order
};

/// Splits a paragraph (UTF-8) between the font's own face and fallback faces, which fontconfig
/// ranks for the characters in the font's style. A word the font's face cannot draw whole goes
/// to the first face that draws all of it, so that no word is split between faces where one
/// face has it all; failing that, each character goes to the first face that has it.
/// Characters that need no glyph of their own (controls, joiners, variation selectors) stay
/// with their neighbours. When the font's own file cannot be read nothing is known about it and
/// the whole text stays with it. What is learnt about files and characters is kept for the life
/// of the process; safe to call from several threads.
FacedText faceText(std::string_view text, const TextFont& font);

/// "U+4E2D" for a character (at least four hexadecimal digits).
std::string codePointName(char32_t cp);

} // namespace torvale
