#pragma once

#include <string>

namespace torvale {

/// Receives the lines of the information log (problems found while cards are made).
class LogSink {
public:
    virtual ~LogSink() = default;
    /// Appends a message; the sink adds the time stamp.
    virtual void log(const std::string& message) = 0;
};

} // namespace torvale
