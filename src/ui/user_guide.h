#pragma once

#include <QString>
#include <QUrl>

namespace torvale {

/// The file address of the running program's user guide: the installed guide, else the one in
/// the build tree, else where the installed guide belongs. With a section, the address of that
/// part of the guide ("about", "problems").
QUrl userGuideUrl(const QString& section = {});

} // namespace torvale
