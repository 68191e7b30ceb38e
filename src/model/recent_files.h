#pragma once

#include "common/settings_store.h"
#include "model/settings.h"

#include <string>
#include <vector>

namespace torvale {

inline constexpr std::size_t kRecentFilesStored = 15;
inline constexpr std::size_t kRecentFilesShown = 9;

/// The recently used template files, most recent first, kept in the settings value
/// "last_edit_file_list" (paths joined by "\n"). The in-memory list is rebuilt from the store
/// at every call, so other processes' changes are picked up.
class RecentFileList {
public:
    explicit RecentFileList(const SettingsStore& store) : m_store(store) {}

    /// Puts path first (moving it when present), stores the first 15 and, when a template is
    /// open, drops the first entry of the in-memory list (it is the open file). An empty path
    /// or one holding a line feed cannot be stored and is not added.
    void addRecentFile(const std::string& path, bool templateOpen);
    /// Removes path when present, stores the first 15, and drops the first in-memory entry when
    /// a template is open.
    void removeRecentFile(const std::string& path, bool templateOpen);
    /// Re-reads the stored list without changing it.
    void reload();

    /// The list the File menu shows (it offers at most the first 9).
    const std::vector<std::string>& entries() const { return m_entries; }

private:
    enum class Change { None, Add, Remove };
    void update(Change change, const std::string& path, bool templateOpen);

    const SettingsStore& m_store;
    std::vector<std::string> m_entries;
};

} // namespace torvale
