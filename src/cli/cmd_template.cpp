#include "cli/cli_common.h"

namespace torvale::cli {

int runTemplateCommand(const Args&) { return kExitUsage; }

} // namespace torvale::cli
