#include "tools/testhost/process_usage.h"

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
