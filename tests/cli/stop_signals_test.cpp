#include "cli/stop_signals.h"

#include <csignal>
#include <gtest/gtest.h>

namespace torvale::cli {
namespace {

bool hasDefaultAction(int signal)
{
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler == SIG_DFL;
}

TEST(StopSignals, FirstSignalStopsAndASecondWouldEndTheProgram)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        std::atomic<bool> stop{false};
        catchStopSignals(stop);
        EXPECT_FALSE(hasDefaultAction(SIGINT));
        EXPECT_FALSE(hasDefaultAction(SIGTERM));
        std::raise(signal);
        EXPECT_TRUE(stop.load());
        // Both are back to their default action: the next one of either kind ends the
        // process instead of waiting for the cards being drawn.
        EXPECT_TRUE(hasDefaultAction(SIGINT));
        EXPECT_TRUE(hasDefaultAction(SIGTERM));
        releaseStopSignals();
    }
}

} // namespace
} // namespace torvale::cli
