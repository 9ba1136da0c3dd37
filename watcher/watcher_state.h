// The device watcher's module-level values: what belongs to no one window.
// Written by the start and stop operations and by a window that is
// destroyed; all on the host's thread. Empty when the library is loaded.
// Each window's own state is in its record (watcher_window.h); the callback
// subroutine's name is kept beside the watcher command (watcher_command.h).
#pragma once

#include <windows.h>

extern HWND g_watcherWindow;  // the newest watcher window; null when Idle

// A host registering afresh while no watch is current starts from nothing:
// the name an earlier load's watch stored is forgotten.
void ForgetEndedWatch();

// Gives back the watcher's own memory; the library's unload calls it.
void ReleaseWatcherMemory();
