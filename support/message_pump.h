// The plug-in's own message passes, on the host's thread: the one pass of a
// watch's start and the edit dialog's modal loop. Messages of every window of
// the thread are dispatched, so a running watch keeps handling its events.
#pragma once

#include <windows.h>

// The plug-in dialog offered keyboard messages through IsDialogMessageA
// while its loop runs; null when none is open.
extern HWND g_activeDialog;

// Removes one message of the thread and dispatches it, or sleeps 1 ms if the
// queue is empty. A WM_QUIT taken off the queue is posted again (it belongs
// to the host's loop) and the call returns false.
bool PumpOneMessage();
