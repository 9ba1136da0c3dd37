// Feeds arbitrary WM_DEVICECHANGE messages to the event report builder, as any
// program on the desktop can. Input: 4 bytes of wParam (little-endian), then
// the record. The record gets a heap block of exactly the size it declares
// (never fewer than the 4 bytes of the size field), so AddressSanitizer stops
// any read past the first dbch_size bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "report/event_report.h"

static uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const uint32_t code = ReadU32(data);
    int32_t wParam;
    std::memcpy(&wParam, &code, sizeof wParam);
    data += 4;
    size -= 4;

    std::unique_ptr<uint8_t[]> record;
    std::uintptr_t lParam = 0;  // fewer than 4 record bytes: no record at all
    if (size >= 4) {
        // A declared size beyond the input is cut to the input; a smaller one
        // gets a block of just that size, so bytes past it are not there to read.
        uint32_t declared = ReadU32(data);
        if (declared > size)
            declared = static_cast<uint32_t>(size);
        const std::size_t blockSize = declared < 4 ? 4 : declared;
        record.reset(new uint8_t[blockSize]);
        std::memcpy(record.get(), data, blockSize);
        for (int i = 0; i < 4; ++i)
            record[i] = static_cast<uint8_t>(declared >> (8 * i));
        lParam = reinterpret_cast<std::uintptr_t>(record.get());
    }

    StackText<256> report;  // as the watcher builds it: long reports move to the heap
    BuildEventReport(wParam, lParam, report);
    // Only a suppressed DBT_DEVNODES_CHANGED is empty; everything else names
    // the message first, and the text ends with its NUL.
    static const char kFirstEntry[] = "     WM_DEVICECHANGE ";
    if (report.empty() ? wParam != 7
                       : report.size() < sizeof kFirstEntry - 1 ||
                             std::memcmp(report.data(), kFirstEntry, sizeof kFirstEntry - 1) != 0 ||
                             report.data()[report.size()] != '\0') {
        std::abort();
    }
    return 0;
}
