#include "cli/stop_signals.h"

#include <csignal>

namespace torvale::cli {

namespace {

std::atomic<std::atomic<bool>*> g_stop{nullptr};

extern "C" void onStopSignal(int)
{
    if (std::atomic<bool>* stop = g_stop.load())
        stop->store(true);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace

void catchStopSignals(std::atomic<bool>& stop)
{
    g_stop.store(&stop);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

void releaseStopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_stop.store(nullptr);
}

} // namespace torvale::cli
