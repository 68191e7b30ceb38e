#pragma once

#include <atomic>

namespace torvale::cli {

/// Makes Ctrl+C (SIGINT) and SIGTERM set stop, so that a batch ends cleanly after the cards
/// being drawn. Either signal gives both their default action back, so a second one ends the
/// program at once.
void catchStopSignals(std::atomic<bool>& stop);

/// Gives SIGINT and SIGTERM their default action again.
void releaseStopSignals();

} // namespace torvale::cli
