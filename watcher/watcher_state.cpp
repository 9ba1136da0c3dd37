#include "watcher/watcher_state.h"

#include "watcher/watcher_command.h"

HWND g_watcherWindow;

void ForgetEndedWatch() {
    if (!g_watcherWindow)
        g_callbackName.Release();
}

void ReleaseWatcherMemory() {
    g_callbackName.Release();
}
