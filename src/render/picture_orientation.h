#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace torvale {

/// Reads count bytes at offset into out; false when they are not all there.
using ReadBytesAt = std::function<bool(std::int64_t offset, unsigned char* out, std::size_t count)>;

/// A reader of length bytes held in memory (they must outlive it).
ReadBytesAt memoryReader(const unsigned char* bytes, std::size_t length);

/// The EXIF orientation (1 to 8) of a TIFF-structured block (an EXIF block after its
/// "Exif\0\0", or a TIFF file's start): the Orientation tag of its first directory. 1 (as
/// stored) when the block holds none, is damaged or the value is out of range.
int exifOrientation(const unsigned char* block, std::size_t length);

/// The EXIF orientation of a picture file of length bytes in a format of sniffPicture's
/// ("JPEG", "TIFF", "PNG" and "WEBP" carry one; 1 for every other format and when there is
/// none). Only the blocks that lead to the tag are read, each at most 64 KiB.
int pictureOrientation(const ReadBytesAt& read, std::int64_t length, std::string_view format);

/// Whether an orientation turns the picture by a quarter (5 to 8): its upright width is its
/// stored height.
inline bool orientationTransposes(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

} // namespace torvale
