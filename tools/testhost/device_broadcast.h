// Device-change messages as the system sends them, for tests and tools: to
// every top-level window (HWND_BROADCAST) or to one window, with a record
// that the sender fills.
#pragma once

#include <windows.h>

#include <dbt.h>  // needs the types from windows.h

#include <string>
#include <vector>

DEV_BROADCAST_VOLUME VolumeRecord(DWORD unitMask, WORD flags);

// SendMessageTimeoutA to HWND_BROADCAST; returns whether every window
// answered in time.
bool BroadcastDeviceChange(WPARAM event, const void* record);
bool BroadcastVolume(WPARAM event, DWORD unitMask, WORD flags);

// The plug-in's watcher windows on this thread, oldest first.
std::vector<HWND> WatcherWindows();

// A window's text as WM_GETTEXT gives it.
std::string WindowText(HWND window);

// The text of a watcher window's log (control 102).
std::string WatcherLogText(HWND watcherWindow);
