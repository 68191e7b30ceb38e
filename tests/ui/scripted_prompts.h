#pragma once

#include "ui/prompts.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class QWidget;

namespace torvale::test {

/// What the editor asked.
struct AskedPrompt {
    std::string kind;    // "message", "choice", "openFile", "saveFile", "color", "folder", "input",
                         // "cardSize", "rows"
    std::string caption; // caption or dialog title
    PromptIcon icon = PromptIcon::None;
    std::string text; // message text or input prompt
    /// The buttons offered: "Ok", "Yes", "No", "Cancel" for a message box, the labels of a
    /// choice; empty for the other dialogs.
    std::vector<std::string> buttons = {};
    /// The window a message box was shown over (none: the main window) and whether that window
    /// was visible when it was asked.
    const QWidget* owner = nullptr;
    bool ownerVisible = false;
};

/// Answers every dialog from a script the test prepares, and records what was asked. A
/// question without a prepared answer fails the test and is answered with "cancel".
class ScriptedPrompts : public Prompts {
public:
    /// Answers the row picker: a test may run the real dialog on the request.
    using RowsAnswer =
        std::function<std::optional<std::vector<std::size_t>>(const RowPickerRequest&)>;
    using Answer = std::variant<PromptAnswer, int, std::optional<std::string>,
                                std::optional<unsigned>, std::optional<CardSizeChoice>, RowsAnswer>;

    /// Queue the answer to the next question (folder and input dialogs take answerFile).
    void answerMessage(PromptAnswer value)
    {
        m_answers.emplace_back(std::in_place_type<PromptAnswer>, value);
    }
    void answerChoice(int button) { m_answers.emplace_back(std::in_place_type<int>, button); }
    void answerFile(std::optional<std::string> path)
    {
        m_answers.emplace_back(std::in_place_type<std::optional<std::string>>, std::move(path));
    }
    void answerColor(std::optional<unsigned> color)
    {
        m_answers.emplace_back(std::in_place_type<std::optional<unsigned>>, color);
    }

    void answerCardSize(std::optional<CardSizeChoice> size)
    {
        m_answers.emplace_back(std::in_place_type<std::optional<CardSizeChoice>>, std::move(size));
    }

    void answerRows(RowsAnswer answer)
    {
        m_answers.emplace_back(std::in_place_type<RowsAnswer>, std::move(answer));
    }

    const std::vector<AskedPrompt>& asked() const { return m_asked; }
    void clear()
    {
        m_asked.clear();
        m_answers.clear();
    }
    std::size_t unansweredCount() const { return m_answers.size(); }

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
    std::optional<Answer> next();

    std::deque<Answer> m_answers;
    std::vector<AskedPrompt> m_asked;
};

} // namespace torvale::test
