#pragma once

#include "ui/prompts.h"

#include <QPointer>
#include <QWidget>

namespace torvale {

class SettingsStore;

/// The real dialogs behind Prompts: message boxes, file dialogs, the colour chooser (its custom
/// colours are kept for the process), the folder browser and the input dialog, each owned by
/// the given window.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* owner = nullptr) : m_owner(owner) {}

    /// The window that owns the dialogs (the main window once it exists).
    void setOwner(QWidget* owner) { m_owner = owner; }
    /// The settings the dialogs keep their sizes in (the folder browser's); none keeps nothing.
    void setStore(const SettingsStore* store) { m_store = store; }

    PromptAnswer message(const std::string& caption, PromptIcon icon, const std::string& text,
                         PromptButtons buttons) override;
    PromptAnswer messageOver(QWidget* owner, const std::string& caption, PromptIcon icon,
                             const std::string& text, PromptButtons buttons) override;
    int choice(const std::string& caption, PromptIcon icon, const std::string& text,
               const std::vector<std::string>& buttons) override;
    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const FileDialogRequest& request) override;
    std::optional<unsigned> chooseColor(unsigned initial, QWidget* owner) override;
    std::optional<std::string> browseFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::string> input(const std::string& title, const std::string& prompt,
                                     InputMode mode, const std::string& text) override;
    std::optional<CardSizeChoice> chooseCardSize() override;
    std::optional<std::vector<std::size_t>> chooseRows(const RowPickerRequest& request) override;

private:
    QPointer<QWidget> m_owner;
    const SettingsStore* m_store = nullptr;
};

} // namespace torvale
