// How the plug-in reaches the host: set a host variable, have the host run a
// script line. Called on the host's thread; each callback runs synchronously
// and may re-enter the plug-in's exports. A callback the host has not handed
// over is not called. An empty text goes over as null.
#pragma once

#include "support/text.h"

// `name` is one of the plug-in's constant names. `value` is copied first: the
// host may re-enter us and change what it refers to. If the copy cannot be
// made, the host gets an empty value.
void SetHostVariable(const char* name, TextView value);

// Has the host run one line of its script (no line end is added). The line
// is the caller's own, so the host cannot change it meanwhile.
void RunHostScriptCommand(const TextBuffer& line);
