// What a process holds, for checking that a plug-in gives back all it takes
// when it is freed. Wine's GetProcessMemoryInfo reports nothing, so private
// memory is counted by walking the address space.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>

struct ProcessUsage {
    size_t committedPrivateBytes;  // MEM_COMMIT and MEM_PRIVATE, from VirtualQuery
    DWORD lowestFreeTlsIndex;      // indexes are handed out lowest first: a leak raises it
    uintptr_t lowestFreeHandle;    // the same for handles
};

ProcessUsage MeasureProcessUsage();

// What `count` runs of `cycle` keep, measured after `warmUp` runs (what the
// first runs bring in may stay for good). A count that shows something kept
// is made once more, and only what both show is kept. A run that fails ends
// the count.
struct UsageKept {
    int failedRun;      // the run that failed, from 0, warm-up included; -1 for none
    long handles;       // lowest free handle moved up by this many
    long tlsIndexes;    // the same for TLS indexes
    double kbPerRun;    // private memory kept per run
};
UsageKept MeasureUsageKept(const std::function<bool()>& cycle, int warmUp, int count);

// Nothing kept: no handle, no TLS index (the lowest free one did not move up),
// at most 1 KB of private memory a run.
bool KeepsNothing(const UsageKept& kept);
