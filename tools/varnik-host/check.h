// varnik-host's `check`: does the plug-in work on this machine? Six steps,
// one line each on stdout, then a verdict.
#pragma once

#include <string>

extern const char kCheckHelp[];

// Runs the steps on the plug-in at `path`; 0 when every step passed, else 1.
int Check(const std::string& path);
