// Texts the host keeps: its identity texts and edited action parameters.
#pragma once

#include "support/text.h"

// Replaces a text the host keeps: frees the variable's old block, then stores
// a new GPTR block holding the text, or null for an empty text or when no
// block can be had. The host owns the block from then on. A null variable
// address is skipped.
void SetHostText(char** variable, TextView text);
