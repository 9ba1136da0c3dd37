#include "watcher/watcher_state.h"

std::string g_callbackName;
HWND g_watcherWindow;
HDEVNOTIFY g_notification;
WNDPROC g_previousWindowProc;
HWND g_savedFocus;
