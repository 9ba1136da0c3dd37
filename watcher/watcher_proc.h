// The watcher window procedure: installed on every watcher window in place
// of the dialog's own. Each WM_DEVICECHANGE becomes an event report for the
// volume event handler; every message, WM_DEVICECHANGE included, is then
// answered by the dialog's own procedure, so the watcher never grants or
// denies a query on its own.
#pragma once

#include <windows.h>

#include <string>

LRESULT CALLBACK WatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Volume arrivals and removals become host variables and a run of the
// callback subroutine; every report then goes into the watcher log.
void HandleVolumeEvent(std::string report);
