#include "support/memory.h"

#if defined(_WIN32)

#include <windows.h>

// The process heap: the plug-in brings no C library of its own and uses
// none of the system's, and every block goes back before the library is
// freed.
void* ReallocateMemory(void* block, size_t size) {
    HANDLE heap = GetProcessHeap();
    // A failed HeapReAlloc leaves the block where it was, still valid.
    return block ? HeapReAlloc(heap, 0, block, size) : HeapAlloc(heap, 0, size);
}

void FreeMemory(void* block) {
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

#else

#include <stdlib.h>

// The core's benchmark and fuzzer on Linux: the C library's heap.
void* ReallocateMemory(void* block, size_t size) {
    return realloc(block, size);
}

void FreeMemory(void* block) {
    free(block);
}

#endif
