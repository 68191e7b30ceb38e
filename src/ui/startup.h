#pragma once

namespace torvale {

/// The editor's start-up, the window and the event loop; returns the exit code.
int runEditor(int argc, char** argv);

} // namespace torvale
