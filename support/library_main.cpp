#include "support/library_main.h"

#include <vector>

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

namespace {

// Every TLS index a process can have: 64 in the TEB, 1,024 in its expansion.
const DWORD kTlsIndexes = 64 + 1024;

// The thread runtime linked into this library (MinGW's winpthread) keeps a
// TLS index and a record with two handles for the thread that loaded it, and
// releases them only when that thread ends, never when the library is freed.
// A host that loads and frees us again and again would run out of TLS
// indexes after about a thousand times, and its process would die. So when
// the library is freed, this thread's end is played to our own TLS
// callbacks, and the index that held the record is given back.
void ReleaseRuntimeThreadState(HINSTANCE self) {
    auto* base = reinterpret_cast<BYTE*>(self);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (directory.VirtualAddress == 0)
        return;
    auto* tls = reinterpret_cast<IMAGE_TLS_DIRECTORY*>(base + directory.VirtualAddress);
    auto* callbacks = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    if (!callbacks)
        return;

    std::vector<void*> before(kTlsIndexes);
    for (DWORD i = 0; i < kTlsIndexes; ++i)
        before[i] = TlsGetValue(i);
    for (; *callbacks; ++callbacks)
        (*callbacks)(self, DLL_THREAD_DETACH, nullptr);
    // Only our runtime's callbacks ran: an index they emptied is theirs.
    for (DWORD i = 0; i < kTlsIndexes; ++i)
        if (before[i] && !TlsGetValue(i))
            TlsFree(i);
}

}  // namespace

// No plug-in logic runs at load or unload: the loader lock is held here, so
// no USER32 call, no library load and no host call. Our globals release their
// own memory when the runtime destroys them after DLL_PROCESS_DETACH.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH)
        g_moduleInstance = instance;
    // Freed by the host (not the process ending): give back what the runtime
    // keeps for this thread.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        try {
            ReleaseRuntimeThreadState(instance);
        } catch (...) {
        }
    }
    return TRUE;
}
