// varnik-host's `demo`: a publication's whole watch, shown to a newcomer.
// Called from main on a loaded plug-in whose registration `list` has printed.
#pragma once

#include "tools/plugin_host/plugin_host.h"

extern const char kDemoHelp[];

// Runs dw_USB_Start "OnUSB", a stick arriving as drive E and going again,
// dw_USB_Stop; prints every host call in order and the three variables each
// time OnUSB runs. Returns the exit status.
enum class DemoEvents {
    kOwnWatcher,    // sent to the demo's own watcher window alone
    kBroadcast,     // sent to every top-level window, as the system does
    kMountManager,  // Wine's mount manager's, asked for on stdout (for
                    // scripts/fake-udisks2/with-fake-udisks2)
};
int Demo(PluginHost& host, DemoEvents events);
