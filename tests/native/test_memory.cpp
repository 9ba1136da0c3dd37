#include "tests/native/test_memory.h"

#include <malloc.h>
#include <stdlib.h>
#include <string.h>

#include "support/memory.h"

namespace {

size_t g_count;
size_t g_failing;

bool Granted() {
    ++g_count;
    return g_count != g_failing;
}

}  // namespace

void ResetAllocationCount() {
    g_count = 0;
    g_failing = 0;
}

size_t AllocationCount() {
    return g_count;
}

void FailAllocationNumber(size_t number) {
    g_count = 0;
    g_failing = number;
}

void* AllocateMemory(size_t size) {
    return Granted() ? malloc(size) : nullptr;
}

// Always to a new place, the old bytes scrambled and freed, as a busy heap
// moves blocks: a caller that keeps using the old place reads garbage, and
// AddressSanitizer reports it.
void* ResizeMemory(void* block, size_t size) {
    if (!Granted())
        return nullptr;
    void* moved = malloc(size);
    if (!moved)
        return nullptr;
#if defined(_WIN32)
    const size_t old = _msize(block);
#else
    const size_t old = malloc_usable_size(block);
#endif
    memcpy(moved, block, old < size ? old : size);
    memset(block, 0xA5, old);
    free(block);
    return moved;
}

void FreeMemory(void* block) {
    free(block);
}
