// A plug-in file for varnik-host's commands: loaded the way the host loads
// it, or the one-line reason it cannot be (missing, not a DLL, the other
// architecture, not a plug-in), the same for every command.
#pragma once

#include <string>

#include "tools/plugin_host/plugin_host.h"

// "32-bit x86" or "x86-64": the plug-ins this varnik-host can load.
const char* OwnArchitecture();

// Loads the plug-in at `path` into `host`; otherwise says why in `error`.
bool LoadPlugin(PluginHost& host, const std::string& path, std::string* error);
