#pragma once

#include "batch/batch_runner.h"
#include "cli/batch_setup.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace torvale::cli {

/// Progress of a batch on a terminal ("正在处理 n/total..." with cards per second) and its log
/// lines on standard error.
class TerminalProgress : public BatchListener {
public:
    /// quiet hides the progress line; problems are still shown.
    explicit TerminalProgress(bool quiet);

    void log(const std::string& message) override;
    void batchTotal(std::size_t total) override;
    void batchStep(std::size_t n) override;
    void cardWritten(std::size_t, const std::string&) override { ++m_written; }
    void csvUnreadable(const std::string& path) override;
    /// Clears the progress line before the summary is printed.
    void finish() { clearLine(); }

private:
    void drawLine();
    void clearLine();

    bool m_quiet;
    bool m_terminal;
    bool m_lineShown = false;
    std::size_t m_total = 0;
    std::size_t m_step = 0;
    std::size_t m_written = 0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    StderrLog m_log;
};

} // namespace torvale::cli
