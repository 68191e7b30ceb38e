#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace torvale {

QStringList qtTranslationFolders()
{
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
}

std::unique_ptr<QTranslator> chineseQtTranslator(const QStringList& folders)
{
    auto translator = std::make_unique<QTranslator>();
    for (const QString& folder : folders) {
        // qtbase holds the texts of the widgets' dialogs and the standard buttons.
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder))
            return translator;
    }
    return nullptr;
}

} // namespace torvale
