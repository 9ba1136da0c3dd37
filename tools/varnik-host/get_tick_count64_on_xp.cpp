// varnik-host starts on Windows XP SP3 as the plug-in does: the loader of XP
// refuses a program that imports a function its kernel32.dll lacks. The
// thread library inside the static C++ runtime imports GetTickCount64
// (Windows Vista on); this file fills that import's slot itself, with a
// function that looks the call up at run time and counts with GetTickCount
// where it is missing.
#include <windows.h>

namespace {

using TickCount64 = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI TickCount64OrFallback() {
    // Asked each time, not kept in a guarded static: the guard's lock may
    // itself come here.
    const auto later = reinterpret_cast<TickCount64>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
    if (later)
        return later();
    // GetTickCount wraps after 49.7 days: count the wraps. Only the runtime's
    // timed waits ask, on varnik-host's one thread.
    static DWORD last;
    static ULONGLONG wraps;
    const DWORD now = GetTickCount();
    if (now < last)
        wraps += 1ull << 32;
    last = now;
    return wraps + now;
}

}  // namespace

// The import slot by the name the runtime's object code reads it from.
#ifdef _WIN64
extern "C" TickCount64 varnikGetTickCount64Slot asm("__imp_GetTickCount64");
#else
extern "C" TickCount64 varnikGetTickCount64Slot asm("__imp__GetTickCount64@0");
#endif
TickCount64 varnikGetTickCount64Slot = TickCount64OrFallback;
