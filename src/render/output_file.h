#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// Replaces every character that cannot stand in a file name (\ / : * ? " < > | space, tab,
/// carriage return, line feed, NUL) with "-".
std::string sanitizeFileName(const std::string& name);

/// The path for attempt n: "folder/name.ext" for n = 1, "folder/name(n).ext" after.
std::string numberedPath(const std::string& folder, const std::string& name, int n,
                         const std::string& extension);

/// Result of writing a card file.
struct WrittenFile {
    bool ok = false;
    std::string path;        // the path written, or the path that failed
    int error = 0;           // errno of the failure
    bool openFailed = false; // the file could not be created (as opposed to a short write)
};

/// Writes bytes under the first free name of folder/name[(n)].ext. The content goes to a
/// temporary file first and is linked to its name only when complete, so a name is never
/// overwritten, never half written, and a name taken meanwhile by someone else moves on to
/// the next n.
WrittenFile writeFileUnderFreeName(const std::string& folder, const std::string& name,
                                   const std::string& extension,
                                   const std::vector<unsigned char>& bytes);

} // namespace torvale
