// The library's own module: every dialog and control of the plug-in is
// created with this instance handle. Set when the library is loaded.
#pragma once

#include <windows.h>

extern HINSTANCE g_moduleInstance;
