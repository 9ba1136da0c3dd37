#include "watcher/watch.h"

#include <windows.h>

#include <string.h>

#include "report/broadcast_decoder.h"
#include "support/library_main.h"
#include "support/message_pump.h"
#include "watcher/watcher_command.h"
#include "watcher/watcher_proc.h"
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
    memset(&filter, 0, sizeof filter);
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
        if (HoldModule())  // the window's procedures live in this library
            MarkHoldsModule(window);
        notification = RegisterForDeviceEvents(window);
        g_notification = notification;
        InstallWatcherWindowProc(window);
    }

    WatcherDialogCallback(window, WM_INITDIALOG, 0, 0);
    if (window && IsWindow(window)) {  // the "Init" run may have stopped the watch
        AttachWatcherDialogCallback(window);
        ShowWindow(window, SW_HIDE);  // never shown
    }

    PumpOneMessage();

    // Volume arrivals and removals are broadcast to every top-level window,
    // so the watch goes on without the registration.
    if (notification) {
        UnregisterDeviceNotification(notification);
        if (g_notification == notification)
            g_notification = nullptr;
    }
}

void StopWatch() {
    HWND window = g_watcherWindow;
    if (window) {
        g_watcherWindow = nullptr;
        g_watcherLog = nullptr;
        const bool heldModule = HoldsModule(window);
        SendMessageA(window, WM_CLOSE, 0, 0);
        DestroyWindow(window);
        if (heldModule)
            ReleaseModule();
    }
    ReportToHost("End", "", "");
}
