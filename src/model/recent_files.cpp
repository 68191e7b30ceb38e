#include "model/recent_files.h"

#include "common/text.h"
#include "model/settings.h"

#include <algorithm>

namespace torvale {

namespace {

std::string joinLines(const std::vector<std::string>& entries, std::size_t count)
{
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            joined += '\n';
        joined += entries[i];
    }
    return joined;
}

} // namespace

void RecentFileList::addRecentFile(const std::string& path, bool templateOpen)
{
    // A line feed would split the path into two bogus entries when the list is read back.
    const bool storable = !path.empty() && path.find('\n') == std::string::npos;
    update(storable ? Change::Add : Change::None, path, templateOpen);
}

void RecentFileList::removeRecentFile(const std::string& path, bool templateOpen)
{
    update(Change::Remove, path, templateOpen);
}

void RecentFileList::reload()
{
    update(Change::None, {}, false);
}

void RecentFileList::update(Change change, const std::string& path, bool templateOpen)
{
    m_entries.clear();
    if (const auto stored = storedTextSetting(m_store, Setting::RecentFiles)) {
        for (auto& piece : splitText(*stored, '\n')) {
            if (!piece.empty() &&
                std::find(m_entries.begin(), m_entries.end(), piece) == m_entries.end())
                m_entries.push_back(std::move(piece));
        }
    }
    if (change == Change::None)
        return;

    const auto found = std::find(m_entries.begin(), m_entries.end(), path);
    if (change == Change::Add) {
        if (found != m_entries.end())
            std::rotate(m_entries.begin(), found, found + 1);
        else
            m_entries.insert(m_entries.begin(), path);
    } else if (found != m_entries.end()) {
        m_entries.erase(found);
    }

    // Long paths could make 15 of them exceed what is read back, and an unreadable list would
    // lose every entry: keep only as many leading entries as fit.
    std::size_t count = std::min(m_entries.size(), kRecentFilesStored);
    while (count > 0 && utf16Length(joinLines(m_entries, count)) + 1 > kRecentListCapacity)
        --count;
    m_entries.resize(count);
    writeTextSetting(m_store, Setting::RecentFiles, joinLines(m_entries, count));

    if (templateOpen && !m_entries.empty())
        m_entries.erase(m_entries.begin());
}

} // namespace torvale
