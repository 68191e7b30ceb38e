#include "ui/folder_browser.h"

#include "app/panel_rules.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

namespace torvale {

namespace {

// The size the dialog had when it was last closed in this process, -1 before.
QSize s_recordedSize(-1, -1);
FolderBrowserSize s_size;

class FolderDialog : public QFileDialog {
public:
    FolderDialog(QWidget* owner, const QString& title, const QString& startFolder)
        : QFileDialog(owner, title, startFolder)
    {
        setFileMode(QFileDialog::Directory);
        // Qt's own dialog has the edit box for a typed path and the new-folder button.
        setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (QLineEdit* edit = editBox(); edit && !startFolder.isEmpty())
            edit->setText(QDir::toNativeSeparators(startFolder));
    }

    QString chosen() const { return m_chosen; }

    void accept() override
    {
        QLineEdit* edit = editBox();
        const QString typed = edit ? edit->text().trimmed() : QString();
        const QString path =
            typed.isEmpty() ? directory().absolutePath() : directory().absoluteFilePath(typed);
        if (!QFileInfo(path).isDir()) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("提示"),
                            QStringLiteral("文件夹 '%1' 不存在").arg(typed), QMessageBox::Ok, this);
            box.exec();
            if (edit)
                edit->setFocus();
            return;
        }
        m_chosen = QDir::toNativeSeparators(QDir::cleanPath(path));
        QDialog::accept();
    }

private:
    QLineEdit* editBox() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

    QString m_chosen;
};

} // namespace

std::optional<std::string> browseForFolder(QWidget* owner, const std::string& title,
                                           const std::string& startFolder)
{
    FolderDialog dialog(owner, QString::fromStdString(title), QString::fromStdString(startFolder));
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        const QSize recorded = s_recordedSize.isValid() ? s_recordedSize : dialog.sizeHint();
        if (const auto size = settleFolderBrowserSize(s_size, area.width(), area.height(),
                                                      recorded.width(), recorded.height())) {
            dialog.resize(size->first, size->second);
            dialog.move(area.x() + (area.width() - size->first) / 2,
                        area.y() + (area.height() - size->second) / 2);
        }
    }
    const int result = dialog.exec();
    s_recordedSize = dialog.size();
    if (result != QDialog::Accepted || dialog.chosen().isEmpty())
        return std::nullopt;
    return dialog.chosen().toStdString();
}

} // namespace torvale
