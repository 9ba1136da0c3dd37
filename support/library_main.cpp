#include "support/library_main.h"

HINSTANCE g_moduleInstance;

bool HoldModule() {
    HMODULE self = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldModule),
                              &self) != FALSE;
}

void ReleaseModule() {
    // Never the last reference: the caller is inside one of our exports, so
    // the host still holds its own.
    FreeLibrary(g_moduleInstance);
}
