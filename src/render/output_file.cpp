#include "render/output_file.h"

#include "common/file_io.h"
#include "common/paths.h"
#include "common/text.h"
#include "render/png8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <string_view>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace torvale {

namespace {

constexpr int kMaxNumber = 1000000;

// Writes the bytes, makes them durable and closes the file; the errno of the first failure, or
// 0. A card is only given its name once it is on the disk, so a power loss cannot leave a named
// card that is empty or cut short.
int writeSyncAndClose(UniqueFd file, const std::vector<unsigned char>& bytes)
{
    int error = writeAllBytes(file.get(), bytes.data(), bytes.size()) ? 0 : errno;
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    // close() reports what a delayed write-back found.
    if (file.close() != 0 && error == 0)
        error = errno;
    return error;
}

// Creates path exclusively and writes the bytes; a short write removes the file again.
int writeExclusive(const std::string& path, const std::vector<unsigned char>& bytes)
{
    UniqueFd file = createFileExclusive(path.c_str());
    if (file.get() < 0)
        return errno;
    const int error = writeSyncAndClose(std::move(file), bytes);
    if (error != 0)
        ::unlink(path.c_str());
    return error;
}

constexpr std::string_view kTemporaryPrefix = ".torvale-card-";
constexpr std::size_t kTemporaryDigits = 16;

bool isTemporaryName(std::string_view name)
{
    if (name.size() != kTemporaryPrefix.size() + kTemporaryDigits ||
        !name.starts_with(kTemporaryPrefix))
        return false;
    for (const char c : name.substr(kTemporaryPrefix.size())) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// Creates a new temporary file in folder. Unlike mkstemp the file gets the usual 0666 less
// the umask, so the card keeps ordinary permissions once it is linked to its name.
UniqueFd createTemporary(const std::string& folder, std::string& path)
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = pathToUtf8(pathFromUtf8(folder) /
                          formatText("%s%016llx", kTemporaryPrefix.data(),
                                     static_cast<unsigned long long>(random())));
        UniqueFd file = createFileExclusive(path.c_str());
        if (file.get() >= 0 || errno != EEXIST)
            return file;
    }
    errno = EEXIST;
    return UniqueFd();
}

} // namespace

std::string sanitizeFileName(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            // Format characters show nothing, so a name holding one would look like another
            // one (or like no name at all): they are left out. Other control characters and the
            // line and paragraph separators become "-", as a line feed does.
            const std::size_t start = i;
            const char32_t cp = nextCodePoint(name, i);
            if (isFormatCodePoint(cp))
                continue;
            if (isControlCodePoint(cp))
                out += '-';
            else
                out.append(name, start, i - start);
            continue;
        }
        ++i;
        switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
        case ' ':
            out += '-';
            break;
        default:
            // Tab, line breaks, NUL (UTF-16 read as UTF-8 has NUL that would end the path early)
            // and every other control character.
            out += isControlCodePoint(static_cast<unsigned char>(c)) || c == '\t' ? '-' : c;
            break;
        }
    }
    return out;
}

std::string numberedPath(const std::string& folder, const std::string& name, int n,
                         const std::string& extension)
{
    const std::string file =
        n <= 1 ? name + extension : formatText("%s(%d)%s", name.c_str(), n, extension.c_str());
    return pathToUtf8(pathFromUtf8(folder) / pathFromUtf8(file));
}

int FreeNameHints::firstNumber(const std::string& key) const
{
    const auto it = m_next.find(key);
    return it == m_next.end() ? 1 : it->second;
}

void FreeNameHints::taken(const std::string& key, int n)
{
    m_next[key] = n + 1;
}

int FullRunNumbers::next(const std::string& name, const std::string& extension)
{
    const std::string key = name + extension;
    int n = m_hints.firstNumber(key);
    std::string file = numberedPath({}, name, n, extension);
    while (m_taken.count(file))
        file = numberedPath({}, name, ++n, extension);
    // Only a numbered file, or a name ending in ")", can be what a later card tries: a plain
    // name is tried first by its own first card only, so most names need no entry here.
    if (n > 1 || name.ends_with(')'))
        m_taken.insert(std::move(file));
    m_hints.taken(key, n);
    return n;
}

