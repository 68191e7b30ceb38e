#include "model/recent_files.h"
