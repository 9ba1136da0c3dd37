// varnik-host's `log`: the watcher log of every watch running on this
// desktop, in any process, read from outside with messages that time out.
#pragma once

#include <string>
#include <vector>

extern const char kLogHelp[];

// Runs `log` with the arguments after the command; returns the exit status:
// 0 when a watch's log was printed, 1 when none was, 2 for a wrong command line.
int Log(const std::vector<std::string>& args);
