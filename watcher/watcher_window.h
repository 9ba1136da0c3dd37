// The watcher window: a hidden, ownerless dialog built from an in-memory
// template, with the watcher log inside. Broadcasts reach only top-level
// windows, so it is never a message-only window.
#pragma once

#include <windows.h>

// One call of the watcher window procedure still running: told when the
// window is destroyed under it (by host script it ran), so that it touches
// nothing of the window on its way out.
struct WatcherCall {
    WatcherCall* outer;
    bool windowGone;
};

// One watcher window's own state, owned by the window: created with it,
// reached through its DWLP_USER (and its log's GWLP_USERDATA), released at
// its WM_NCDESTROY. Nothing outside the window keeps a pointer to it.
struct WatcherRecord {
    WNDPROC windowProc;     // the dialog's own procedure, which answers every message
    WNDPROC logProc;        // the EDIT class's own procedure, under the log's subclass
    bool holdsModule;       // this window took a hold on the library (HoldModule)
    bool callbackAttached;  // the dialog procedure hands messages to the callback
    WatcherCall* calls;     // the window procedure's calls in progress, innermost first
};

// The record of a watcher window or of its log; null for any other window.
WatcherRecord* WatcherRecordOf(HWND window);
WatcherRecord* WatcherLogRecordOf(HWND log);

// Creates the window, its record and its log (null in `log` if the control
// cannot be created), takes a hold on the library and installs the watcher
// window procedure. Null, and nothing made, if the window or its record
// cannot be had. Its dialog procedure forwards nothing to the watcher dialog
// callback until AttachWatcherDialogCallback, so creation reports nothing.
HWND CreateWatcherWindow(HWND& log);

// The dialog callback: WM_INITDIALOG reports "Init" to the host;
// WM_NCACTIVATE saves and restores the focus. The start
// operation calls it directly with WM_INITDIALOG (window may be null).
void WatcherDialogCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Brackets host calls made for a watcher window. Leave is false if the
// window was destroyed meanwhile: its record is gone then too.
void EnterWatcherCall(WatcherRecord* record, WatcherCall& call);
bool LeaveWatcherCall(WatcherRecord* record, WatcherCall& call);

// At the window's WM_NCDESTROY: every global that names the window lets go
// of it, calls still running on it are told, its hold on the library waits
// for ReleaseModuleHeldByGoneWindows, and the record is freed.
void ForgetWatcherWindow(HWND window);
