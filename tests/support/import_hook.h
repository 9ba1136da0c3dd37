// Redirects one imported function of a loaded module through the caller's
// replacement by rewriting the module's import address table, so the host can
// watch which system calls a plug-in makes. Returns the original, or null if
// the module does not import that function by name.
#pragma once

#include <windows.h>

void* HookImport(HMODULE module, const char* dllName, const char* functionName, void* replacement);

// The same for a function of type Fn: the original goes to `original`;
// false (and `original` untouched) if the module does not import it.
template <typename Fn>
bool HookImport(HMODULE module, const char* dllName, const char* functionName, Fn replacement, Fn* original) {
    void* real = HookImport(module, dllName, functionName, reinterpret_cast<void*>(replacement));
    if (real)
        *original = reinterpret_cast<Fn>(real);
    return real != nullptr;
}
