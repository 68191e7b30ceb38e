#include "app/input_check.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

struct Case {
    InputMode mode;
    std::string text;
    bool ok;
    std::string result;  // accepted text
    std::string message; // refusal
};

class InputCheckTest : public ::testing::TestWithParam<Case> {};

TEST_P(InputCheckTest, ChecksByMode)
{
    const Case& c = GetParam();
    const InputCheckResult result = checkInput(c.mode, c.text);
    EXPECT_EQ(result.ok, c.ok) << c.text;
    if (c.ok)
        EXPECT_EQ(result.text, c.result) << c.text;
    else
        EXPECT_EQ(result.message, c.message) << c.text;
}

const char* kOneChar = "请输入一个字符";
const char* kOneCharOnly = "只可以输入一个字符(英文字母, 数字, 标点符号等)，不能输入汉字。";
const char* kInteger = "请输入一个整数";
const char* kIntegerOnly = "只可以输入一个整数";
const char* kNumber = "请输入一个数";
const char* kNumberOnly = "只可以输入一个数";

INSTANTIATE_TEST_SUITE_P(
    Modes, InputCheckTest,
    ::testing::Values(Case{InputMode::Text, "", true, "", ""},
                      Case{InputMode::Text, " 任何 text ", true, " 任何 text ", ""},
                      Case{InputMode::OneCharacter, "", false, "", kOneChar},
                      Case{InputMode::OneCharacter, "a", true, "a", ""},
                      Case{InputMode::OneCharacter, ",", true, ",", ""},
                      Case{InputMode::OneCharacter, "\\t", true, "\t", ""},
                      Case{InputMode::OneCharacter, "\\r", true, "\r", ""},
                      Case{InputMode::OneCharacter, "\\n", true, "\n", ""},
                      Case{InputMode::OneCharacter, "ab", false, "", kOneCharOnly},
                      Case{InputMode::OneCharacter, "字", false, "", kOneCharOnly},
                      Case{InputMode::OneCharacter, "\\x", false, "", kOneCharOnly},
                      Case{InputMode::Integer, "", false, "", kInteger},
                      Case{InputMode::Integer, "   ", false, "", kInteger},
                      Case{InputMode::Integer, "1200", true, "1200", ""},
                      Case{InputMode::Integer, "  -5 ", true, "-5", ""},
                      Case{InputMode::Integer, "abc", false, "", kIntegerOnly},
                      Case{InputMode::Integer, "-", false, "", kIntegerOnly},
                      Case{InputMode::Integer, "1.5", false, "", kIntegerOnly},
                      Case{InputMode::Integer, "1 2", false, "", kIntegerOnly},
                      Case{InputMode::Integer, "+3", false, "", kIntegerOnly},
                      Case{InputMode::Number, "", false, "", kNumber},
                      Case{InputMode::Number, " 1.5 ", true, "1.5", ""},
                      Case{InputMode::Number, "-0.25", true, "-0.25", ""},
                      Case{InputMode::Number, "7.", true, "7.", ""},
                      Case{InputMode::Number, "42", true, "42", ""},
                      Case{InputMode::Number, ".5", false, "", kNumberOnly},
                      Case{InputMode::Number, "1.2.3", false, "", kNumberOnly},
                      Case{InputMode::Number, "1e3", false, "", kNumberOnly},
                      Case{InputMode::Number, "-", false, "", kNumberOnly}));

} // namespace
} // namespace torvale
