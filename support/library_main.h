// The library's own module: every dialog and control of the plug-in is
// created with this instance handle. Set by the entry point when the library
// is loaded (plugin/dll_main.cpp).
#pragma once

#include <windows.h>

extern HINSTANCE g_moduleInstance;

// Keeps the library mapped while a window whose procedure lives in it
// exists, even if the host frees the library meanwhile. False if the hold
// could not be taken: then there is nothing to release.
bool HoldModule();

// A hold whose window is gone, to be given back by
// ReleaseModuleHeldByGoneWindows: the window learns that it is destroyed
// inside its own procedure, which still has to return into the library.
void ReleaseModuleLater();

// Gives back every such hold, each once. Called only from inside the
// library's exports, where the host's own reference keeps the library
// mapped until they return.
void ReleaseModuleHeldByGoneWindows();
