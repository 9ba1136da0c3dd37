// Redirects one imported function of a loaded module through the caller's
// replacement by rewriting the module's import address table, so the host can
// watch which system calls a plug-in makes. Returns the original, or null if
// the module does not import that function by name.
#pragma once

#include <windows.h>

void* HookImport(HMODULE module, const char* dllName, const char* functionName, void* replacement);
