// Lines waiting to be written somewhere, each introduced by CR LF, in a chain
// of fixed-size chunks of the plug-in's own heap: no block grows with the
// number of lines, and a chunk that cannot be had loses only the line it
// was for. Plain bytes: the watcher log writes the chunks into its control.
// On the host's thread only.
#pragma once

#include <stddef.h>

#include "support/text.h"

struct LineChunk {
    LineChunk* next;
    size_t used;      // bytes of lines so far, a NUL after them
    size_t capacity;  // bytes of lines it holds, the NUL not counted
    const char* text() const { return reinterpret_cast<const char*>(this + 1); }
};

// Each chunk costs its reader one write however few lines it holds, so
// chunks are as large as the plug-in allows itself: one block of 64 KB.
const size_t kLineChunkBlock = 64 * 1024;
// The bytes of lines an ordinary chunk holds; a longer line gets a chunk of
// its own size.
const size_t kLineChunkRoom = kLineChunkBlock - sizeof(LineChunk) - 1;

struct LineQueue {
    LineChunk* first = nullptr;  // oldest first
    LineChunk* last = nullptr;
};

// Appends CR LF and `line`; false, and only this line lost, if no memory
// can be had for it.
bool AppendLine(LineQueue& queue, TextView line);

// Detaches every waiting chunk: whatever is appended meanwhile starts a
// chain of its own. The caller frees the result with FreeLines.
LineChunk* TakeLines(LineQueue& queue);

// Gives back a chain; null is ignored.
void FreeLines(LineChunk* chunk);
