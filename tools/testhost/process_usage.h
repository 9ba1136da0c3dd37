// What a process holds, for checking that a plug-in gives back all it takes
// when it is freed. Wine's GetProcessMemoryInfo reports nothing, so private
// memory is counted by walking the address space.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct ProcessUsage {
    size_t committedPrivateBytes;  // MEM_COMMIT and MEM_PRIVATE, from VirtualQuery
    DWORD lowestFreeTlsIndex;      // indexes are handed out lowest first: a leak raises it
    uintptr_t lowestFreeHandle;    // the same for handles
};

ProcessUsage MeasureProcessUsage();
