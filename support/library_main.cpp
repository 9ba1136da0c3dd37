#include "support/library_main.h"

HINSTANCE g_moduleInstance;

namespace {

int g_holdsOfGoneWindows;

}  // namespace

bool HoldModule() {
    HMODULE self = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldModule),
                              &self) != FALSE;
}

void ReleaseModuleLater() {
    ++g_holdsOfGoneWindows;
}

void ReleaseModuleHeldByGoneWindows() {
    // Never the last reference: the caller is inside one of our exports, so
    // the host still holds its own.
    for (; g_holdsOfGoneWindows > 0; --g_holdsOfGoneWindows)
        FreeLibrary(g_moduleInstance);
}
