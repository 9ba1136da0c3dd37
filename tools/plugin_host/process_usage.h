// What a process holds, for checking that a plug-in gives back all it takes
// when it is freed. Wine's GetProcessMemoryInfo reports nothing, so private
// memory is counted by walking the address space; the blocks of the process
// heap, where a plug-in's small allocations live, by walking the heap.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// How this process can count what it holds. Windows counts handles
// (GetProcessHandleCount) and GDI and USER objects (GetGuiResources); Wine
// answers 0 to both, so there handles are read from the lowest free handle
// (Wine hands that one out first), GDI objects by walking Wine's GDI table,
// and USER objects are not counted.
struct UsageMeasures {
    bool handleCount;  // GetProcessHandleCount, else the lowest free handle
    bool guiCount;     // GetGuiResources, else the GDI table walked, USER objects not counted
};
// Found once per process: a count that answers 0 while this process holds
// one of the objects it counts is not there.
const UsageMeasures& Measures();
// For people: "handles counted by GetProcessHandleCount, GDI and USER objects by GetGuiResources".
std::string DescribeMeasures(const UsageMeasures& measures);

struct ProcessUsage {
    size_t committedPrivateBytes;  // MEM_COMMIT and MEM_PRIVATE, from VirtualQuery
    long heapBlocks;               // blocks in use in the process heap, from HeapWalk
    long heapBytes;                // the bytes in them
    DWORD lowestFreeTlsIndex;      // indexes are handed out lowest first: a leak raises it
    long handles;                  // open handles, or the lowest free handle's number
    long gdiObjects;
    long userObjects;              // 0 where they are not counted
};

ProcessUsage MeasureProcessUsage();

// What `count` runs of `cycle` keep, measured after `warmUp` runs (what the
// first runs bring in may stay for good). A count that shows something kept
// is made once more, and only what both show is kept. A run that fails ends
// the count.
struct UsageKept {
    int failedRun;      // the run that failed, from 0, warm-up included; -1 for none
    int runs;           // how many runs were counted
    long heapBlocks;    // in all runs together
    long heapBytes;
    long heapBytesPerRun;  // what a run may leave in the process heap's blocks
    long handles;
    long tlsIndexes;
    long gdiObjects;
    long userObjects;
    double kbPerRun;    // private memory kept per run
};
// `heapBytesPerRun` is what a run may leave in the heap's blocks: a heap with a
// low-fragmentation front end (Windows since Vista, Wine since 9) lists small
// blocks as a few larger ones, so a kept block shows only in the bytes, and
// windows and controls grow the system's own caches by a few hundred bytes a
// run now and then (Wine 10: 23 KB over 100 whole sessions).
UsageKept MeasureUsageKept(const std::function<bool()>& cycle, int warmUp, int count, long heapBytesPerRun = 1024);

// Nothing kept: fewer blocks of the process heap than a tenth of the runs
// (the C runtime and the system keep a few of their own now and then) and
// fewer bytes in them than the runs may leave, no handle,
// TLS index, GDI or USER object, at most 1 KB of private memory a run.
bool KeepsNothing(const UsageKept& kept);

// What was kept, for people: "200 blocks of the process heap and 200
// handles", "64.0 KB of memory a run"; "nothing" for nothing.
std::string DescribeKept(const UsageKept& kept);
