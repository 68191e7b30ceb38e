#include "cli/terminal_progress.h"

#include "common/text.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace torvale::cli {

TerminalProgress::TerminalProgress(bool quiet)
    : m_quiet(quiet), m_terminal(isatty(STDERR_FILENO) != 0)
{
}

void TerminalProgress::log(const std::string& message)
{
    // Problems are shown even when quiet: quiet hides the progress line only.
    clearLine();
    m_log.log(message);
    drawLine();
}

void TerminalProgress::batchTotal(std::size_t total)
{
    m_total = total;
    m_start = std::chrono::steady_clock::now();
    drawLine();
}

void TerminalProgress::batchStep(std::size_t n)
{
    m_step = n;
    drawLine();
}

void TerminalProgress::csvUnreadable(const std::string& path)
{
    clearLine();
    printError(std::string(kMsgBatchCsvUnreadable) + ": " + path);
}

void TerminalProgress::drawLine()
{
    if (m_quiet || !m_terminal || m_total == 0)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double rate = seconds > 0 ? static_cast<double>(m_written) / seconds : 0.0;
    const std::string line = formatText("正在处理 %zu/%zu... %.1f 张/秒",
                                        std::max<std::size_t>(m_step, 1), m_total, rate);
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    m_lineShown = true;
}

void TerminalProgress::clearLine()
{
    if (m_lineShown) {
        std::fputs("\r\033[K", stderr);
        m_lineShown = false;
    }
}

} // namespace torvale::cli
