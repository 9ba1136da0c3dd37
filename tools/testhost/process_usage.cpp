#include "tools/testhost/process_usage.h"

#include <algorithm>

namespace {

size_t CommittedPrivateBytes() {
    size_t total = 0;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto* at = static_cast<BYTE*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (at < system.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        at = static_cast<BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

// One count of `count` runs, the first of them numbered `firstRun`.
UsageKept CountKept(const std::function<bool()>& cycle, int firstRun, int count) {
    UsageKept kept = {-1, 0, 0, 0.0};
    const ProcessUsage before = MeasureProcessUsage();
    for (int i = 0; i < count && kept.failedRun < 0; ++i)
        if (!cycle())
            kept.failedRun = firstRun + i;
    const ProcessUsage after = MeasureProcessUsage();
    // Handles are multiples of 4.
    kept.handles = static_cast<long>((static_cast<intptr_t>(after.lowestFreeHandle) -
                                      static_cast<intptr_t>(before.lowestFreeHandle)) / 4);
    kept.tlsIndexes = static_cast<long>(after.lowestFreeTlsIndex) - static_cast<long>(before.lowestFreeTlsIndex);
    kept.kbPerRun = (static_cast<double>(after.committedPrivateBytes) -
                     static_cast<double>(before.committedPrivateBytes)) / 1024.0 / count;
    return kept;
}

}  // namespace

ProcessUsage MeasureProcessUsage() {
    ProcessUsage usage = {};
    usage.committedPrivateBytes = CommittedPrivateBytes();
    usage.lowestFreeTlsIndex = TlsAlloc();
    TlsFree(usage.lowestFreeTlsIndex);
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    usage.lowestFreeHandle = reinterpret_cast<uintptr_t>(probe);
    CloseHandle(probe);
    return usage;
}

UsageKept MeasureUsageKept(const std::function<bool()>& cycle, int warmUp, int count) {
    for (int i = 0; i < warmUp; ++i)
        if (!cycle())
            return {i, 0, 0, 0.0};
    const UsageKept first = CountKept(cycle, warmUp, count);
    if (first.failedRun >= 0 || KeepsNothing(first))
        return first;
    // Wine itself now and then takes a handle for good while a count runs;
    // what the runs keep, they keep again in a second count.
    const UsageKept second = CountKept(cycle, warmUp + count, count);
    if (second.failedRun >= 0)
        return second;
    return {-1, std::min(first.handles, second.handles), std::min(first.tlsIndexes, second.tlsIndexes),
            std::min(first.kbPerRun, second.kbPerRun)};
}

bool KeepsNothing(const UsageKept& kept) {
    // The lowest free slot moving down is a handle or index someone else
    // gave back meanwhile (Wine itself, now and then), not one kept.
    return kept.failedRun < 0 && kept.handles <= 0 && kept.tlsIndexes <= 0 && kept.kbPerRun <= 1.0;
}
