// The library's own module: every dialog and control of the plug-in is
// created with this instance handle. Set by the entry point when the library
// is loaded (plugin/dll_main.cpp).
#pragma once

#include <windows.h>

extern HINSTANCE g_moduleInstance;
