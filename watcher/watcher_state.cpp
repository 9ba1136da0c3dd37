#include "watcher/watcher_state.h"

#include "watcher/watcher_command.h"
#include "watcher/watcher_log.h"

HWND g_watcherWindow;
HWND g_watcherLog;
HDEVNOTIFY g_notification;
HWND g_savedFocus;

void ReleaseWatcherMemory() {
    g_callbackName.Release();
    ReleaseWatcherLogBuffer();
}
