#pragma once

#include "common/c_resources.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace torvale {

/// A file descriptor, closed when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { close(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    int get() const { return m_fd; }
    /// Closes now; the result of close(2) (0 when there was nothing to close).
    int close();
    /// Gives the descriptor up to a new owner (an fdopen'ed FILE); this one holds none after.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

/// Creates a new file for writing at a native path, failing with EEXIST when the name exists
/// (O_CREAT | O_EXCL: an existing file is never opened, let alone overwritten). The file, or
/// none (get() < 0) with errno set.
UniqueFd createFileExclusive(const char* path, mode_t mode = 0666);

/// Writes every byte (short writes and interruptions are retried); false with errno set when a
/// write fails.
bool writeAllBytes(int fd, const void* data, std::size_t size);

/// How replaceFileAtomically failed.
enum class AtomicWriteStatus {
    Ok,
    CannotCreate,  // no temporary file could be created beside the target
    WriteFailed,   // writing or flushing the temporary file failed
    CannotReplace, // the temporary file could not be renamed over the target
};

struct AtomicWriteResult {
    AtomicWriteStatus status = AtomicWriteStatus::Ok;
    int error = 0; // errno of the failure
    bool ok() const { return status == AtomicWriteStatus::Ok; }
};

/// Replaces the file at path with content: a temporary file beside it (so the rename never
/// crosses file systems) is written, flushed to the disk and renamed over the target, so that
/// readers see the old file or the new one, never a part of either. A replaced file keeps its
/// permissions; a new one gets newFileMode less the umask. On failure the temporary file is
/// removed and the target is untouched.
AtomicWriteResult replaceFileAtomically(const std::string& path, std::string_view content,
                                        mode_t newFileMode = 0666);

/// Opens a regular file for reading. The open never blocks (a FIFO without a writer, a device
/// that waits for input), and anything but a regular file (a folder, a FIFO, a device, a
/// socket) is refused. Nothing on failure, with errno set (EISDIR for a folder, EINVAL for
/// the other kinds).
FilePtr openRegularFile(const std::string& path);

/// What readRegularFile found.
enum class FileReadStatus { Ok, CannotOpen, TooLarge, ReadFailed };

/// Reads a whole regular file (opened by openRegularFile) into bytes when it is at most
/// maxBytes long; a file that grows or shrinks while it is read is a read failure.
FileReadStatus readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes);

} // namespace torvale
