#include "ui/user_guide.h"

#include "app/installed_files.h"
#include "common/paths.h"

namespace torvale {

QUrl userGuideUrl(const QString& section)
{
    const std::filesystem::path folder = programFolder();
    const std::filesystem::path guide = findUserGuide(folder).value_or(installedUserGuide(folder));
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(pathToUtf8(guide)));
    if (!section.isEmpty())
        url.setFragment(section);
    return url;
}

} // namespace torvale
