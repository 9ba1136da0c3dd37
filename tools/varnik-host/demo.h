// varnik-host's `demo`: a publication's whole watch, shown to a newcomer.
// Called from main on a loaded plug-in whose registration `list` has printed.
#pragma once

#include "tools/plugin_host/plugin_host.h"

extern const char kDemoHelp[];

// Runs dw_USB_Start "OnUSB", a stick arriving as drive E and going again,
// dw_USB_Stop; prints every host call in order and the three variables each
// time OnUSB runs. With `mountManager` the events are Wine's mount manager's,
// asked for on stdout (for scripts/fake-udisks2/with-fake-udisks2); otherwise
// the demo broadcasts them itself. Returns the exit status.
int Demo(PluginHost& host, bool mountManager);
