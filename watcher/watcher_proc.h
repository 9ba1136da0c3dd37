// The watcher window procedure: installed on every watcher window in place
// of the dialog's own. Each WM_DEVICECHANGE becomes an event report; a volume
// arrival or removal reaches the host, and every report goes into the
// watcher log. Every message, WM_DEVICECHANGE included, is then answered by
// the dialog's own procedure, so the watcher never grants or denies a query
// on its own.
#pragma once

#include <windows.h>

LRESULT CALLBACK WatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
