#include "support/library_main.h"

HINSTANCE g_moduleInstance;

void HoldModule() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldModule), &self);
}

void ReleaseModule() {
    // Never the last reference: the caller is inside one of our exports, so
    // the host still holds its own.
    FreeLibrary(g_moduleInstance);
}

// No plug-in logic runs at load or unload: the loader lock is held here, so
// no USER32 call, no library load and no host call. Our globals release their
// own memory when the runtime destroys them after DLL_PROCESS_DETACH.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_moduleInstance = instance;
    return TRUE;
}
