#pragma once

#include <optional>
#include <string>

namespace torvale {

/// Initialises the image library once per process (before any thread uses it): resource
/// limits that bound a single decode, one thread per operation (cards are drawn in parallel
/// instead), and a self-test that decodes a PNG, a JPEG, a GIF and a BMP from memory.
/// Nothing when the library works, else the message to show before the program ends.
std::optional<std::string> setUpImageLibrary();

/// Decodes the four built-in test pictures; true when all four decode.
bool selfTest();

/// Releases the image library at process end (after every thread using it has stopped).
void tearDownImageLibrary();

} // namespace torvale
