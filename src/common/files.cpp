#include "common/files.h"

#include "common/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvale {

FilePtr openRegularFile(const std::string& path)
{
    const int fd = ::open(pathFromUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    // Reads of a regular file never block; the flag only mattered for the open itself.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return FilePtr(file);
}

FileReadStatus readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes)
{
    bytes.clear();
    const FilePtr file = openRegularFile(path);
    if (!file)
        return FileReadStatus::CannotOpen;
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0)
        return FileReadStatus::ReadFailed;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxBytes)
        return FileReadStatus::TooLarge;
    bytes.resize(static_cast<std::size_t>(size));
    if (size > 0 && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        bytes.clear();
        return FileReadStatus::ReadFailed;
    }
    // A file that grew after the size was taken would otherwise be read in part.
    if (std::fgetc(file.get()) != EOF) {
        bytes.clear();
        return FileReadStatus::ReadFailed;
    }
    return FileReadStatus::Ok;
}

} // namespace torvale
