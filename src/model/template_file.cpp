#include "model/template_file.h"
