#include "common/file_io.h"

#include "common/paths.h"
#include "common/text.h"

#include <atomic>
#include <filesystem>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvale {

int UniqueFd::close()
{
    const int result = m_fd >= 0 ? ::close(m_fd) : 0;
    m_fd = -1;
    return result;
}

UniqueFd createFileExclusive(const char* path, mode_t mode)
{
    return UniqueFd(::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
}

bool writeAllBytes(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        if (written == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

AtomicWriteResult replaceFileAtomically(const std::string& path, std::string_view content,
                                        mode_t newFileMode)
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target = pathFromUtf8(path);
    const auto fail = [](AtomicWriteStatus status, int error) {
        return AtomicWriteResult{status, error};
    };

    std::filesystem::path temp;
    UniqueFd file;
    for (int attempt = 0; attempt < 100 && file.get() < 0; ++attempt) {
        temp = target;
        temp += formatText(".%ld-%u.tmp", static_cast<long>(::getpid()), counter++);
        file = createFileExclusive(temp.c_str(), newFileMode);
        if (file.get() < 0 && errno != EEXIST)
            break;
    }
    if (file.get() < 0)
        return fail(AtomicWriteStatus::CannotCreate, errno);

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(file.get(), old.st_mode & 07777);
    AtomicWriteStatus status = AtomicWriteStatus::Ok;
    if (!writeAllBytes(file.get(), content.data(), content.size()) || ::fsync(file.get()) != 0 ||
        file.close() != 0)
        status = AtomicWriteStatus::WriteFailed;
    else if (::rename(temp.c_str(), target.c_str()) != 0)
        status = AtomicWriteStatus::CannotReplace;
    if (status == AtomicWriteStatus::Ok)
        return {};
    const int error = errno;
    ::unlink(temp.c_str());
    return fail(status, error);
}

FilePtr openRegularFile(const std::string& path)
{
    UniqueFd fd(
        ::open(pathFromUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        fd.close();
        errno = error;
        return nullptr;
    }
    // Reads of a regular file never block; the flag only mattered for the open itself.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    FilePtr file(::fdopen(fd.get(), "rb"));
    if (!file) {
        const int error = errno;
        fd.close();
        errno = error;
        return nullptr;
    }
    fd.release(); // the FILE closes it
    return file;
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
