#include "common/settings_store.h"
