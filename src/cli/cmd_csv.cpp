#include "cli/cli_common.h"

namespace torvale::cli {

int runColumnsCommand(const Args&) { return kExitUsage; }
int runRowsCommand(const Args&) { return kExitUsage; }

} // namespace torvale::cli
