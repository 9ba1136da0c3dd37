#include "support/memory.h"

#if defined(_WIN32)

#include <windows.h>

// The process heap: the plug-in brings no C library of its own and uses
// none of the system's, and every block goes back before the library is
// freed.
void* AllocateMemory(size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* ResizeMemory(void* block, size_t size) {
    return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void FreeMemory(void* block) {
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

#else

#include <stdlib.h>

// The core's benchmark and fuzzer on Linux: the C library's heap.
void* AllocateMemory(size_t size) {
    return malloc(size);
}

void* ResizeMemory(void* block, size_t size) {
    return realloc(block, size);
}

void FreeMemory(void* block) {
    free(block);
}

#endif
