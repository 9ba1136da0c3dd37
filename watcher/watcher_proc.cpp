#include "watcher/watcher_proc.h"

#include "watcher/volume_event.h"
#include "watcher/watcher_log.h"
#include "watcher/watcher_state.h"

LRESULT CALLBACK WatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        // Numbers are 32 bits on every build; lParam is a record address
        // or, for device-node changes, a number.
        const auto code = static_cast<int32_t>(static_cast<uint32_t>(wParam));
        StackText<256> report;  // a volume report fits: no heap block per event
        HandleDeviceChange(code, static_cast<uintptr_t>(lParam), report);
        // The host may have stopped or restarted the watch meanwhile: the
        // line goes to whichever log is current now.
        if (!report.empty())
            AppendToWatcherLog(report);
    }
    return CallWindowProcA(g_previousWindowProc, window, message, wParam, lParam);
}
