// Device-change messages as the system sends them, for tests and tools: to
// every top-level window (HWND_BROADCAST) or to one window, with a record
// that the sender fills.
#pragma once

#include <windows.h>

#include <dbt.h>  // needs the types from windows.h

#include <functional>
#include <string>
#include <vector>

DEV_BROADCAST_VOLUME VolumeRecord(DWORD unitMask, WORD flags);

// SendMessageTimeoutA to HWND_BROADCAST; false only when it could not be
// sent: Windows says nothing about each window's answer to a broadcast.
bool BroadcastDeviceChange(WPARAM event, const void* record);
bool BroadcastVolume(WPARAM event, DWORD unitMask, WORD flags);

// The plug-in's watcher windows on this thread, oldest first.
std::vector<HWND> WatcherWindows();

// A volume's arrival or removal, sent straight to this thread's watcher
// windows: no other program hears of a drive that is not there.
void SendVolumeToWatchers(WPARAM event, DWORD unitMask, WORD flags);

// A window's text as WM_GETTEXT gives it.
std::string WindowText(HWND window);

// The text of a watcher window's log (control 102).
std::string WatcherLogText(HWND watcherWindow);

// A volume event's line in a watcher's log.
std::string VolumeLogLine(const std::string& event, const std::string& drive, const std::string& kind);

// Dispatches this thread's messages, as the host's loop does, until `done`
// holds or `milliseconds` pass (INFINITE: until `done` holds); returns
// whether `done` held. Broadcasts reach the watcher window only while its
// thread does this.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD milliseconds);
