#include "render/output_file.h"

#include "common/paths.h"
#include "common/text.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace torvale {

namespace {

constexpr int kMaxNumber = 1000000;

bool writeAll(int fd, const std::vector<unsigned char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates path exclusively and writes the bytes; a short write removes the file again.
int writeExclusive(const std::string& path, const std::vector<unsigned char>& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    const bool written = writeAll(fd, bytes);
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(path.c_str());
    return error;
}

// Creates a new temporary file in folder. Unlike mkstemp the file gets the usual 0666 less
// the umask, so the card keeps ordinary permissions once it is linked to its name.
int createTemporary(const std::string& folder, std::string& path)
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = pathToUtf8(
            pathFromUtf8(folder) /
            formatText(".torvale-card-%016llx", static_cast<unsigned long long>(random())));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::string sanitizeFileName(const std::string& name)
{
    std::string out = name;
    for (char& c : out) {
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
        case '\t':
        case '\r':
        case '\n':
        case '\0': // a cell may hold NUL (UTF-16 read as UTF-8); it would end the path early
            c = '-';
            break;
        default:
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

WrittenFile writeFileUnderFreeName(const std::string& folder, const std::string& name,
                                   const std::string& extension,
                                   const std::vector<unsigned char>& bytes)
{
    WrittenFile result;
    std::string temp;
    const int fd = createTemporary(folder, temp);
    if (fd < 0) {
        result.error = errno;
        result.openFailed = true;
        result.path = numberedPath(folder, name, 1, extension);
        return result;
    }
    const bool written = writeAll(fd, bytes);
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        result.error = error;
        result.path = numberedPath(folder, name, 1, extension);
        return result;
    }

    // link() fails when the name exists, so the complete file appears under a free name in
    // one step; folders on file systems without hard links fall back to exclusive creation.
    bool useLink = true;
    for (int n = 1; n <= kMaxNumber; ++n) {
        const std::string path = numberedPath(folder, name, n, extension);
        const int rc = useLink ? (::link(temp.c_str(), path.c_str()) == 0 ? 0 : errno)
                               : writeExclusive(path, bytes);
        if (rc == 0) {
            result.ok = true;
            result.path = path;
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

} // namespace torvale
