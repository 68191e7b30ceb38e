#include "batch/csv_source.h"
