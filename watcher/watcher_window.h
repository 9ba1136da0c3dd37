// The watcher window: a hidden, ownerless dialog built from an in-memory
// template, with the watcher log inside. Broadcasts reach only top-level
// windows, so it is never a message-only window.
#pragma once

#include <windows.h>

#include "support/line_queue.h"

// One call of the watcher window procedure (or of the start) still running
// on a window: told when the window is destroyed under it (by host script
// it ran), so that it touches nothing of the window on its way out.
struct WatcherCall {
    WatcherCall* outer;
    bool windowGone;
};

// One watcher window's whole state, owned by the window: created with it,
// reached through its DWLP_USER (and its log's GWLP_USERDATA), released at
// its WM_NCDESTROY. Nothing outside the window keeps a pointer to it.
struct WatcherRecord {
    WNDPROC windowProc;      // the dialog's own procedure, which answers every message
    WNDPROC logProc;         // the EDIT class's own procedure, under the log's subclass
    HWND log;                // the log control; null if it could not be made, or is gone
    LineQueue waitingLines;  // lines not yet in the log
    HWND savedFocus;         // the focus when the window was last deactivated
    bool holdsLibrary;       // this window took a hold on the library
    bool watchesActivation;  // the start's "Init" run is over: focus is saved and restored
    WatcherCall* calls;      // calls in progress on the window, innermost first
};

// The record of a watcher window or of its log; null for any other window.
WatcherRecord* WatcherRecordOf(HWND window);
WatcherRecord* WatcherLogRecordOf(HWND log);

// Creates the window, its record and its log, takes a hold on the library
// and installs the watcher window procedure. Null, and nothing made, if the
// window or its record cannot be had. The window handles no activation until
// the start sets watchesActivation, so creation changes no focus.
HWND CreateWatcherWindow();

// Brackets host calls made for a watcher window. Leave is false if the
// window was destroyed meanwhile: its record is gone then too.
void EnterWatcherCall(WatcherRecord* record, WatcherCall& call);
bool LeaveWatcherCall(WatcherRecord* record, WatcherCall& call);

// At the window's WM_NCDESTROY: the current window lets go of it, every call
// still running on it is told, its hold on the library is let go of, and
// the record is freed with its waiting lines.
void ForgetWatcherWindow(HWND window);
