// The host-owned text blocks a plug-in hands over, seen in the host's
// record: a test hook, not part of the host that ships in varnik-host.
#pragma once

#include "tools/plugin_host/plugin_host.h"

// From now on the loaded plug-in's GlobalAlloc and GlobalFree calls are
// recorded in the host's calls too (its import table is redirected).
bool WatchHostBlocks(PluginHost& host);