namespace {

// Gives the complete file temp the first free name of folder/name[(n)].ext; createExclusive
// makes the file under a name, failing with EEXIST when it is taken, where hard links do not
// work. The temporary file is gone afterwards in every case.
WrittenFile nameFreely(const std::string& temp, const std::string& folder, const std::string& name,
                       const std::string& extension, FreeNameHints* hints, int from,
                       const std::function<int(const std::string&)>& createExclusive,
                       const BeforeNaming& beforeNaming = {})
{
    WrittenFile result;
    const std::string hintKey = folder + '\0' + name + extension;
    const int first = std::max(from, hints ? hints->firstNumber(hintKey) : 1);
    // link() fails when the name exists, so the complete file appears under a free name in
    // one step; folders on file systems without hard links fall back to exclusive creation.
    // Numbers below the hint were all taken when this batch last looked, so they are skipped;
    // a name taken since, by this batch or another program, still moves on to the next n.
    bool useLink = true;
    for (int n = first; n <= kMaxNumber; ++n) {
        const std::string path = numberedPath(folder, name, n, extension);
        if (beforeNaming) {
            // The caller is told only of names that look free, just before the file takes one.
            struct stat info {};
            if (::lstat(path.c_str(), &info) == 0)
                continue;
            beforeNaming(path);
        }
        const int rc =
            useLink ? (::link(temp.c_str(), path.c_str()) == 0 ? 0 : errno) : createExclusive(path);
        if (rc == 0) {
            result.ok = true;
            result.path = path;
            result.number = n;
            if (hints)
                hints->taken(hintKey, n);
            break;
        }
        if (rc == EEXIST)
            continue;
        if (useLink &&
            (rc == EPERM || rc == ENOTSUP || rc == EOPNOTSUPP || rc == EXDEV || rc == EMLINK)) {
            useLink = false;
            --n;
            continue;
        }
        result.error = rc;
        result.path = path;
        break;
    }
    ::unlink(temp.c_str());
    return result;
}

} // namespace

WrittenFile writeFileUnderFreeName(const std::string& folder, const std::string& name,
                                   const std::string& extension,
                                   const std::vector<unsigned char>& bytes, FreeNameHints* hints,
                                   int from, const BeforeNaming& beforeNaming)
{
    std::string temp;
    UniqueFd file = createTemporary(folder, temp);
    const auto failure = [&](int error, bool openFailed) {
        WrittenFile result;
        result.error = error;
        result.openFailed = openFailed;
        result.path = numberedPath(
            folder, name,
            std::max(from, hints ? hints->firstNumber(folder + '\0' + name + extension) : 1),
            extension);
        return result;
    };
    if (file.get() < 0)
        return failure(errno, true);
    if (const int error = writeSyncAndClose(std::move(file), bytes); error != 0) {
        ::unlink(temp.c_str());
        return failure(error, false);
    }
    return nameFreely(
        temp, folder, name, extension, hints, from,
        [&bytes](const std::string& path) { return writeExclusive(path, bytes); }, beforeNaming);
}

UniqueFd createTemporaryFile(const std::string& folder, std::string& path)
{
    return createTemporary(folder, path);
}

WrittenFile nameTemporaryFile(const std::string& temp, const std::string& folder,
                              const std::string& name, const std::string& extension)
{
    // Without hard links the name is taken by an empty file first, which the rename then
    // replaces with the complete one: the name never shows a partial file of ours.
    return nameFreely(temp, folder, name, extension, nullptr, 1, [&temp](const std::string& path) {
        if (const UniqueFd placeholder = createFileExclusive(path.c_str()); placeholder.get() < 0)
            return errno;
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            const int error = errno;
            ::unlink(path.c_str());
            return error;
        }
        return 0;
    });
}

