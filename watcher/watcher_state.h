// The device watcher's module-level values. Written by the start and stop
// operations, read by the watcher window's procedures; all on the host's
// thread. Empty when the library is loaded.
#pragma once

#include <windows.h>

#include <string>

extern std::string g_callbackName;  // kept by the stop operation
extern HWND g_watcherWindow;        // the newest watcher window; null when Idle
extern HDEVNOTIFY g_notification;   // lives only while a start runs
extern WNDPROC g_previousWindowProc;
extern HWND g_savedFocus;
