// The core's heap in unit tests: the C library's, except that one chosen
// allocation can be made to fail, as it may when the host's process is short
// of memory, and a block that grows always moves.
#pragma once

#include <stddef.h>

// Counts from the next allocation (or growing reallocation) on.
void ResetAllocationCount();
size_t AllocationCount();

// The `number`-th allocation from now fails (1 is the next one); 0 fails none.
void FailAllocationNumber(size_t number);
