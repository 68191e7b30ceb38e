#pragma once

#include "batch/batch_runner.h"
#include "batch/batch_validation.h"
#include "model/template.h"

#include <cstdint>
#include <string>

namespace torvale {

/// What a batch of a template needs: the inputs of its check and the options of its run.
/// The editor's batch and the command-line tool both make theirs here.
struct BatchPlan {
    BatchInputs inputs;
    /// fonts is left for the caller to fill in; jobs is 1.
    BatchOptions options;
};

/// The batch of a template as it stands (its background picture loaded; its stored paths
/// resolved against the folder of its file), at the output resolution dpi. A non-empty
/// csvOverride replaces the template's CSV file.
BatchPlan planBatch(const Template& tpl, std::int32_t dpi, const std::string& csvOverride = {});

} // namespace torvale
