#include "common/packed_strings.h"

#include <limits>
#include <new>

namespace torvale {

PackedStrings::PackedStrings(std::initializer_list<std::string_view> strings)
{
    for (const std::string_view text : strings)
        push_back(text);
}

PackedStrings::PackedStrings(const std::vector<std::string>& strings)
{
    for (const std::string& text : strings)
        push_back(text);
}

std::size_t PackedStrings::find(std::string_view text) const
{
    for (std::size_t i = 0; i < size(); ++i) {
        if ((*this)[i] == text)
            return i;
    }
    return size();
}

std::vector<std::string> PackedStrings::toVector() const
{
    std::vector<std::string> strings;
    strings.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        strings.emplace_back((*this)[i]);
    return strings;
}

void PackedStrings::clear()
{
    m_text.clear();
    m_ends.clear();
}

void PackedStrings::reserve(std::size_t strings, std::size_t bytes)
{
    checkRoom(bytes);
    m_ends.reserve(strings);
    m_text.reserve(bytes);
}

void PackedStrings::push_back(std::string_view text)
{
    checkRoom(m_text.size() + text.size());
    m_text.append(text);
    m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
}

void PackedStrings::appendToLast(std::string_view text)
{
    checkRoom(m_text.size() + text.size());
    m_text.append(text);
    m_ends.back() = static_cast<std::uint32_t>(m_text.size());
}

void PackedStrings::trimLast(std::string_view chars)
{
    const std::size_t begin = m_ends.size() < 2 ? 0 : m_ends[m_ends.size() - 2];
    std::size_t end = m_text.size();
    while (end > begin && chars.find(m_text[end - 1]) != std::string_view::npos)
        --end;
    std::size_t first = begin;
    while (first < end && chars.find(m_text[first]) != std::string_view::npos)
        ++first;
    m_text.erase(end);
    m_text.erase(begin, first - begin);
    m_ends.back() = static_cast<std::uint32_t>(m_text.size());
}

void PackedStrings::checkRoom(std::size_t bytes)
{
    if (bytes > std::numeric_limits<std::uint32_t>::max())
        throw std::bad_alloc();
}

} // namespace torvale
