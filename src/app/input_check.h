#pragma once

#include <string>

namespace torvale {

/// Modes of the input dialog (what text OK accepts).
enum class InputMode { Text, OneCharacter, Integer, Number };

/// Outcome of checking the input dialog's text.
struct InputCheckResult {
    bool ok = false;
    /// The accepted text: trimmed in the integer and number modes; the one character (with
    /// "\r", "\n" and "\t" turned into the characters 13, 10 and 9) in the one-character mode.
    std::string text;
    /// The warning to show ("提示") when the text is refused.
    std::string message;
};

/// Checks the text of the input dialog by its mode.
InputCheckResult checkInput(InputMode mode, const std::string& text);

} // namespace torvale
