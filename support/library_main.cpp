#include "support/library_main.h"

HINSTANCE g_moduleInstance;
