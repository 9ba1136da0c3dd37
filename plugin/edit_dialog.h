// The edit dialog: the one window a person sees. The host's action editor
// calls nbEditAction for dw_USB_Start, and the dialog offers the host's
// subroutines for the callback name. Runs modally on the host's thread; the
// watcher window, if any, goes on handling events meanwhile.
#pragma once

// Shows the dialog for a dw_USB_Start parameter list (entry 0: the callback
// name, a host-owned GlobalAlloc block or null). Done stores the chosen name
// back into entry 0; closing the dialog leaves it as it was.
void EditStartAction(char** parameters);
