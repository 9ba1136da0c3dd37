// varnik-host's `plug` and `unplug`: the volume events a stick causes, sent
// without a stick, so a running watch can be rehearsed. Called from main with
// the arguments after the command; prints a line for each watch it tells.
#pragma once

#include <string>
#include <vector>

// The help text of `plug` (arrival) or `unplug`.
std::string RehearsalHelp(bool arrival);

// Runs `plug` (arrival) or `unplug`; returns the exit status: 0 when a watch
// received the event (or the broadcast went out), 1 when none did or
// something failed, 2 for a wrong command line or a drive letter that is taken.
int Rehearse(bool arrival, const std::vector<std::string>& args);

// Whether drive `letter` ('A' to 'Z') is taken: a drive or a device name.
bool DriveLetterInUse(char letter);
