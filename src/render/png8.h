#pragma once

#include "render/log_sink.h"
#include "render/magick.h"

#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// Quantises the card to at most colorCount colours (alpha included; a count outside 2..256
/// keeps 256) and encodes it as an 8-bit palette PNG in memory, with the resolution dpi. On
/// failure logs the message (with its support line) and gives nothing: the batch must stop.
std::optional<std::vector<unsigned char>> encodePng8(const RgbaPixels& card, int colorCount,
                                                     int dpi, LogSink& log);

/// The log text of a PNG-8 failure: the first line (which ends in "\r\n") followed by the
/// support line ("--- ..."), then the system's error text on a line of its own when there is
/// one.
std::string png8FailureText(const std::string& firstLine, const std::string& systemError = {});

} // namespace torvale
