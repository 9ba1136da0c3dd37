#include "tools/plugin_host/process_usage.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

size_t CommittedPrivateBytes() {
    size_t total = 0;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto* at = static_cast<BYTE*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (at < system.lpMaximumApplicationAddress &&
           VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        at = static_cast<BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

// HeapWalk is how Windows lists a heap's blocks (XP has it); the lock keeps
// other threads from changing the heap under the walk. A heap with a
// low-fragmentation front end (Windows since Vista, Wine since 9) may list a
// run of small blocks as one larger block, so the bytes count too.
void CountProcessHeap(ProcessUsage* usage) {
    const HANDLE heap = GetProcessHeap();
    if (!HeapLock(heap))
        return;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            ++usage->heapBlocks;
            usage->heapBytes += static_cast<long>(entry.cbData);
        }
    HeapUnlock(heap);
}

UsageMeasures FindMeasures() {
    UsageMeasures measures = {};
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD handles = 0;
    measures.handleCount = event && GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0;
    if (event)
        CloseHandle(event);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    measures.guiCount = brush && GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) > 0;
    if (brush)
        DeleteObject(brush);
    return measures;
}

// Wine hands out the lowest free handle first, a multiple of 4: a handle
// kept raises it by one step.
long LowestFreeHandle() {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return static_cast<long>(reinterpret_cast<uintptr_t>(probe) / 4);
}

// Wine keeps a GDI object's table index in the low 16 bits of its handle and
// takes a handle with nothing above them for the object at that index,
// whatever became of the index before: each live object answers once. Freed
// indexes are handed out again last freed first, so the next handle's index
// says nothing about how many are in use.
long GdiTableObjects() {
    long live = 0;
    for (uintptr_t index = 1; index <= 0xFFFF; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0)
            ++live;
    return live;
}

// One count of `count` runs, the first of them numbered `firstRun`.
UsageKept CountKept(const std::function<bool()>& cycle, int firstRun, int count, long heapBytesPerRun) {
    UsageKept kept = {-1, count, 0, 0, 0, 0, 0, 0, 0, 0.0};
    const ProcessUsage before = MeasureProcessUsage();
    for (int i = 0; i < count && kept.failedRun < 0; ++i)
        if (!cycle())
            kept.failedRun = firstRun + i;
    const ProcessUsage after = MeasureProcessUsage();
    kept.heapBlocks = after.heapBlocks - before.heapBlocks;
    kept.heapBytes = after.heapBytes - before.heapBytes;
    kept.heapBytesPerRun = heapBytesPerRun;
    kept.handles = after.handles - before.handles;
    kept.tlsIndexes =
        static_cast<long>(after.lowestFreeTlsIndex) - static_cast<long>(before.lowestFreeTlsIndex);
    kept.gdiObjects = after.gdiObjects - before.gdiObjects;
    kept.userObjects = after.userObjects - before.userObjects;
    kept.kbPerRun = (static_cast<double>(after.committedPrivateBytes) -
                     static_cast<double>(before.committedPrivateBytes)) /
                    1024.0 / count;
    return kept;
}

std::string Counted(long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

const UsageMeasures& Measures() {
    static const UsageMeasures measures = FindMeasures();
    return measures;
}

std::string DescribeMeasures(const UsageMeasures& measures) {
    return std::string("blocks of the process heap counted by HeapWalk; ") +
           (measures.handleCount
                ? "handles counted by GetProcessHandleCount"
                : "handles read from the lowest free handle, as GetProcessHandleCount answers 0 here") +
           (measures.guiCount ? "; GDI and USER objects by GetGuiResources"
                              : "; GDI objects counted in Wine's GDI table and USER objects not at all, as "
                                "GetGuiResources answers 0 here");
}

ProcessUsage MeasureProcessUsage() {
    const UsageMeasures& measures = Measures();
    ProcessUsage usage = {};
    usage.committedPrivateBytes = CommittedPrivateBytes();
    CountProcessHeap(&usage);
    usage.lowestFreeTlsIndex = TlsAlloc();
    TlsFree(usage.lowestFreeTlsIndex);
    DWORD handles = 0;
    if (measures.handleCount && GetProcessHandleCount(GetCurrentProcess(), &handles))
        usage.handles = static_cast<long>(handles);
    else
        usage.handles = LowestFreeHandle();
    if (measures.guiCount) {
        usage.gdiObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
        usage.userObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    } else {
        usage.gdiObjects = GdiTableObjects();
    }
    return usage;
}

UsageKept MeasureUsageKept(const std::function<bool()>& cycle, int warmUp, int count, long heapBytesPerRun) {
    for (int i = 0; i < warmUp; ++i)
        if (!cycle())
            return {i, 0, 0, 0, heapBytesPerRun, 0, 0, 0, 0, 0.0};
    const UsageKept first = CountKept(cycle, warmUp, count, heapBytesPerRun);
    if (first.failedRun >= 0 || KeepsNothing(first))
        return first;
    // Wine itself now and then takes a handle for good while a count runs;
    // what the runs keep, they keep again in a second count.
    const UsageKept second = CountKept(cycle, warmUp + count, count, heapBytesPerRun);
    if (second.failedRun >= 0)
        return second;
    return {-1,
            count,
            std::min(first.heapBlocks, second.heapBlocks),
            std::min(first.heapBytes, second.heapBytes),
            heapBytesPerRun,
            std::min(first.handles, second.handles),
            std::min(first.tlsIndexes, second.tlsIndexes),
            std::min(first.gdiObjects, second.gdiObjects),
            std::min(first.userObjects, second.userObjects),
            std::min(first.kbPerRun, second.kbPerRun)};
}

// One block every ten runs or more, or more bytes than the runs may leave:
// something the runs keep, not the few the C runtime and the system take for
// good now and then.
bool KeepsHeapBlocks(const UsageKept& kept) {
    return (kept.heapBlocks > 0 && kept.heapBlocks * 10 >= kept.runs) ||
           kept.heapBytes >= kept.heapBytesPerRun * kept.runs;
}

bool KeepsNothing(const UsageKept& kept) {
    // A count moving down is something someone else gave back meanwhile
    // (Wine itself, now and then), not something kept.
    return kept.failedRun < 0 && !KeepsHeapBlocks(kept) && kept.handles <= 0 && kept.tlsIndexes <= 0 &&
           kept.gdiObjects <= 0 && kept.userObjects <= 0 && kept.kbPerRun <= 1.0;
}

std::string DescribeKept(const UsageKept& kept) {
    std::vector<std::string> parts;
    if (KeepsHeapBlocks(kept))
        parts.push_back(Counted(kept.heapBlocks, "block", "blocks") + " (" + std::to_string(kept.heapBytes) +
                        " bytes) of the process heap");
    if (kept.handles > 0)
        parts.push_back(Counted(kept.handles, "handle", "handles"));
    if (kept.tlsIndexes > 0)
        parts.push_back(Counted(kept.tlsIndexes, "TLS index", "TLS indexes"));
    if (kept.gdiObjects > 0)
        parts.push_back(Counted(kept.gdiObjects, "GDI object", "GDI objects"));
    if (kept.userObjects > 0)
        parts.push_back(Counted(kept.userObjects, "USER object", "USER objects"));
    if (kept.kbPerRun > 1.0) {
        char memory[64];
        std::snprintf(memory, sizeof memory, "%.1f KB of memory a run", kept.kbPerRun);
        parts.push_back(memory);
    }
    if (parts.empty())
        return "nothing";
    std::string text = parts.front();
    for (size_t i = 1; i < parts.size(); ++i)
        text += (i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}
