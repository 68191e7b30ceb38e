#include "ui/dialogs/folder_browser.h"

#include "app/panel_rules.h"
#include "model/settings.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

namespace torvale {

namespace {

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
        // The edit box shows the whole path of the selected folder, not just its name, so the
        // path the dialog will return is always in view. Connected after the dialog's own
        // handler, which writes the bare name, so the path has the last word.
        auto* view = findChild<QAbstractItemView*>(QStringLiteral("listView"));
        QItemSelectionModel* selection = view ? view->selectionModel() : nullptr;
        if (selection) {
            connect(selection, &QItemSelectionModel::selectionChanged, this, [this, selection] {
                const QModelIndexList rows = selection->selectedRows();
                if (rows.size() == 1)
                    showPath(rows[0].data(QFileSystemModel::FilePathRole).toString());
            });
        }
        connect(this, &QFileDialog::directoryEntered, this, &FolderDialog::showPath);
        // A folder made with the new-folder button is named in place; its path is known only
        // then. The model's rename leaves the selection on the row, not on the folder, so the
        // folder is selected again by its new path.
        if (auto* model = findChild<QFileSystemModel*>()) {
            connect(model, &QFileSystemModel::fileRenamed, this,
                    [this, model, selection](const QString& parent, const QString&,
                                             const QString& name) {
                        const QString path = QDir(parent).filePath(name);
                        if (selection)
                            selection->setCurrentIndex(model->index(path),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
                        showPath(path);
                    });
        }
    }

    QString chosen() const { return m_chosen; }

    void accept() override
    {
        QLineEdit* edit = editBox();
        const QString typed = edit ? edit->text().trimmed() : QString();
        const QString path =
            typed.isEmpty() ? directory().absolutePath() : directory().absoluteFilePath(typed);
        // A name typed for a folder that is not there yet makes it (in an existing folder).
        const QFileInfo info(path);
        if (!typed.isEmpty() && !info.exists() && info.dir().exists())
            info.dir().mkdir(info.fileName());
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
    void showPath(const QString& path)
    {
        QLineEdit* edit = editBox();
        if (edit && !path.isEmpty())
            edit->setText(QDir::toNativeSeparators(QDir::cleanPath(path)));
    }

    QLineEdit* editBox() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

    QString m_chosen;
};

} // namespace

std::optional<std::string> browseForFolder(QWidget* owner, const std::string& title,
                                           const std::string& startFolder,
                                           const SettingsStore* store)
{
    FolderDialog dialog(owner, QString::fromStdString(title), QString::fromStdString(startFolder));
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen && store) {
        const QRect area = screen->availableGeometry();
        if (const auto size =
                settleFolderBrowserSize(s_size, area.width(), area.height(), *store)) {
            dialog.resize(size->first, size->second);
            dialog.move(area.x() + (area.width() - size->first) / 2,
                        area.y() + (area.height() - size->second) / 2);
        }
    }
    const int result = dialog.exec();
    // The size the user left the dialog at is where it opens next time, in this run or the next.
    if (store)
        writeFolderBrowserSize(*store, dialog.width(), dialog.height());
    if (result != QDialog::Accepted || dialog.chosen().isEmpty())
        return std::nullopt;
    return dialog.chosen().toStdString();
}

} // namespace torvale
