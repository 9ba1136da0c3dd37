// What a host may do with a plug-in again and again in one process: the
// cycles whose resources `varnik-host check`, the reload tests and the soak
// run count (process_usage.h), each with counts of its own.
#pragma once

#include <functional>
#include <string>

#include "tools/plugin_host/plugin_host.h"

// LoadLibrary and FreeLibrary alone; false, with why, if it does not load.
bool LoadAndFree(const std::string& path, std::string* error);

// A publication's whole session: load, register, a watch for OnUSB that sees
// `events` volumes come and go (sent to this process's watcher windows
// alone, so no other program hears of them), stop, free. `loaded` runs once
// the library is loaded, `afterEach` after each event. False, with why, if
// it does not load or stays loaded once freed.
bool WholeSession(const std::string& path, int events, std::string* error,
                  const std::function<void(PluginHost&)>& loaded = {}, const std::function<void()>& afterEach = {});

// Both, as a reload count runs them: `loads` loads and frees, then `sessions`
// whole sessions of two events each. A load and free may leave the process
// heap nothing: fewer than 8 bytes a run, less than the smallest block kept.
struct ReloadCycle {
    const char* name;
    std::function<bool(std::string* error)> run;
    int count;
    long heapBytesPerRun;  // for MeasureUsageKept
};
const long kLoadAndFreeHeapBytes = 8;
std::vector<ReloadCycle> ReloadCycles(const std::string& path, int loads, int sessions);
