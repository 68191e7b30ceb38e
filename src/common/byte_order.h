#pragma once

#include <cstdint>

namespace torvale {

/// Unsigned integers stored in files, read from their bytes in either order.
inline std::uint32_t le16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}
inline std::uint32_t be16(const unsigned char* p)
{
    return (p[0] << 8) | p[1];
}
inline std::uint32_t le32(const unsigned char* p)
{
    return le16(p) | (le16(p + 2) << 16);
}
inline std::uint32_t be32(const unsigned char* p)
{
    return (be16(p) << 16) | be16(p + 2);
}

} // namespace torvale
