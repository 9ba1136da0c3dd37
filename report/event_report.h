// The event report builder: turns one WM_DEVICECHANGE into its one-line
// report (entries of five blanks and a text, no line end). Called by the
// watcher window procedure, on the thread that owns the watcher window, for
// WM_DEVICECHANGE only. The returned text belongs to the caller.
//
// It keeps one process-wide flag that drops repeated DBT_DEVNODES_CHANGED
// reports; the flag lives as long as the library and survives stop and start.
#pragma once

#include <stdint.h>

#include "support/text.h"

// `wParam` is the event code, compared as a whole signed value. For the eight
// record-carrying codes `lParam` is the address of the device-broadcast
// record (0 gives the event entry alone); for DBT_DEVNODES_CHANGED its low
// 32 bits are a signed number. `report` is emptied first; left empty, the
// message is suppressed and must not be handed on.
void BuildEventReport(int32_t wParam, uintptr_t lParam, TextBuffer& report);
