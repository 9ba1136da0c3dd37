// The plug-in's own heap blocks, seen through its process-heap imports: every
// block it allocates must be freed by the time the library is unloaded.
#pragma once

#include <windows.h>

#include <cstddef>

// From now on the blocks `module` allocates and frees are counted; earlier
// counts are forgotten.
void TrackHeapBlocks(HMODULE module);

// Blocks allocated since TrackHeapBlocks and not freed.
size_t LiveHeapBlocks();

// The largest of those blocks, in bytes.
size_t LargestHeapBlock();
