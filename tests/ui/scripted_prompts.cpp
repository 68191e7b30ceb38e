#include "ui/scripted_prompts.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace torvale::test {

std::optional<ScriptedPrompts::Answer> ScriptedPrompts::next()
{
    if (m_answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << m_asked.back().kind << " '"
                      << m_asked.back().caption << "' " << m_asked.back().text;
        return std::nullopt;
    }
    Answer value = std::move(m_answers.front());
    m_answers.pop_front();
    return value;
}

PromptAnswer ScriptedPrompts::message(const std::string& caption, PromptIcon icon,
                                      const std::string& text, PromptButtons buttons)
{
    return messageOver(nullptr, caption, icon, text, buttons);
}

PromptAnswer ScriptedPrompts::messageOver(QWidget* owner, const std::string& caption,
                                          PromptIcon icon, const std::string& text,
                                          PromptButtons buttons)
{
    std::vector<std::string> labels = {"Ok"};
    if (buttons == PromptButtons::YesNo)
        labels = {"Yes", "No"};
    else if (buttons == PromptButtons::YesNoCancel)
        labels = {"Yes", "No", "Cancel"};
    m_asked.push_back({"message", caption, icon, text, labels, owner, owner && owner->isVisible()});
    const auto value = next();
    if (value && std::holds_alternative<PromptAnswer>(*value))
        return std::get<PromptAnswer>(*value);
    return PromptAnswer::Cancel;
}

int ScriptedPrompts::choice(const std::string& caption, PromptIcon icon, const std::string& text,
                            const std::vector<std::string>& buttons)
{
    m_asked.push_back({"choice", caption, icon, text, buttons});
    const auto value = next();
    if (value && std::holds_alternative<int>(*value))
        return std::get<int>(*value);
    return -1;
}

std::optional<std::string> ScriptedPrompts::openFile(const FileDialogRequest& request)
{
    m_asked.push_back({"openFile", request.title, PromptIcon::None, request.startFolder});
    const auto value = next();
    if (value && std::holds_alternative<std::optional<std::string>>(*value))
        return std::get<std::optional<std::string>>(*value);
    return std::nullopt;
}

std::optional<std::string> ScriptedPrompts::saveFile(const FileDialogRequest& request)
{
    m_asked.push_back({"saveFile", request.title, PromptIcon::None, request.startFolder});
    const auto value = next();
    if (value && std::holds_alternative<std::optional<std::string>>(*value))
        return std::get<std::optional<std::string>>(*value);
    return std::nullopt;
}

std::optional<unsigned> ScriptedPrompts::chooseColor(unsigned, QWidget* owner)
{
    m_asked.push_back(
        {"color", "", PromptIcon::None, "", {}, owner, owner != nullptr && owner->isVisible()});
    const auto value = next();
    if (value && std::holds_alternative<std::optional<unsigned>>(*value))
        return std::get<std::optional<unsigned>>(*value);
    return std::nullopt;
}

std::optional<std::string> ScriptedPrompts::browseFolder(const std::string& title,
                                                         const std::string& startFolder)
{
    m_asked.push_back({"folder", title, PromptIcon::None, startFolder});
    const auto value = next();
    if (value && std::holds_alternative<std::optional<std::string>>(*value))
        return std::get<std::optional<std::string>>(*value);
    return std::nullopt;
}

std::optional<std::string> ScriptedPrompts::input(const std::string& title,
                                                  const std::string& prompt, InputMode,
                                                  const std::string&)
{
    m_asked.push_back({"input", title, PromptIcon::None, prompt});
    const auto value = next();
    if (value && std::holds_alternative<std::optional<std::string>>(*value))
        return std::get<std::optional<std::string>>(*value);
    return std::nullopt;
}

std::optional<CardSizeChoice> ScriptedPrompts::chooseCardSize()
{
    m_asked.push_back({"cardSize", "按标准尺寸新建", PromptIcon::None, ""});
    const auto value = next();
    if (value && std::holds_alternative<std::optional<CardSizeChoice>>(*value))
        return std::get<std::optional<CardSizeChoice>>(*value);
    return std::nullopt;
}

std::optional<std::vector<std::size_t>> ScriptedPrompts::chooseRows(const RowPickerRequest& request)
{
    m_asked.push_back({"rows", "选择行", PromptIcon::None, ""});
    const auto value = next();
    if (value && std::holds_alternative<RowsAnswer>(*value))
        return std::get<RowsAnswer>(*value)(request);
    return std::nullopt;
}

} // namespace torvale::test
