#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>

namespace torvale {

/// The folders searched for Qt's own translations: Qt's translations folder, then the
/// "translations" folder beside the program.
QStringList qtTranslationFolders();

/// Qt's own Simplified Chinese texts (standard dialogs and buttons), read from the first of the
/// folders that has them; null when none has. The machine's locale plays no part.
std::unique_ptr<QTranslator>
chineseQtTranslator(const QStringList& folders = qtTranslationFolders());

} // namespace torvale
