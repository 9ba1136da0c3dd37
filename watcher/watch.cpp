#include "watcher/watch.h"

#include <windows.h>

#include "report/broadcast_decoder.h"
#include "support/message_pump.h"
#include "watcher/watcher_command.h"
#include "watcher/watcher_state.h"
#include "watcher/watcher_window.h"

namespace {

// The system's DEV_BROADCAST_DEVICEINTERFACE_A with a 260-byte name: 288 bytes.
struct InterfaceFilter {
    DWORD size;
    DWORD deviceType;
    DWORD reserved;
    GUID classGuid;
    char name[260];
};
static_assert(sizeof(InterfaceFilter) == 288, "the filter the system expects");

const DWORD kAllInterfaceClasses = 4;  // DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES

HDEVNOTIFY RegisterForDeviceEvents(HWND window) {
    InterfaceFilter filter;
    FillBytes(&filter, 0, sizeof filter);
    filter.size = sizeof filter;
    filter.deviceType = kDeviceInterfaceType;
    return RegisterDeviceNotificationA(window, &filter, kAllInterfaceClasses);
}

}  // namespace

void StartWatch(TextView callbackName) {
    g_callbackName.Assign(callbackName);

    // A window that cannot be created leaves the watcher Idle: nothing is
    // registered or subclassed, but the host still hears "Init".
    HWND window = CreateWatcherWindow();
    g_watcherWindow = window;
    WatcherRecord* record = window ? WatcherRecordOf(window) : nullptr;
    HDEVNOTIFY notification = window ? RegisterForDeviceEvents(window) : nullptr;

    WatcherCall init;
    if (record)
        EnterWatcherCall(record, init);
    ReportToHost("Init", "", "");
    // The "Init" run may have destroyed the window, and its record with it.
    if (record && LeaveWatcherCall(record, init)) {
        record->watchesActivation = true;
        ShowWindow(window, SW_HIDE);  // never shown
    }

    PumpOneMessage();

    // Volume arrivals and removals are broadcast to every top-level window,
    // so the watch goes on without the registration. Each start cancels its
    // own, whatever a nested start did meanwhile.
    if (notification)
        UnregisterDeviceNotification(notification);
}

void StopWatch() {
    HWND window = g_watcherWindow;
    if (window) {
        g_watcherWindow = nullptr;
        SendMessageA(window, WM_CLOSE, 0, 0);
        DestroyWindow(window);
    }
    ReportToHost("End", "", "");
}
