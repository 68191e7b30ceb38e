#include "app/input_check.h"

#include <cctype>

namespace torvale {

namespace {

std::string trimSpaces(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isInteger(const std::string& text)
{
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return false;
    }
    return true;
}

bool isNumber(const std::string& text)
{
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i >= text.size() || !isDigit(text[i]))
        return false;
    int points = 0;
    for (++i; i < text.size(); ++i) {
        if (text[i] == '.') {
            if (++points > 1)
                return false;
        } else if (!isDigit(text[i])) {
            return false;
        }
    }
    return true;
}

InputCheckResult accepted(std::string text)
{
    return {true, std::move(text), {}};
}
InputCheckResult refused(const char* message)
{
    return {false, {}, message};
}

} // namespace

InputCheckResult checkInput(InputMode mode, const std::string& text)
{
    switch (mode) {
    case InputMode::Text:
        return accepted(text);
    case InputMode::OneCharacter:
        if (text.empty())
            return refused("请输入一个字符");
        if (text == "\\r")
            return accepted("\r");
        if (text == "\\n")
            return accepted("\n");
        if (text == "\\t")
            return accepted("\t");
        if (text.size() == 1 && static_cast<unsigned char>(text[0]) < 128)
            return accepted(text);
        return refused("只可以输入一个字符(英文字母, 数字, 标点符号等)，不能输入汉字。");
    case InputMode::Integer: {
        const std::string trimmed = trimSpaces(text);
        if (trimmed.empty())
            return refused("请输入一个整数");
        return isInteger(trimmed) ? accepted(trimmed) : refused("只可以输入一个整数");
    }
    case InputMode::Number: {
        const std::string trimmed = trimSpaces(text);
        if (trimmed.empty())
            return refused("请输入一个数");
        return isNumber(trimmed) ? accepted(trimmed) : refused("只可以输入一个数");
    }
    }
    return accepted(text);
}

} // namespace torvale
