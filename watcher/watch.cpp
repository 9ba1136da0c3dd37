#include "watcher/watch.h"

#include <windows.h>

#include "report/broadcast_decoder.h"
#include "support/library_main.h"
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
    HWND log = nullptr;
    HWND window = CreateWatcherWindow(log);
    g_watcherWindow = window;
    g_watcherLog = log;
    HDEVNOTIFY notification = nullptr;
    if (window) {
        notification = RegisterForDeviceEvents(window);
        g_notification = notification;
    }

    WatcherRecord* record = window ? WatcherRecordOf(window) : nullptr;
    WatcherCall init;
    if (record)
        EnterWatcherCall(record, init);
    WatcherDialogCallback(window, WM_INITDIALOG, 0, 0);
    // The "Init" run may have destroyed the window, and its record with it.
    if (record && LeaveWatcherCall(record, init)) {
        record->callbackAttached = true;
        ShowWindow(window, SW_HIDE);  // never shown
    }

    PumpOneMessage();

    // Volume arrivals and removals are broadcast to every top-level window,
    // so the watch goes on without the registration. Each start cancels its
    // own, whatever a nested start did meanwhile.
    if (notification) {
        UnregisterDeviceNotification(notification);
        if (g_notification == notification)
            g_notification = nullptr;
    }
    ReleaseModuleHeldByGoneWindows();
}

void StopWatch() {
    HWND window = g_watcherWindow;
    if (window) {
        g_watcherWindow = nullptr;
        g_watcherLog = nullptr;
        SendMessageA(window, WM_CLOSE, 0, 0);
        DestroyWindow(window);
    }
    ReportToHost("End", "", "");
    ReleaseModuleHeldByGoneWindows();
}
