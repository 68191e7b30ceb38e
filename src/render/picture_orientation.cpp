#include "render/picture_orientation.h"

#include "common/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace torvale {

namespace {

// An EXIF block is at most what one JPEG segment holds; a larger one is read that far.
constexpr std::size_t kMaxExifBytes = 64 * 1024;

constexpr unsigned kOrientationTag = 0x0112;
constexpr unsigned kShortType = 3;

// The orientation in the TIFF structure of length bytes that read gives.
int tiffOrientation(const ReadBytesAt& read, std::int64_t length)
{
    unsigned char header[8];
    if (length < 8 || !read(0, header, 8))
        return 1;
    bool bigEndian = false;
    if (std::memcmp(header, "MM\0*", 4) == 0)
        bigEndian = true;
    else if (std::memcmp(header, "II*\0", 4) != 0)
        return 1;
    const auto u16 = [bigEndian](const unsigned char* p) { return bigEndian ? be16(p) : le16(p); };
    const auto u32 = [bigEndian](const unsigned char* p) { return bigEndian ? be32(p) : le32(p); };
    const std::int64_t directory = u32(header + 4);
    unsigned char countBytes[2];
    if (directory < 8 || directory + 2 > length || !read(directory, countBytes, 2))
        return 1;
    const std::int64_t count = u16(countBytes);
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t at = directory + 2 + 12 * i;
        unsigned char entry[12];
        if (at + 12 > length || !read(at, entry, 12))
            return 1;
        if (u16(entry) != kOrientationTag)
            continue;
        const unsigned value = u16(entry + 8);
        return u16(entry + 2) == kShortType && u32(entry + 4) == 1 && value >= 1 && value <= 8
                   ? static_cast<int>(value)
                   : 1;
    }
    return 1;
}

// A block of size bytes at offset that holds EXIF (with or without the "Exif\0\0" that JPEG
// segments put before it).
int exifBlockOrientation(const ReadBytesAt& read, std::int64_t offset, std::int64_t size)
{
    std::vector<unsigned char> block(
        static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, kMaxExifBytes)));
    if (block.empty() || !read(offset, block.data(), block.size()))
        return 1;
    std::size_t skip = 0;
    if (block.size() >= 6 && std::memcmp(block.data(), "Exif\0\0", 6) == 0)
        skip = 6;
    return exifOrientation(block.data() + skip, block.size() - skip);
}

// The segments up to the image data; the first APP1 segment that holds EXIF.
int jpegOrientation(const ReadBytesAt& read, std::int64_t length)
{
    std::int64_t offset = 2;
    while (offset + 4 <= length) {
        unsigned char segment[4];
        if (!read(offset, segment, 4) || segment[0] != 0xFF)
            return 1;
        const unsigned marker = segment[1];
        const std::int64_t size = (segment[2] << 8) | segment[3];
        if (marker == 0xDA || marker == 0xD9 || size < 2)
            return 1;
        if (marker == 0xE1 && size >= 8) {
            unsigned char name[6];
            if (read(offset + 4, name, 6) && std::memcmp(name, "Exif\0\0", 6) == 0)
                return exifBlockOrientation(read, offset + 4, size - 2);
        }
        offset += 2 + size;
    }
    return 1;
}

// The chunks up to IEND; the eXIf chunk.
int pngOrientation(const ReadBytesAt& read, std::int64_t length)
{
    std::int64_t offset = 8;
    while (offset + 8 <= length) {
        unsigned char head[8];
        if (!read(offset, head, 8))
            return 1;
        const std::int64_t size = be32(head);
        if (std::memcmp(head + 4, "eXIf", 4) == 0)
            return exifBlockOrientation(read, offset + 8, std::min(size, length - offset - 8));
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            return 1;
        offset += 12 + size;
    }
    return 1;
}

// The RIFF chunks after "WEBP"; the EXIF chunk (after the image data in an extended file).
int webpOrientation(const ReadBytesAt& read, std::int64_t length)
{
    unsigned char riff[8];
    if (!read(0, riff, 8))
        return 1;
    const std::int64_t end = std::min<std::int64_t>(length, 8 + std::int64_t(le32(riff + 4)));
    std::int64_t offset = 12;
    while (offset + 8 <= end) {
        unsigned char head[8];
        if (!read(offset, head, 8))
            return 1;
        const std::int64_t size = le32(head + 4);
        if (std::memcmp(head, "EXIF", 4) == 0)
            return exifBlockOrientation(read, offset + 8, std::min(size, end - offset - 8));
        offset += 8 + size + (size & 1);
    }
    return 1;
}

} // namespace

ReadBytesAt memoryReader(const unsigned char* bytes, std::size_t length)
{
    return [bytes, length](std::int64_t offset, unsigned char* out, std::size_t count) {
        if (offset < 0 || static_cast<std::uint64_t>(offset) > length ||
            count > length - static_cast<std::size_t>(offset))
            return false;
        std::memcpy(out, bytes + offset, count);
        return true;
    };
}

int exifOrientation(const unsigned char* block, std::size_t length)
{
    return tiffOrientation(memoryReader(block, length), static_cast<std::int64_t>(length));
}

int pictureOrientation(const ReadBytesAt& read, std::int64_t length, std::string_view format)
{
    if (format == "JPEG")
        return jpegOrientation(read, length);
    if (format == "TIFF")
        return tiffOrientation(read, length);
    if (format == "PNG")
        return pngOrientation(read, length);
    if (format == "WEBP")
        return webpOrientation(read, length);
    return 1;
}

} // namespace torvale
