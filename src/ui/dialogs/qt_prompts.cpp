#include "ui/dialogs/qt_prompts.h"

#include "ui/dialogs/card_size_dialog.h"
#include "ui/dialogs/folder_browser.h"

#include "ui/dialogs/input_dialog.h"
#include "ui/dialogs/row_picker_dialog.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QMessageBox>
#include <QPushButton>

namespace torvale {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QMessageBox::Icon boxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Qt reads the patterns from the parentheses of the filter and wants them separated by spaces:
// "图片格式 (*.PNG;*.JPG;*.GIF)" with the pattern "*.PNG;*.JPG;*.JPEG;*.GIF" becomes
// "图片格式 (*.PNG *.JPG *.JPEG *.GIF)".
QString nameFilter(const FileDialogRequest& request)
{
    QString name = qs(request.filterName);
    QString pattern = qs(request.filterPattern);
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (const auto open = name.indexOf(QLatin1Char('(')); open >= 0)
        name = name.left(open).trimmed();
    if (pattern.isEmpty())
        return name;
    return name.isEmpty() ? pattern : name + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

std::optional<std::string> runFileDialog(QWidget* owner, const FileDialogRequest& request,
                                         QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(owner, qs(request.title), qs(request.startFolder));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    QStringList filters{nameFilter(request)};
    for (const auto& [name, pattern] : request.moreFilters) {
        FileDialogRequest more;
        more.filterName = name;
        more.filterPattern = pattern;
        filters << nameFilter(more);
    }
    dialog.setNameFilters(filters);
    if (!request.defaultSuffix.empty())
        dialog.setDefaultSuffix(qs(request.defaultSuffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

} // namespace

PromptAnswer QtPrompts::message(const std::string& caption, PromptIcon icon,
                                const std::string& text, PromptButtons buttons)
{
    return messageOver(m_owner, caption, icon, text, buttons);
}

PromptAnswer QtPrompts::messageOver(QWidget* owner, const std::string& caption, PromptIcon icon,
                                    const std::string& text, PromptButtons buttons)
{
    QMessageBox box(boxIcon(icon), qs(caption), qs(text), QMessageBox::NoButton, owner);
    switch (buttons) {
    case PromptButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case PromptButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    case PromptButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    default:
        break;
    }
    if (buttons == PromptButtons::Ok)
        return PromptAnswer::Ok;
    return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
}

int QtPrompts::choice(const std::string& caption, PromptIcon icon, const std::string& text,
                      const std::vector<std::string>& buttons)
{
    QMessageBox box(boxIcon(icon), qs(caption), qs(text), QMessageBox::NoButton, m_owner);
    std::vector<QAbstractButton*> added;
    // One role for all keeps the buttons in the given order.
    for (const std::string& label : buttons)
        added.push_back(box.addButton(qs(label), QMessageBox::ActionRole));
    if (!added.empty()) {
        box.setDefaultButton(static_cast<QPushButton*>(added.front()));
        // Esc and the close box answer with the last button (without an escape button the
        // box could not be closed at all).
        box.setEscapeButton(added.back());
    }
    box.exec();
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (box.clickedButton() == added[i])
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> QtPrompts::openFile(const FileDialogRequest& request)
{
    return runFileDialog(m_owner, request, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtPrompts::saveFile(const FileDialogRequest& request)
{
    return runFileDialog(m_owner, request, QFileDialog::AcceptSave);
}

std::optional<unsigned> QtPrompts::chooseColor(unsigned initial, QWidget* owner)
{
    // QColorDialog keeps its 16 custom colours in the process for every later dialog.
    const QColor start(static_cast<int>(initial & 0xFF), static_cast<int>((initial >> 8) & 0xFF),
                       static_cast<int>((initial >> 16) & 0xFF));
    QColorDialog dialog(start, owner ? owner : m_owner.data());
    dialog.adjustSize();
    if (owner)
        dialog.move(owner->frameGeometry().center() - dialog.rect().center());
    else if (const QScreen* screen = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QColor chosen = dialog.selectedColor();
    if (!chosen.isValid())
        return std::nullopt;
    return static_cast<unsigned>(chosen.red()) | (static_cast<unsigned>(chosen.green()) << 8) |
           (static_cast<unsigned>(chosen.blue()) << 16);
}

std::optional<std::string> QtPrompts::browseFolder(const std::string& title,
                                                   const std::string& startFolder)
{
    return browseForFolder(m_owner, title, startFolder, m_store);
}

std::optional<std::string> QtPrompts::input(const std::string& title, const std::string& prompt,
                                            InputMode mode, const std::string& text)
{
    InputDialog dialog(m_owner, qs(title), qs(prompt), mode, qs(text));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.result();
}

std::optional<CardSizeChoice> QtPrompts::chooseCardSize()
{
    CardSizeDialog dialog(*this, m_owner);
    return dialog.ask();
}

std::optional<std::vector<std::size_t>> QtPrompts::chooseRows(const RowPickerRequest& request)
{
    RowPickerDialog dialog(request, m_owner);
    return dialog.ask();
}

} // namespace torvale
