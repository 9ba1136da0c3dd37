// The callback subroutine name and the one script line the watcher sends the
// host: Gosub "Name", built from the name stored at the moment it is sent.
// The name is neither trimmed nor checked; no line end is added.
#pragma once

#include "support/text.h"

// Replaced by every start, kept by the stop; empty when the library loads.
// Released when the library is freed.
extern TextBuffer g_callbackName;

// The line for `name`, in `command` (emptied first): a text of the caller's
// own, since the host may store another name while it runs this one. Empty
// if no memory can be had.
void BuildWatcherCommand(TextView name, TextBuffer& command);

// Sets dw_USB_Status, dw_USB_Drive and dw_USB_Type, in that order, then has
// the host run the watcher command: how every start, event and stop reaches
// the callback subroutine.
void ReportToHost(const char* status, TextView drive, TextView kind);
