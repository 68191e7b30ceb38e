#pragma once

#include <optional>
#include <string>

class QWidget;

namespace torvale {

/// Lets the user pick a folder (or type its path), starting at startFolder, with a button for
/// a new folder. The dialog opens at a comfortable size the first time in the process and is
/// centred on the screen; a typed path that is not a folder is refused with a message and the
/// dialog stays open. Returns the chosen folder, nothing when cancelled.
std::optional<std::string> browseForFolder(QWidget* owner, const std::string& title,
                                           const std::string& startFolder);

} // namespace torvale
