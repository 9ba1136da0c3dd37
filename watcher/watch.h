// Starting and stopping a watch, on the host's thread. Both run the host's
// callback subroutine before they return ("Init", "End"), and the host's
// script may start or stop again from inside that run.
#pragma once

#include "support/text.h"

// Stores the name, opens a new watcher window (the current one from now on;
// an earlier one stays open) and reports "Init".
void StartWatch(TextView callbackName);

// Closes the current watcher window, if any, and reports "End" with the
// stored name.
void StopWatch();
