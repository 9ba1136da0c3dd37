#include "watcher/watcher_proc.h"

#include "support/library_hold.h"
#include "watcher/volume_event.h"
#include "watcher/watcher_log.h"
#include "watcher/watcher_state.h"
#include "watcher/watcher_window.h"

LRESULT CALLBACK WatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LibraryFrame frame;
    WatcherRecord* record = WatcherRecordOf(window);
    if (!record)  // never in practice: the record lives as long as this procedure is installed
        return 0;
    // Read before any host call: host script may destroy the window and its record.
    const WNDPROC previous = record->windowProc;
    if (message == WM_NCDESTROY)
        ForgetWatcherWindow(window);
    if (message != WM_DEVICECHANGE)
        return CallWindowProcA(previous, window, message, wParam, lParam);

    WatcherCall call;
    EnterWatcherCall(record, call);
    // Numbers are 32 bits on every build; lParam is a record address or,
    // for device-node changes, a number.
    const auto code = static_cast<int32_t>(static_cast<uint32_t>(wParam));
    StackText<256> report;  // a volume report fits: no heap block per event
    HandleDeviceChange(code, static_cast<uintptr_t>(lParam), report);
    const bool windowLives = LeaveWatcherCall(record, call);
    // The host may have stopped or restarted the watch meanwhile: the line
    // goes to the log of whichever window is current now.
    HWND current = g_watcherWindow;
    if (!report.empty() && current)
        AppendToWatcherLog(current == window ? record : WatcherRecordOf(current), report);
    // A window destroyed meanwhile has no procedure left to answer for it.
    if (!windowLives)
        return 0;
    return CallWindowProcA(previous, window, message, wParam, lParam);
}
