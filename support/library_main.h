// The library's own module: every dialog and control of the plug-in is
// created with this instance handle. Set by the entry point when the library
// is loaded (plugin/dll_main.cpp).
#pragma once

#include <windows.h>

extern HINSTANCE g_moduleInstance;

// Keeps the library mapped while a window whose procedure lives in it
// exists, even if the host frees the library meanwhile. Each hold is
// released once, after that window is destroyed. False if the hold could
// not be taken: then there is nothing to release.
bool HoldModule();
void ReleaseModule();
