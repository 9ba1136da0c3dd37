// The watcher log: the hidden multiline EDIT control (id 102) of a watcher
// window, holding its first text and then one line per event report, each
// introduced by CR LF.
//
// Lines are appended, never rewritten, so a line written by a nested event
// is never lost. They wait in fixed-size chunks of the plug-in's own and go
// into the control, all of them, just before the control handles any other
// message, so whoever reads the log sees every line while each event costs
// the same however long the log has grown (appending to an EDIT control
// costs more the longer its text is). Memory that cannot be had for a chunk
// loses that one line.
#pragma once

#include <windows.h>

#include "support/text.h"

struct WatcherRecord;

// Creates the log in a freshly created watcher window, its procedure kept in
// the window's record. Returns null if the control cannot be created.
HWND CreateWatcherLog(HWND watcherWindow, WatcherRecord* record);

// Appends CR LF and `line` to the log of the window whose record this is;
// does nothing when it has none.
void AppendToWatcherLog(WatcherRecord* record, TextView line);
