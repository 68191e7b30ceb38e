#pragma once

#include "common/c_resources.h"

#include <cstdint>
#include <string>

namespace torvale {

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
