#include "watcher/watcher_proc.h"

#include "watcher/volume_event.h"
#include "watcher/watcher_log.h"

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
    const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

void InstallWatcherWindowProc(HWND window) {
    // No message reaches the window between the two calls.
    const LONG_PTR previous =
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatcherWindowProc));
    SetWindowLongPtrA(window, GWLP_USERDATA, previous);
}
