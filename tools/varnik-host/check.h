// varnik-host's `check`: does the plug-in work on this machine? Six steps,
// one line each on stdout, then a verdict.
#pragma once

#include <string>

extern const char kCheckHelp[];

// Runs the steps on the plug-in at `path`; 0 when every step passed, else 1.
int Check(const std::string& path);

// `check --send-probe`: step 4's second process. Broadcasts
// DBT_DEVNODES_CHANGED to every top-level window; 0 when the system took it,
// else the error.
extern const char kSendProbe[];
int SendProbe();
