#include "ui/startup.h"

namespace torvale {

int runEditor(int, char**) { return 0; }

} // namespace torvale
