#include "tests/native/test_memory.h"

#include <stdlib.h>

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

void* ReallocateMemory(void* block, size_t size) {
    return Granted() ? realloc(block, size) : nullptr;
}

void FreeMemory(void* block) {
    free(block);
}
