#include "app/commands.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace torvale {
namespace {

TEST(CommandTable, RunsSinglesAndRangesWithTheirIndex)
{
    CommandTable table;
    std::vector<std::string> calls;
    table.add(CommandId::About, [&] { calls.push_back("about"); });
    table.addRange(kRecentFileCommands,
                   [&](std::size_t i) { calls.push_back("recent " + std::to_string(i)); });
    table.addRange(kPickLayerCommands,
                   [&](std::size_t i) { calls.push_back("layer " + std::to_string(i)); });

    const struct {
        int id;
        const char* call;
    } cases[] = {
        {35219, "about"},   {35207, "recent 0"}, {35208, "recent 1"}, {35215, "recent 8"},
        {35701, "layer 0"}, {35799, "layer 98"}, {35206, nullptr},    {35216, nullptr},
        {35700, nullptr},   {35800, nullptr},    {1, nullptr},
    };
    for (const auto& c : cases) {
        calls.clear();
        testing::internal::CaptureStderr();
        const bool ran = table.run(static_cast<CommandId>(c.id));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ran, c.call != nullptr) << c.id;
        EXPECT_EQ(calls, c.call ? std::vector<std::string>{c.call} : std::vector<std::string>{})
            << c.id;
        EXPECT_EQ(err, c.call ? "" : "unknown command " + std::to_string(c.id) + "\n");
        EXPECT_EQ(table.contains(static_cast<CommandId>(c.id)), ran) << c.id;
    }
}

TEST(CommandTable, ALaterRegistrationReplacesOneIdOfARange)
{
    CommandTable table;
    std::vector<std::string> calls;
    table.addRange(kZoomCommands, [&](std::size_t i) { calls.push_back(std::to_string(i)); });
    table.add(kZoomCommands.at(3), [&] { calls.push_back("own"); });
    for (const CommandId id : {kZoomCommands.at(2), kZoomCommands.at(3), kZoomCommands.at(4)})
        table.run(id);
    EXPECT_EQ(calls, (std::vector<std::string>{"2", "own", "4"}));
}

} // namespace
} // namespace torvale
