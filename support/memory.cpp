#include "support/memory.h"

#include <stdlib.h>

// The system's C library heap (msvcrt.dll on Windows): nothing of it is
// linked into the plug-in, and every block goes back before the library is
// freed.
void* ReallocateMemory(void* block, size_t size) {
    return realloc(block, size);
}

void FreeMemory(void* block) {
    free(block);
}
