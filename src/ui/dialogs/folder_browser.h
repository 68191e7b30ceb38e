#pragma once

#include <optional>
#include <string>

class QWidget;

namespace torvale {

class SettingsStore;

/// Lets the user pick a folder (or type its path), starting at startFolder, with a button for
/// a new folder. The edit box shows the full path of the selected folder, also of a folder just
/// created and named in the dialog. The dialog's size is kept in the settings (when a store is
/// given) from one run to the next; it opens at a comfortable size the first time in the
/// process and is centred on the screen. A typed path that is not a folder is refused with a
/// message and the dialog stays open. Returns the chosen folder, nothing when cancelled.
std::optional<std::string> browseForFolder(QWidget* owner, const std::string& title,
                                           const std::string& startFolder,
                                           const SettingsStore* store);

} // namespace torvale
