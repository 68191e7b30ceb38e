#include "ui/ui_fixture.h"

namespace torvale::test {
namespace {

TEST_F(UiTest, StartsWithTheNewTemplateTitle)
{
    EXPECT_EQ(window->windowTitle().toStdString(), "Torvale - 新模版");
}

} // namespace
} // namespace torvale::test