int probeWritableFolder(const std::string& folder)
{
    std::string temp;
    UniqueFd file = createTemporary(folder, temp);
    if (file.get() < 0)
        return errno;
    // One block: creating an empty file still works on a full disk.
    const int error = writeSyncAndClose(std::move(file), std::vector<unsigned char>(4096, 0));
    ::unlink(temp.c_str());
    return error;
}

std::size_t removeStaleTemporaries(const std::string& folder, std::time_t olderThan)
{
    std::size_t removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(pathFromUtf8(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = pathToUtf8(it->path().filename());
        struct stat info {};
        if (!isTemporaryName(name) || ::lstat(it->path().c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode) || info.st_mtime >= olderThan)
            continue;
        if (::unlink(it->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

void syncFolder(const std::string& folder)
{
    const UniqueFd entries(::open(pathFromUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entries.get() >= 0)
        ::fsync(entries.get());
}

namespace {

constexpr std::size_t kMaxFileNameUnits = 64;

// The text of a cell as it goes into a file name: without format characters, cut to
// kMaxFileNameUnits UTF-16 units (the scan ends there, however long the cell).
std::string visibleNamePart(std::string_view text)
{
    std::string out;
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size() && units < kMaxFileNameUnits;) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        if (isFormatCodePoint(cp))
            continue;
        const std::size_t width = cp >= 0x10000 ? 2 : 1;
        if (units + width > kMaxFileNameUnits)
            break;
        units += width;
        out.append(text.substr(start, i - start));
    }
    return out;
}

} // namespace

bool isBlankNameCell(const std::string* cell)
{
    if (!cell)
        return true;
    for (std::size_t i = 0; i < cell->size();) {
        const char32_t cp = nextCodePoint(*cell, i);
        if (cp != ' ' && cp != '\t' && cp != '\r' && cp != '\n' && !isFormatCodePoint(cp))
            return false;
    }
    return true;
}

std::string makeOutputName(const CardRow& row, const OutputSettings& output, std::size_t rowNumber)
{
    // Each part is cut first: nothing past 64 units can stay, and a cell may be megabytes. The
    // format characters go before the cut, so that they take no room from the visible ones.
    const auto part = [&row](const std::string& column) {
        const std::string* cell = findCell(row, column);
        return visibleNamePart(isBlankNameCell(cell) ? column : *cell);
    };
    const bool first = !output.file_name_bind_col_name.empty();
    const bool second = !output.file_name_bind_col_name2.empty();
    std::string name;
    if (first && second)
        name = part(output.file_name_bind_col_name) + "-" + part(output.file_name_bind_col_name2);
    else if (first)
        name = part(output.file_name_bind_col_name);
    else if (second)
        name = part(output.file_name_bind_col_name2);
    else
        name = std::to_string(rowNumber);
    name = sanitizeFileName(name);
    // A column named only with format characters leaves nothing: the name a row without
    // file-name columns gets.
    if (name.empty())
        name = std::to_string(rowNumber);
    // A name starting with "." would make a hidden card ("." and ".." would be no file at all).
    if (name.starts_with('.'))
        name.insert(0, "-");
    return truncateUtf16Units(name, kMaxFileNameUnits);
}

CardResult writeCard(const EncodedCard& card, const std::string& folder, const std::string& name,
                     LogSink& log, std::atomic<bool>& stop, FreeNameHints* hints, int from,
                     const BeforeNaming& beforeNaming)
{
    const WrittenFile file =
        writeFileUnderFreeName(folder, name, card.extension, card.bytes, hints, from, beforeNaming);
    if (file.ok)
        return {CardOutcome::Written, file.path, file.number > from};
    if (card.png8) {
        log.log(png8FailureText(formatText(file.openFailed ? "fopen() error: %s\r\n"
                                                           : "fwrite() error: %s\r\n",
                                           file.path.c_str()),
                                std::strerror(file.error)));
        stop.store(true);
        return {CardOutcome::Stopped, {}};
    }
    log.log(formatText("写入文件 '%s' 时发生错误:\r\n%s\r\n", file.path.c_str(),
                       std::strerror(file.error)));
    return {CardOutcome::WriteFailed, {}};
}

} // namespace torvale
