#include <windows.h>

#include "support/library_main.h"
#include "watcher/watcher_state.h"

// The library's entry point: there is no C run-time start-up, so the loader
// calls this directly. The loader lock is held here, so no plug-in logic runs:
// no USER32 call, no library load, no host call. Every global starts empty
// because the loader maps a fresh copy of the library's data at each load.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH)
        g_moduleInstance = instance;
    // Freed by the host, the plug-in gives back its own memory. When the
    // process is ending (reserved is not null) it all goes with the process,
    // and another thread may have died holding the heap.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        ReleaseWatcherMemory();
    return TRUE;
}
