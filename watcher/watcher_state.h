// The device watcher's module-level values. Written by the start and stop
// operations, read by the watcher window's procedures; all on the host's
// thread. Empty when the library is loaded. The callback subroutine name is
// kept beside the watcher command (watcher_command.h).
#pragma once

#include <windows.h>

extern HWND g_watcherWindow;       // the newest watcher window; null when Idle
extern HWND g_watcherLog;          // its log control, kept so no event has to look it up
extern HDEVNOTIFY g_notification;  // lives only while a start runs
extern HWND g_savedFocus;

// Gives back the watcher's own memory; the library's unload calls it.
void ReleaseWatcherMemory();
