#include "tests/support/heap_blocks.h"

#include <algorithm>
#include <map>

#include "tests/support/import_hook.h"

namespace {

std::map<void*, size_t> g_liveBlocks;
bool g_inHook;
decltype(&HeapAlloc) g_heapAlloc;
decltype(&HeapReAlloc) g_heapReAlloc;
decltype(&HeapFree) g_heapFree;

void Track(void* block, size_t size) {
    if (block && !g_inHook) {
        g_inHook = true;  // the map allocates too
        g_liveBlocks[block] = size;
        g_inHook = false;
    }
}
void Untrack(void* block) {
    if (block && !g_inHook) {
        g_inHook = true;
        g_liveBlocks.erase(block);
        g_inHook = false;
    }
}
LPVOID WINAPI TrackAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    void* block = g_heapAlloc(heap, flags, size);
    Track(block, size);
    return block;
}
// A failed reallocation leaves the old block where it was.
LPVOID WINAPI TrackReAlloc(HANDLE heap, DWORD flags, LPVOID old, SIZE_T size) {
    void* block = g_heapReAlloc(heap, flags, old, size);
    if (block) {
        Untrack(old);
        Track(block, size);
    }
    return block;
}
BOOL WINAPI TrackFree(HANDLE heap, DWORD flags, LPVOID block) {
    Untrack(block);
    return g_heapFree(heap, flags, block);
}

}  // namespace

void TrackHeapBlocks(HMODULE module) {
    g_liveBlocks.clear();
    HookImport(module, "KERNEL32.dll", "HeapAlloc", TrackAlloc, &g_heapAlloc);
    HookImport(module, "KERNEL32.dll", "HeapReAlloc", TrackReAlloc, &g_heapReAlloc);
    HookImport(module, "KERNEL32.dll", "HeapFree", TrackFree, &g_heapFree);
}

size_t LiveHeapBlocks() {
    return g_liveBlocks.size();
}

size_t LargestHeapBlock() {
    size_t largest = 0;
    for (const auto& block : g_liveBlocks)
        largest = std::max(largest, block.second);
    return largest;
}
