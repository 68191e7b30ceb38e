#pragma once

#include "common/file_io.h"
#include "model/template.h"
#include "render/card_encode.h"
#include "render/card_row.h"
#include "render/log_sink.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace torvale {

/// Replaces every character that cannot stand in a file name (\ / : * ? " < > | space, tab,
/// carriage return, line feed, NUL, every other control character and the line and paragraph
/// separators) with "-", and leaves out the format characters (zero-width spaces, the byte
/// order mark, bidirectional marks and overrides, tag characters), which show nothing.
std::string sanitizeFileName(const std::string& name);

/// The path for attempt n: "folder/name.ext" for n = 1, "folder/name(n).ext" after.
std::string numberedPath(const std::string& folder, const std::string& name, int n,
                         const std::string& extension);

/// Result of writing a card file.
struct WrittenFile {
    bool ok = false;
    std::string path;        // the path written, or the path that failed
    int number = 1;          // n of the name written: 1 for name.ext, n for name(n).ext
    int error = 0;           // errno of the failure
    bool openFailed = false; // the file could not be created (as opposed to a short write)
};

/// The next number to try for each name a batch has written, so that the thousandth card of
/// one name does not try the 999 taken names first.
class FreeNameHints {
public:
    /// The first n to try for a key (folder, name and extension); 1 for a new key.
    int firstNumber(const std::string& key) const;
    /// Number n of the key was taken by this batch.
    void taken(const std::string& key, int n);

private:
    std::unordered_map<std::string, int> m_next;
};

/// The "(n)" of every card of a batch that writes all its cards, one after the other, into an
/// empty folder: a batch of some of the rows names each of its cards as that batch would.
class FullRunNumbers {
public:
    /// The n of the next card named name with extension: the first whose name[(n)].ext no
    /// earlier card took (a card named "a(2)" takes the place of the second "a").
    int next(const std::string& name, const std::string& extension);

private:
    std::unordered_set<std::string> m_taken; // the names a later card may try: see next()
    FreeNameHints m_hints;
};

/// Called with the path a complete file is about to be given, once that name was seen free.
using BeforeNaming = std::function<void(const std::string& path)>;

/// Writes bytes under the first free name of folder/name[(n)].ext from n = from on. The content
/// goes to a temporary file first, is flushed to the disk and is linked to its name only when
/// complete, so a name is never overwritten, never half written, and a name taken meanwhile by
/// someone else moves on to the next n. With hints, the search starts after the last number the
/// batch took for that name when that is later. With beforeNaming, names that exist are passed
/// over without a call, and it is called with each name just before the file is given it (again
/// for the next n when someone took the name in between).
WrittenFile writeFileUnderFreeName(const std::string& folder, const std::string& name,
                                   const std::string& extension,
                                   const std::vector<unsigned char>& bytes,
                                   FreeNameHints* hints = nullptr, int from = 1,
                                   const BeforeNaming& beforeNaming = {});

/// Creates a new, empty temporary file in folder, named like those of writeFileUnderFreeName
/// (so removeStaleTemporaries finds it when its writer was killed): the open file and its path,
/// or none (get() < 0) with errno.
UniqueFd createTemporaryFile(const std::string& folder, std::string& path);

/// Gives a complete temporary file of folder (flushed and closed by the caller) the first free
/// name of folder/name[(n)].ext, as writeFileUnderFreeName does; the temporary file is gone
/// afterwards, whether it was named or not.
WrittenFile nameTemporaryFile(const std::string& temp, const std::string& folder,
                              const std::string& name, const std::string& extension);

/// Creates, fills with one block, flushes and removes a temporary file in folder: 0 when a card
/// can be written there, else the errno (EACCES, ENOSPC, EROFS, ...).
int probeWritableFolder(const std::string& folder);

/// Temporary files changed this long before a batch starts were left by one that was killed;
/// another batch writing into the same folder right now has its own for a moment only.
inline constexpr std::time_t kStaleTemporarySeconds = 10 * 60;

/// Removes the temporary card files (".torvale-card-" and 16 hexadecimal digits) that a killed
/// batch left in folder and that were last changed before olderThan (by default, those older
/// than kStaleTemporarySeconds); returns how many.
std::size_t removeStaleTemporaries(const std::string& folder,
                                   std::time_t olderThan = std::time(nullptr) -
                                                           kStaleTemporarySeconds);

/// Flushes the folder's entries (the names of the cards written) to the disk.
void syncFolder(const std::string& folder);

/// How one card ended.
enum class CardOutcome {
    Written,     // the file was written
    WriteFailed, // logged; the batch goes on
    Stopped,     // the stop flag was set (by the user or a PNG-8 failure); nothing written
};

struct CardResult {
    CardOutcome outcome = CardOutcome::Stopped;
    std::string path;      // the file written
    bool numbered = false; // written under a later n than the first tried, that file existing
};

/// True when a file-name cell gives no part of the name, so that its column name stands in: the
/// cell is missing or holds only spaces, tabs, line breaks and format characters (U+200B,
/// U+FEFF, ...).
bool isBlankNameCell(const std::string* cell);

/// The file name (without folder and extension) of a card: the cells of the file-name
/// columns (the column name when a cell is blank, isBlankNameCell), joined by "-", with unsafe
/// characters replaced and format characters left out (sanitizeFileName), "-" put in front of a
/// leading ".", and cut to 64 UTF-16 units. With no file-name column, or when nothing is left,
/// the data row number.
std::string makeOutputName(const CardRow& row, const OutputSettings& output, std::size_t rowNumber);

/// Writes an encoded card into the output folder under the first free name from n = from on
/// (name.ext, name(2).ext, ...; with hints, from the last number the batch took for the name
/// on; beforeNaming as writeFileUnderFreeName calls it). Logs failures; a PNG-8 failure sets the
/// stop flag.
CardResult writeCard(const EncodedCard& card, const std::string& folder, const std::string& name,
                     LogSink& log, std::atomic<bool>& stop, FreeNameHints* hints = nullptr,
                     int from = 1, const BeforeNaming& beforeNaming = {});

} // namespace torvale
