// The report of a volume arrival, the message the watcher acts on, against
// the floor: a plain copy of as many bytes as that report holds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "report/event_report.h"

static const int32_t kDbtDeviceArrival = 0x8000;

// DEV_BROADCAST_VOLUME for drive E, flags 0, as the system sends it.
static const unsigned char kVolumeRecord[20] = {20, 0, 0,    0, 2, 0, 0, 0, 0, 0,
                                                0,  0, 0x10, 0, 0, 0, 0, 0, 0, 0};

static void BM_VolumeArrivalReport(benchmark::State& state) {
    const std::uintptr_t lParam = reinterpret_cast<std::uintptr_t>(kVolumeRecord);
    for (auto _ : state) {
        StackText<256> report;  // as the watcher builds it
        BuildEventReport(kDbtDeviceArrival, lParam, report);
        benchmark::DoNotOptimize(report.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_VolumeArrivalReport);

static void BM_PlainCopyOfReportLength(benchmark::State& state) {
    Text model;
    BuildEventReport(kDbtDeviceArrival, reinterpret_cast<std::uintptr_t>(kVolumeRecord), model);
    const char* source = model.data();
    const std::size_t length = model.size();
    state.SetLabel(std::to_string(length) + " bytes");
    for (auto _ : state) {
        benchmark::DoNotOptimize(source);
        Text copy(TextView(source, length));
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainCopyOfReportLength);

BENCHMARK_MAIN();
