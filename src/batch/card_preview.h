#pragma once

#include "batch/data_file.h"
#include "model/template.h"
#include "render/fonts.h"
#include "render/magick.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// What the editor's row preview asks for: the template as it is now and a data row.
struct PreviewRequest {
    Template tpl;
    std::int32_t dpi = 72;
    std::shared_ptr<const FontRegistry> fonts;
    std::string csvPath; // resolved
    std::size_t row = 1; // 1-based data row
    /// The rows of the data file kept from one request to the next; none to read it afresh.
    std::shared_ptr<RowSourceCache> rows;
    /// Set to stop drawing (the card is then not finished); none for a render that runs out.
    std::shared_ptr<const std::atomic<bool>> stop;
};

/// The card of the row, drawn as the batch draws it; the card's log lines.
struct PreviewResult {
    RgbaPixels card;
    std::size_t rowCount = 0; // data rows of the CSV file
    std::vector<std::string> log;
    std::optional<std::string> problem; // the CSV file cannot be read, or the row is not there
};

/// Draws one data row's card with the card renderer (may run on any thread).
PreviewResult renderPreview(const PreviewRequest& request);

} // namespace torvale
