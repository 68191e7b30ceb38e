#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// A list of strings held in one buffer with the end of each, so that a string costs its bytes
/// and four more however short it is: a CSV row can hold millions of empty cells. The buffer
/// holds at most 4 GiB; a string that would go past it throws std::bad_alloc, as running out of
/// memory does.
class PackedStrings {
public:
    PackedStrings() = default;
    PackedStrings(std::initializer_list<std::string_view> strings);
    explicit PackedStrings(const std::vector<std::string>& strings);

    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    /// String i (i < size()); valid until the list changes.
    std::string_view operator[](std::size_t i) const
    {
        const std::size_t begin = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_text).substr(begin, m_ends[i] - begin);
    }
    /// The index of the first string equal to text; size() when there is none.
    std::size_t find(std::string_view text) const;
    /// True when one of the strings equals text.
    bool contains(std::string_view text) const { return find(text) < size(); }
    /// Every string as a std::string of its own.
    std::vector<std::string> toVector() const;

    /// Removes every string; the memory is kept for the next ones.
    void clear();
    /// Makes room for strings strings of bytes bytes in all.
    void reserve(std::size_t strings, std::size_t bytes);
    /// Appends a string.
    void push_back(std::string_view text);
    /// Appends text to the last string (there must be one).
    void appendToLast(std::string_view text);
    /// Removes the characters of chars from both ends of the last string (there must be one).
    void trimLast(std::string_view chars);

    bool operator==(const PackedStrings& other) const = default;

private:
    // Throws std::bad_alloc when the buffer would be longer than the ends can say.
    static void checkRoom(std::size_t bytes);

    std::string m_text;
    std::vector<std::uint32_t> m_ends;
};

} // namespace torvale
