// A plug-in that does nothing but keep one thing each time it is loaded and
// freed: the leaks that the reload counts must see. Built once per thing,
// KEEPS naming it: 1 a handle, 2 a TLS index, 3 a GDI object, 4 64 KB of
// memory, 5 one small block of the process heap (as a plug-in that forgets a
// name's copy would). It exports the plug-in's names, and they do nothing.
#include <windows.h>

#include "tests/wine/inert_exports.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
#if KEEPS == 1
    CreateEventA(nullptr, FALSE, FALSE, nullptr);
#elif KEEPS == 2
    TlsAlloc();
#elif KEEPS == 3
    // Kept between two others, as a dialog might: the one given back is
    // the next to be handed out again, so the next new object's handle
    // stays the same while one more is in use each time.
    HBRUSH passing = CreateSolidBrush(RGB(1, 2, 3));
    CreateSolidBrush(RGB(4, 5, 6));
    DeleteObject(passing);
#elif KEEPS == 4
    VirtualAlloc(nullptr, 64 * 1024, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#elif KEEPS == 5
    HeapAlloc(GetProcessHeap(), 0, 24);
#else
#error "KEEPS names the thing kept"
#endif
    return TRUE;
}

void WINAPI nbRegisterPlugIn(void*, void*, void*, void*) {}

}  // extern "C"
