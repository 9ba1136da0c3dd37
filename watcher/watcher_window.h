// The watcher window: a hidden, ownerless dialog built from an in-memory
// template, with the watcher log inside. Broadcasts reach only top-level
// windows, so it is never a message-only window.
#pragma once

#include <windows.h>

// Creates the window and its log (null in `log` if the control cannot be
// created); null if the window cannot be created. Its dialog procedure
// forwards nothing to the watcher dialog callback until
// AttachWatcherDialogCallback, so creation itself reports nothing.
HWND CreateWatcherWindow(HWND& log);

// The dialog callback: WM_INITDIALOG reports "Init" to the host;
// WM_NCACTIVATE saves and restores the focus. The start
// operation calls it directly with WM_INITDIALOG (window may be null).
void WatcherDialogCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// From now on the window's dialog procedure hands messages to the callback.
void AttachWatcherDialogCallback(HWND window);

// Whether this window took a hold on the library (HoldModule), which its
// stop then releases: a hold that failed releases nothing.
void MarkHoldsModule(HWND window);
bool HoldsModule(HWND window);
